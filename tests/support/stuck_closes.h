#pragma once
// Closes that a suite left running because a peer did not answer. On an installed YARP a
// served board's close asks every client to drop its connection and waits for the answer
// without a limit, and a client whose request arrived while the board was being detached
// never gets one: robot_sim bounds its own close for that reason, and so do the suites.
// A run that left one ends without the middleware's teardown, which would meet the thread.
#include <chrono>
#include <functional>

namespace ac_test {

/// Runs `close` on a thread of its own and waits for it up to `bound`. When it has not
/// ended by then, it is left running (it must own what it touches), a line says so, and the
/// run is marked as having left a close behind.
void close_within(std::function<void()> close, std::chrono::seconds bound, const char* what);

/// Whether a close was left running in this process.
bool closes_left_running();

} // namespace ac_test
