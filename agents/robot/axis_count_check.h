#pragma once
#include <string>
#include <vector>

#include <yarp/sig/Vector.h>

#include "core/report.h"

/// Refuses vectors whose length is not the board's axis count, so that the device never
/// reads past the end of a short vector. Prints one diagnostic line per offending vector:
/// the same wrong vector seen again (re-read by a later activation) is refused silently,
/// and the first vector of the right length re-arms the message.
class AxisCountCheck {
public:
    /// `agent` and `key` name the source in the diagnostic line.
    AxisCountCheck(std::string agent, std::string key, int axes);

    /// True when `values` has exactly the board's axis count; otherwise prints (once per
    /// offending vector) "<agent>: refused <m> values under <key>, the board has <n> axes"
    /// and returns false.
    [[nodiscard]] bool accept(const yarp::sig::Vector& values);

private:
    std::string agent;
    std::string key;
    int axes;
    ReportOnce<std::vector<double>> refused;   // the vector last refused
};
