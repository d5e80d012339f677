#include "app/signal_quit.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace {

// Written by the handler only; set before the handlers are installed.
volatile sig_atomic_t handler_fd = -1;

extern "C" void write_signal_number(int signal_number) {
    const int saved_errno = errno;
    const char byte = static_cast<char>(signal_number);
    // Nothing else is async-signal-safe enough to do here; a full socket (many signals
    // unread) loses this byte, and one byte is all the notifier needs.
    [[maybe_unused]] const ssize_t written = write(handler_fd, &byte, 1);
    errno = saved_errno;
}

sigset_t quit_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void SignalQuit::blockInThisThread() {
    const sigset_t set = quit_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalQuit::SignalQuit() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        std::printf("signals: cannot create the socket pair (%s); SIGINT and SIGTERM end the "
                    "program without shutdown\n",
                    std::strerror(errno));
        fds[0] = fds[1] = -1;
        return;
    }
    handler_fd = fds[1];
    notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, [this] { on_readable(); });

    struct sigaction action {};
    action.sa_handler = write_signal_number;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previous_int);
    sigaction(SIGTERM, &action, &previous_term);
}

SignalQuit::~SignalQuit() {
    if (fds[0] < 0) return;
    sigaction(SIGINT, &previous_int, nullptr);
    sigaction(SIGTERM, &previous_term, nullptr);
    handler_fd = -1;
    delete notifier;
    close(fds[0]);
    close(fds[1]);
}

void SignalQuit::acceptOnThisThread() {
    const sigset_t set = quit_signals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void SignalQuit::on_readable() {
    char bytes[16];
    ssize_t n;
    while ((n = read(fds[0], bytes, sizeof bytes)) > 0) last_signal = bytes[n - 1];
    if (last_signal != 0) QCoreApplication::quit();
}
