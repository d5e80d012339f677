#pragma once
// The thread a board client's calls run on, so that an agent waits a bounded time for a
// board that stopped answering. An installed YARP's remote_controlboard waits for the answer
// to a request without a limit: a frozen simulator would keep the agent, and every agent
// sharing its thread, in the call for as long as it stays frozen.
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

/// Runs one call at a time on a thread of its own and waits for it at most `kBound`. A call
/// that overruns is left to finish on that thread; until it has, every further call is
/// refused at once, so nothing queues up behind a board that does not answer. A call must
/// own what it touches (copies, shared pointers): it may outlive the wait for it.
class BoardCaller {
public:
    /// The longest an agent waits for one call to its board.
    static constexpr std::chrono::milliseconds kBound{2000};

    enum class Outcome {
        done,      ///< the call ran; its result is passed back
        overran,   ///< it did not return within the bound, and still runs
        refused,   ///< an earlier call still runs: this one was not made
    };

    BoardCaller();
    /// Joins the thread when no call runs; otherwise leaves it to end on its own.
    ~BoardCaller();
    BoardCaller(const BoardCaller&) = delete;
    BoardCaller& operator=(const BoardCaller&) = delete;

    /// Runs `call` on the caller's thread. `result` gets its return value when it is done.
    /// The call's own objects (its captures) are destroyed on that thread before it counts
    /// as done, so a call may take the last reference to a device, whose close then counts
    /// as part of it.
    Outcome run(std::function<bool()> call, bool& result);

    /// Waits up to `patience` for a call that overran to return; true when none runs.
    bool wait_idle(std::chrono::milliseconds patience);

private:
    struct Shared;
    static void serve(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared;
    std::thread thread;
};
