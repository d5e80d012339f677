#pragma once
// Small helpers shared by the core suites.
#include <chrono>
#include <ctime>
#include <thread>

#include "core/thread.h"
#include "core/timer.h"

namespace core_test {

/// The real-time clock `ms` milliseconds from now.
inline timespec after_ms(int ms) {
    timespec t;
    Timer::get_time(&t);
    Timer::inc_time(&t, ms);
    return t;
}

/// Milliseconds from `a` to `b` (negative when b is earlier).
inline double ms_between(const timespec& a, const timespec& b) {
    return (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
}

/// Polls `done` every millisecond until it holds or `timeout_ms` has passed.
template <class Pred>
bool poll_until(Pred done, int timeout_ms = 5000) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// A proxy on its own monitor whose notifications are kept until asked for
/// (Monitor::wait_pending), so a test can check afterwards whether it was woken.
struct Watcher {
    Monitor monitor;
    Proxy proxy{monitor};

    /// Whether a notification has arrived since the last question; does not block.
    bool woke() {
        const timespec past{0, 0};
        return monitor.wait_pending(&past) != nullptr;
    }
    /// Whether a notification arrives (or has arrived) within `ms` milliseconds.
    bool woke_within(int ms) {
        const timespec deadline = after_ms(ms);
        return monitor.wait_pending(&deadline) != nullptr;
    }
};

}  // namespace core_test
