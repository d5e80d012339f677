#pragma once
// Waiting in a suite: a test that waits for something another thread or process does polls
// for the awaited state, with a deadline generous enough for a machine busy with sanitizer
// builds. The deadline only bounds a failure; it is never a claim about timing (those are
// measured in bench/).
#include <chrono>
#include <thread>

namespace ac_test {

/// How long a suite waits for a program to come up, a port to appear or a state to show.
constexpr std::chrono::seconds kPatience{30};

/// Calls `done` every `period` until it returns true or `timeout` has passed; whether it did.
template <class Condition>
bool poll_until(Condition done, std::chrono::steady_clock::duration timeout = kPatience,
                std::chrono::steady_clock::duration period = std::chrono::milliseconds(5))
{
    const auto give_up = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) {
            return false;
        }
        std::this_thread::sleep_for(period);
    }
    return true;
}

} // namespace ac_test
