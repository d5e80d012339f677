#include "core/registration_watch.h"

#include <utility>

#include "core/report.h"

RegistrationWatch::RegistrationWatch(std::string name, Canary c, std::chrono::milliseconds p)
    : program(std::move(name)), canary(std::move(c)), period(p)
{
    // The first registration is made here, on the caller's thread: an installed YARP sets
    // its name space up at the first port a process opens, and two threads doing that at
    // once (this one and the windows or agents opening theirs) abort the process.
    const bool registered = canary.register_again();
    thread = std::thread([this, registered] { watch(registered); });
}

RegistrationWatch::~RegistrationWatch() { stop(); }

std::uint64_t RegistrationWatch::generation() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return restarts;
}

void RegistrationWatch::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    stop_asked.notify_all();
    if (thread.joinable()) thread.join();
    canary = Canary{};   // lets its port go: closed now, not at the end of the process
}

void RegistrationWatch::watch(bool registered)
{
    // Until the canary was registered once, a server that does not know it says nothing
    // about a restart: this program may simply have started while the server was down.
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (stop_asked.wait_for(lock, period, [this] { return stopping; })) return;
        lock.unlock();
        bool restarted = false;
        if (!registered) {
            registered = canary.register_again();
        } else if (!canary.known() && !canary.known()) {
            // Down, or started again: only a server that is up lets the canary register.
            // (Asked twice: one lost answer must not make every port open again. A canary
            // that is not registered again yet is not known either.)
            restarted = canary.register_again();
        }
        lock.lock();
        if (restarted) {
            ++restarts;
            print_line(program + ": the name server was restarted; registering this program's ports again\n");
        }
    }
}
