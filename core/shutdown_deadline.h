#pragma once
// A limit on the time a program's shutdown may take. Once armed, when met() has not been
// called within the limit, the overrun line is printed and the process ends at once with
// the given status, without the rest of the shutdown: a shutdown that waits on a peer
// without a limit of its own (a frozen simulator, a peer that does not answer) still ends.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class ShutdownDeadline {
public:
    ShutdownDeadline() = default;
    ShutdownDeadline(const ShutdownDeadline&) = delete;
    ShutdownDeadline& operator=(const ShutdownDeadline&) = delete;
    ~ShutdownDeadline() { met(); }

    /// Starts the clock; arming twice does nothing.
    void arm(std::chrono::steady_clock::duration limit, std::string overrun_line, int status)
    {
        if (watcher.joinable()) return;
        watcher = std::thread([this, limit, line = std::move(overrun_line), status] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!done_changed.wait_for(lock, limit, [this] { return done; })) {
                std::fputs(line.c_str(), stdout);
                std::fflush(stdout);
                std::_Exit(status);
            }
        });
    }

    /// The shutdown finished in time.
    void met()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        done_changed.notify_all();
        if (watcher.joinable()) watcher.join();
    }

private:
    std::mutex mutex;
    std::condition_variable done_changed;
    bool done = false;
    std::thread watcher;
};
