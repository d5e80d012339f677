#pragma once
// End-to-end figures of a running controller, measured from outside: how soon a ball move
// reaches the head's board as a tracking command, how long the ball takes to be centred,
// and how much CPU the controller uses while tracking and while it has nothing to track.
#include <string>
#include <vector>

#include "tour.h"

namespace tour {

struct Figures {
    /// Seconds from each ball move to the first board step in which the neck moved toward
    /// the ball (the tracking command's effect, seen through the encoder speeds).
    std::vector<double> commandLatency;
    /// Seconds from each ball move to the centred state (Tour's criterion).
    std::vector<double> centreTime;
    /// Seconds from hiding a tracked ball (out of reach) to the first board step in which an
    /// eye turned at search speed: the search agents' commands took over.
    std::vector<double> searchTakeover;
    /// Mean CPU use of the controller, in percent of one core, while it tracks a ball that
    /// moves between the two places, and while the ball is out of reach (the search runs).
    double cpuTracking = -1.0;
    double cpuIdle = -1.0;
    /// Moves that did not end centred.
    int failures = 0;
};

struct MeasureSettings {
    int moves = 10;
    int hides = 5;
    long controllerPid = 0;  ///< 0: no CPU figures
    double idleSeconds = 10.0;
    Cancel* cancel = nullptr;  ///< ends the measurement early when set
};

/// Moves the ball back and forth between two places in view `moves` times, then `hides`
/// times centres it and hides it out of reach, and finally leaves it hidden to measure the
/// idle CPU use. `progress` gets one line per move. The ball is first brought to the first
/// place and centred (not measured).
Figures measure(Tour& tour, probe::WorldClient& world, probe::HeadProbe& head, const MeasureSettings& settings,
                void (*progress)(const std::string&));

/// Summary statistics of a series.
struct Stats {
    double median = 0.0;
    double p90 = 0.0;
    double min = 0.0;
    double max = 0.0;
    std::size_t n = 0;
};
Stats stats(std::vector<double> values);

}  // namespace tour
