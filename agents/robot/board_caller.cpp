#include "agents/robot/board_caller.h"

#include <condition_variable>
#include <mutex>
#include <utility>

/// What the thread and its users share; the thread keeps it alive when it is left behind.
struct BoardCaller::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<bool()> call;    ///< the call waiting to run (at most one)
    std::uint64_t started = 0;     ///< calls taken up by the thread
    std::uint64_t finished = 0;    ///< calls done (their captures destroyed)
    bool result = false;           ///< of the last call finished
    bool quit = false;
};

BoardCaller::BoardCaller() : shared(std::make_shared<Shared>())
{
    thread = std::thread(serve, shared);
}

BoardCaller::~BoardCaller()
{
    bool busy;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->quit = true;
        busy = shared->call != nullptr || shared->started != shared->finished;
    }
    shared->changed.notify_all();
    if (busy) {
        thread.detach();   // still in the board: it ends when the call returns
    } else {
        thread.join();
    }
}

void BoardCaller::serve(const std::shared_ptr<Shared>& shared)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->quit || shared->call != nullptr; });
        if (shared->call == nullptr) {
            return;   // quit, with nothing asked
        }
        std::function<bool()> call = std::move(shared->call);
        shared->call = nullptr;
        ++shared->started;
        lock.unlock();
        const bool result = call();
        call = nullptr;   // its captures go here, on this thread
        lock.lock();
        shared->result = result;
        ++shared->finished;
        shared->changed.notify_all();
        if (shared->quit) {
            return;
        }
    }
}

BoardCaller::Outcome BoardCaller::run(std::function<bool()> call, bool& result)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (shared->call != nullptr || shared->started != shared->finished) {
        return Outcome::refused;
    }
    shared->call = std::move(call);
    const std::uint64_t mine = shared->started + 1;
    shared->changed.notify_all();
    if (!shared->changed.wait_for(lock, kBound, [&] { return shared->finished >= mine; })) {
        return Outcome::overran;
    }
    result = shared->result;
    return Outcome::done;
}

bool BoardCaller::wait_idle(std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    return shared->changed.wait_for(lock, patience, [&] {
        return shared->call == nullptr && shared->started == shared->finished;
    });
}
