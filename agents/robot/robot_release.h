#pragma once
// The shutdown of the robot interface agents, whose threads are never joined: the program's
// main thread asks each of them, under the lock the agent holds over its device and port
// calls, to stop the joints it drove, to put back the control modes it found and to make no
// further call to the robot, so that the process can exit with the head as it was found and
// nothing touching the middleware while it shuts down.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "core/agentspace.h"

/// The lock a robot interface agent holds over every device or port call, which the shutdown
/// takes from another thread with a limit on the wait. (A std::timed_mutex would do, but its
/// timed wait is invisible to ThreadSanitizer, which then reports every unlock after it.)
class DeviceLock {
public:
    void lock();
    void unlock();
    /// Takes the lock unless it stays held by another for longer than `patience`.
    bool try_lock_for(std::chrono::milliseconds patience);

private:
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
};

/// What a robot interface agent offers the program for its shutdown, in two steps that run
/// on the program's main thread while the agent's own thread keeps running. Each step takes
/// the agent's DeviceLock; after the first the agent makes no further call to the robot.
/// A crash ends the process without either.
class RobotReleaser {
public:
    virtual ~RobotReleaser() = default;
    /// Stops every joint the agent drove (a driving agent) and keeps the agent from calling
    /// the robot again. False when the lock could not be had within `patience` (the agent is
    /// stuck in a call).
    virtual bool release_stop(std::chrono::milliseconds patience) = 0;
    /// Puts back the control modes found when the board was bound and closes the client (a
    /// driving agent); closes the agent's ports (the others), so that a name server does not
    /// keep them registered after the program has gone.
    virtual bool release_restore(std::chrono::milliseconds patience) = 0;
};

/// The release of an agent that drives no joint (an encoder reader, a sensor): after the
/// first step it makes no further call to the robot. Its activations take `device_lock` and
/// return at once once `released` is set.
class QuietOnRelease : public RobotReleaser {
public:
    bool release_stop(std::chrono::milliseconds patience) override;
    bool release_restore(std::chrono::milliseconds patience) override;

protected:
    /// The second step's work, under `device_lock`: close the agent's ports.
    virtual void close_ports() {}

    DeviceLock device_lock;
    bool released = false;             ///< guarded by device_lock
    const char* release_name = "";     ///< the agent's class (set by its constructor), for
                                       ///< the line of a failed release
};

/// Takes `lock` within `patience`, or prints one line saying that `agent` is stuck in a call
/// to the robot and is left as it is.
bool take_for_release(DeviceLock& lock, std::chrono::milliseconds patience, const char* agent);
/// The line of an agent left in a call to the robot at the release.
void report_stuck_in_call(const char* agent);

/// Runs the first step on every releasing agent among `agents`, then the second: every joint
/// is stopped before any mode is put back (a zero velocity reaches only joints still in
/// velocity mode). When an agent stays in a call through the first step, the robot does not
/// answer and no agent takes the second. Returns the number of agents through both steps.
int release_robot_agents(const std::vector<Agent*>& agents,
                         std::chrono::milliseconds patience = std::chrono::seconds(2));

/// How many of `agents` take part in a release (drive a board or hold a port to the robot).
int robot_releasers(const std::vector<Agent*>& agents);
