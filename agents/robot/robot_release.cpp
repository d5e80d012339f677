#include "agents/robot/robot_release.h"

#include <algorithm>
#include <string>

#include "core/report.h"

// --- DeviceLock ----------------------------------------------------------------------------

void DeviceLock::lock()
{
    std::unique_lock<std::mutex> guard(mutex);
    released.wait(guard, [this] { return !held; });
    held = true;
}

void DeviceLock::unlock()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        held = false;
    }
    released.notify_one();
}

bool DeviceLock::try_lock_for(std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> guard(mutex);
    if (!released.wait_for(guard, patience, [this] { return !held; })) {
        return false;
    }
    held = true;
    return true;
}

// --- release -------------------------------------------------------------------------------

int robot_releasers(const std::vector<Agent*>& agents)
{
    int n = 0;
    for (Agent* agent : agents) {
        if (dynamic_cast<RobotReleaser*>(agent) != nullptr) {
            ++n;
        }
    }
    return n;
}

int release_robot_agents(const std::vector<Agent*>& agents, std::chrono::milliseconds patience)
{
    std::vector<RobotReleaser*> releasers;
    for (Agent* agent : agents) {
        if (auto* releaser = dynamic_cast<RobotReleaser*>(agent)) {
            releasers.push_back(releaser);
        }
    }
    // Every joint stopped first: a zero velocity reaches only joints still in velocity mode,
    // and a joint put back in velocity mode later would resume its last velocity.
    // One patience for the whole step, not one per agent: agents stuck in calls to a robot
    // that does not answer are given up together, and the quit takes no longer with more.
    // Each still gets a quarter of it, for the call in flight of a slow but live robot.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    std::vector<bool> stopped;
    for (RobotReleaser* releaser : releasers) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        stopped.push_back(releaser->release_stop(std::max(left, patience / 4)));
    }
    // An agent still in a call after its patience means the robot does not answer (a frozen
    // simulator): on an installed YARP nothing bounds a call, and closing a port waits on its
    // peer, so the second step would never end. Nothing more is asked of the robot then.
    for (bool s : stopped) {
        if (!s) {
            return 0;
        }
    }
    int released = 0;
    for (RobotReleaser* releaser : releasers) {
        if (releaser->release_restore(patience)) {
            ++released;
        }
    }
    return released;
}


bool take_for_release(DeviceLock& lock, std::chrono::milliseconds patience, const char* agent)
{
    if (lock.try_lock_for(patience)) {
        return true;
    }
    report_stuck_in_call(agent);
    return false;
}

void report_stuck_in_call(const char* agent)
{
    print_line(std::string(agent) + ": busy in a call to the robot, left as it is\n");
}

// --- QuietOnRelease ------------------------------------------------------------------------

bool QuietOnRelease::release_stop(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, release_name)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    released = true;
    return true;
}

bool QuietOnRelease::release_restore(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, release_name)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    close_ports();
    return true;
}
