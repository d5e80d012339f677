#pragma once
// Small helpers shared by the core suites: real-time clock arithmetic and a watcher of
// notifications. Waiting by polling is support/wait.h.
#include <ctime>

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
