#include "measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

namespace tour {

namespace {

using namespace std::chrono_literals;

// The two places the ball moves between: both in view of a head centred on either, far
// enough apart that the neck has to turn (about 40 px in the image), at the back of the
// table (z at most 0.65) where the ball is centred before the neck reaches its pitch limit.
const probe::Position kPlaceA{0.05, 0.554, 0.60};
const probe::Position kPlaceB{-0.08, 0.554, 0.60};

/// Eye speed (degrees per second) above which an eye counts as searching: a search command
/// turns it at 70, a tracking command at 0.4 times its angle.
constexpr double kSearchSpeed = 35.0;

/// Waits, sampling the board every 5 ms, until an eye turns at search speed; seconds since
/// `hiddenAt`, or -1 after `timeout`.
double waitForSearch(probe::HeadProbe& head, probe::Clock::time_point hiddenAt, std::chrono::milliseconds timeout,
                     Cancel& cancel)
{
    auto next = probe::Clock::now();
    while (probe::Clock::now() - hiddenAt < timeout && !cancel.cancelled()) {
        probe::HeadJoints speed{};
        if (head.speeds(&speed) && (std::fabs(speed[3]) > kSearchSpeed || std::fabs(speed[4]) > kSearchSpeed)) {
            return std::chrono::duration<double>(probe::Clock::now() - hiddenAt).count();
        }
        next += 5ms;
        std::this_thread::sleep_until(next);  // sampling period, not synchronisation
    }
    return -1.0;
}

/// Neck speed (degrees per second) above which the head counts as commanded to move. A
/// centred ball leaves a residual command of a few tenths; a 40 px offset asks for 16.
constexpr double kMovingSpeed = 3.0;

/// Waits, sampling the board every 5 ms, until the neck moves; seconds since `movedAt`,
/// or -1 after `timeout`.
double waitForNeckMotion(probe::HeadProbe& head, probe::Clock::time_point movedAt, std::chrono::milliseconds timeout,
                         Cancel& cancel)
{
    auto next = probe::Clock::now();
    while (probe::Clock::now() - movedAt < timeout && !cancel.cancelled()) {
        probe::HeadJoints speed{};
        if (head.speeds(&speed) && (std::fabs(speed[0]) > kMovingSpeed || std::fabs(speed[2]) > kMovingSpeed)) {
            return std::chrono::duration<double>(probe::Clock::now() - movedAt).count();
        }
        next += 5ms;
        std::this_thread::sleep_until(next);  // sampling period, not synchronisation
    }
    return -1.0;
}

double cpuPercent(long pid, double cpuBefore, probe::Clock::time_point wallBefore)
{
    const double cpuAfter = probe::processCpuSeconds(pid);
    const double wall = std::chrono::duration<double>(probe::Clock::now() - wallBefore).count();
    if (cpuBefore < 0 || cpuAfter < 0 || wall <= 0) {
        return -1.0;
    }
    return 100.0 * (cpuAfter - cpuBefore) / wall;
}

}  // namespace

Figures measure(Tour& tour, probe::WorldClient& world, probe::HeadProbe& head, const MeasureSettings& settings,
                void (*progress)(const std::string&))
{
    Figures figures;
    Cancel noCancel;
    Cancel& cancel = settings.cancel != nullptr ? *settings.cancel : noCancel;
    char line[200];
    const StopResult first = tour.run({"first place", kPlaceA, Expect::Centred});
    if (!first.ok) {
        progress("measure: the ball was not centred at the first place: " + first.note);
        figures.failures = settings.moves;
        return figures;
    }

    const long pid = settings.controllerPid;
    const double cpuBefore = pid > 0 ? probe::processCpuSeconds(pid) : -1.0;
    const probe::Clock::time_point wallBefore = probe::Clock::now();
    for (int i = 0; i < settings.moves && !cancel.cancelled(); ++i) {
        const probe::Position& to = i % 2 == 0 ? kPlaceB : kPlaceA;
        std::string error;
        const probe::Clock::time_point movedAt = probe::Clock::now();
        if (!world.setBall(to, &error)) {
            progress("measure: the world refused the ball: " + error);
            ++figures.failures;
            continue;
        }
        const double latency = waitForNeckMotion(head, movedAt, 10s, cancel);
        const StopResult r = tour.follow(Expect::Centred, movedAt);
        if (latency >= 0) {
            figures.commandLatency.push_back(latency);
        }
        if (r.centred) {
            figures.centreTime.push_back(r.settledAfter);
        } else {
            ++figures.failures;
        }
        std::snprintf(line, sizeof line, "move %2d: first neck command after %.3f s, %s", i + 1, latency, r.note.c_str());
        progress(line);
    }
    if (pid > 0) {
        figures.cpuTracking = cpuPercent(pid, cpuBefore, wallBefore);
    }

    for (int i = 0; i < settings.hides && !cancel.cancelled(); ++i) {
        const StopResult r = tour.run({"tracked", i % 2 == 0 ? kPlaceB : kPlaceA, Expect::Centred});
        std::string error;
        const probe::Clock::time_point hiddenAt = probe::Clock::now();
        if (!r.centred || !world.setBall(hiddenPosition(), &error)) {
            progress("measure: could not track and hide the ball: " + r.note + error);
            ++figures.failures;
            continue;
        }
        const double takeover = waitForSearch(head, hiddenAt, 20s, cancel);
        if (takeover >= 0) {
            figures.searchTakeover.push_back(takeover);
        } else {
            ++figures.failures;
        }
        std::snprintf(line, sizeof line, "hide %d: search command at the board after %.3f s", i + 1, takeover);
        progress(line);
    }

    std::string error;
    if (!world.setBall(hiddenPosition(), &error)) {
        progress("measure: cannot hide the ball: " + error);
    } else if (pid > 0) {
        // Let the last tracking commands lapse and the search start before measuring.
        if (cancel.sleepFor(3s)) {
            const double idleBefore = probe::processCpuSeconds(pid);
            const probe::Clock::time_point idleWall = probe::Clock::now();
            if (cancel.sleepFor(std::chrono::duration<double>(settings.idleSeconds))) {
                figures.cpuIdle = cpuPercent(pid, idleBefore, idleWall);
            }
        }
    }
    return figures;
}

Stats stats(std::vector<double> values)
{
    Stats s;
    s.n = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    auto at = [&](double q) {
        const double pos = q * (values.size() - 1);
        const std::size_t lo = static_cast<std::size_t>(std::floor(pos));
        const std::size_t hi = std::min(lo + 1, values.size() - 1);
        return values[lo] + (pos - lo) * (values[hi] - values[lo]);
    };
    s.median = at(0.5);
    s.p90 = at(0.9);
    s.min = values.front();
    s.max = values.back();
    return s;
}

}  // namespace tour
