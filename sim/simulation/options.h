#pragma once
// Command line of robot_sim.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/geometry.h"
#include "sim/render/camera.h"

namespace sim {

struct Options {
    // The calibrated camera's image size unless asked otherwise.
    std::size_t width = Intrinsics{}.width;
    std::size_t height = Intrinsics{}.height;
    double fps = 30.0;
    bool camera = true;
    bool gravity = true;
    bool extraObjects = false; ///< a red and a green block beyond the table
    bool status = true;
    std::optional<Vec3> ball;
    bool help = false;
};

struct ParsedOptions {
    Options options;
    std::string error; ///< non-empty when the command line was refused
};

/// Parses the arguments after the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

/// The text printed by --help.
std::string usage(const std::string& program);

} // namespace sim
