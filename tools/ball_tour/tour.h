#pragma once
// The ball tour: place the ball, then follow the camera frame by frame until the robot has
// settled on it, and tell how long that took and how far from the image centre the ball
// stayed.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "robot_probe.h"

namespace tour {

/// What a stop is expected to end in.
enum class Expect {
    /// The ball centred (within the tolerance) with the eyes back near zero.
    Centred,
    /// The ball held in view, steady but off centre, because the neck has reached a joint
    /// limit (the eyes are back near zero, so nothing else can turn further).
    HeldAtLimit,
};

struct Stop {
    std::string label;
    probe::Position ball;
    Expect expect = Expect::Centred;
};

/// The demo's stops, in order: a ball at the far right, out of view from rest (the search
/// must find it), balls at the back of the table left, middle and right, and one at the far
/// left, out of view from there (the search must find it); each must end centred.
std::vector<Stop> defaultStops();

/// A place the eyes cannot reach: on the floor behind the robot (deliberately off the table).
probe::Position hiddenPosition();

/// A stop request shared between a signal-handling thread and the tour: waits end early
/// once it is set.
class Cancel {
public:
    void cancel();
    bool cancelled() const;
    /// Sleeps for `duration` unless cancelled first; returns false when cancelled.
    bool sleepFor(std::chrono::duration<double> duration);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
};

/// Takes SIGINT and SIGTERM on a thread of its own and turns them into `cancel`, so that a
/// program ends its waits early and closes every port on the way out. Construct it before
/// any other thread exists (the signals are blocked in every thread made after it).
class StopSignals {
public:
    explicit StopSignals(Cancel& cancel);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    sigset_t signals_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

struct Settings {
    double tolerancePx = 10.0;     ///< centred: centroid this close to the image centre
    double eyeToleranceDeg = 3.0;  ///< centred: eye tilt and version this close to zero
    std::chrono::milliseconds timeout{45000};
    std::chrono::milliseconds settle{1500};  ///< how long the end state must hold
    Cancel* cancel = nullptr;                 ///< when set, ends a stop early (not ok)
};

/// Where a placed ball came to rest, read back from the world.
struct Placement {
    bool answered = false;  ///< the world told where the ball is
    bool steady = false;    ///< two readings in a row agreed: the ball has stopped
    bool asPut = false;     ///< it stopped where it was put (or straight below, on the table)
    probe::Position at;     ///< the last reading
    std::string note;       ///< when not as put: one line saying where it went
};

/// Reads the ball back after it was put at `put` until it has stopped (at most `timeout`):
/// a ball whose centre is beyond the table falls to the floor and may roll away. One that
/// ends more than 1 cm from `put` horizontally, or on the floor although put higher, did
/// not stay where it was put.
Placement readBack(probe::WorldClient& world, const probe::Position& put, Cancel* cancel,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(6000));

struct StopResult {
    bool placed = false;        ///< the world accepted the ball position
    Placement placement;        ///< where the ball came to rest
    bool found = false;         ///< the ball was seen in some frame after the move
    double foundAfter = -1.0;   ///< seconds from the move to the first frame showing it
    bool centred = false;
    bool heldAtLimit = false;
    double settledAfter = -1.0; ///< seconds from the move to the start of the settled state
    double errorPx = -1.0;      ///< mean distance of the centroid from the centre, settled
    probe::HeadJoints head{};   ///< joints at the end
    bool ok = false;            ///< ended as expected
    std::string note;           ///< one line on how it ended
    std::shared_ptr<const probe::RgbImage> snapshot;  ///< the last frame looked at
};

/// Runs stops against a robot seen through the probes.
class Tour {
public:
    Tour(probe::CameraWatch& camera, probe::WorldClient& world, probe::HeadProbe& head, const Settings& settings)
        : camera_(camera), world_(world), head_(head), settings_(settings)
    {
    }

    /// Places the ball and follows the robot until it settles or the timeout passes.
    StopResult run(const Stop& stop);

    /// Follows the robot from `movedAt` on (the ball was placed then), as run() does after
    /// the placement.
    StopResult follow(Expect expect, probe::Clock::time_point movedAt);

private:
    probe::CameraWatch& camera_;
    probe::WorldClient& world_;
    probe::HeadProbe& head_;
    Settings settings_;
    /// Set by run()'s read-back when the ball did not stay where the stop put it.
    std::atomic<bool> misplaced_{false};
};

/// "1.5 s"-style text for seconds, or "-" when negative.
std::string seconds(double s);

}  // namespace tour
