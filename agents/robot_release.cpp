#include "agents/robot_release.h"

#include <cstdio>
#include <string>

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
    std::vector<bool> stopped;
    for (RobotReleaser* releaser : releasers) {
        stopped.push_back(releaser->release_stop(patience));
    }
    int released = 0;
    for (std::size_t i = 0; i < releasers.size(); ++i) {
        if (stopped[i] && releasers[i]->release_restore(patience)) {
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
    std::printf("%s: busy in a call to the robot, left as it is\n", agent);
    std::fflush(stdout);
    return false;
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
