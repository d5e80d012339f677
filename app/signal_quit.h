#pragma once
// SIGINT and SIGTERM end the Qt event loop, so that a controller stopped from the terminal or
// by a service manager runs its normal shutdown: windows destroyed, ports closed, their
// registry entries removed.
#include <csignal>

class QSocketNotifier;

/// Turns SIGINT and SIGTERM into QCoreApplication::quit() on the main thread.
///
/// The handler does nothing but write() the signal number into one end of a socket pair; a
/// QSocketNotifier on the other end quits the event loop. So that the handler never
/// interrupts a system call of an agent or library thread, the signals are blocked in every
/// thread but the main one: call blockInThisThread() first thing in main, before any thread
/// exists (threads inherit the mask), and acceptOnThisThread() on the main thread once every
/// thread has been started, right before the event loop runs. A signal that arrives in
/// between stays pending and quits the loop as soon as it starts.
class SignalQuit {
public:
    /// Blocks SIGINT and SIGTERM in the calling thread and so in every thread it creates.
    static void blockInThisThread();

    /// Installs the handlers and the notifier. Needs the QCoreApplication.
    SignalQuit();
    /// Restores the default dispositions and closes the socket pair.
    ~SignalQuit();

    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

    /// Unblocks the signals in the calling thread (the main thread), the only one that
    /// receives them from then on.
    void acceptOnThisThread();

    /// The last signal that asked to quit, 0 when none did.
    int received() const { return last_signal; }

private:
    void on_readable();

    int fds[2] = {-1, -1};  // [0] read by the notifier, [1] written by the handler
    QSocketNotifier* notifier = nullptr;
    struct sigaction previous_int {};
    struct sigaction previous_term {};
    int last_signal = 0;
};
