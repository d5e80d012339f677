#pragma once
// A thread that calls a function at a fixed rate on the steady clock until stopped.
// Ticks that fall behind are skipped rather than run in a burst.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace sim {

class PeriodicLoop {
public:
    using Clock = std::chrono::steady_clock;

    PeriodicLoop() = default;
    PeriodicLoop(const PeriodicLoop&) = delete;
    PeriodicLoop& operator=(const PeriodicLoop&) = delete;
    ~PeriodicLoop() { stop(); }

    /// Starts calling `tick` every `period`; does nothing if already running.
    void start(Clock::duration period, std::function<void()> tick);

    /// Wakes the thread and joins it; a tick in progress finishes first.
    void stop();

private:
    void run(Clock::duration period);

    std::function<void()> tick_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sim
