#pragma once
// Helpers shared by the robot interface agent suites: agents observed from the test thread,
// an in-process control board, a capture of standard output, objects kept for the run.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sim/serve/board_device.h"
#include "sim/fake_board.h"

#include "agents/robot/robot_release.h"
#include "core/agentspace.h"

namespace robot_test {

/// Once the last case has run, and before the middleware shuts down, keeps every kept robot
/// agent from calling its device again, as the programs do at exit: their threads run on,
/// and a device call while the process ends may land in a device plugin already unloaded.
class QuietKeptAgents : public ::testing::Environment {
public:
    static void add(RobotReleaser* agent)
    {
        static QuietKeptAgents* environment = [] {
            // Registered during the run, so torn down before the environments registered
            // at start-up (the YARP network among them).
            auto* e = new QuietKeptAgents;
            ::testing::AddGlobalTestEnvironment(e);
            return e;
        }();
        std::lock_guard<std::mutex> lock(environment->guard);
        environment->agents.push_back(agent);
    }
    void TearDown() override
    {
        std::lock_guard<std::mutex> lock(guard);
        for (RobotReleaser* agent : agents) {
            agent->release_stop(std::chrono::seconds(2));
        }
    }

private:
    std::mutex guard;
    std::vector<RobotReleaser*> agents;
};

/// Creates an object that lives until the process ends. Agents that attached a timer, or
/// never got past their set-up, go this way: the timer thread and the Space keep pointers
/// to their proxies (and so to their monitors) for good, as in the programs.
template <class T, class... Args>
T& make_kept(Args&&... args)
{
    static std::mutex guard;
    static auto* kept = new std::vector<void*>;   // reachable to the end, never freed
    T* object = new T(std::forward<Args>(args)...);
    if constexpr (std::is_base_of_v<RobotReleaser, T>) {
        QuietKeptAgents::add(object);
    }
    std::lock_guard<std::mutex> lock(guard);
    kept->push_back(object);
    return *object;
}

/// Polls `done` every few milliseconds until it holds or `timeout` has passed.
template <class Pred>
bool poll_until(Pred done, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto give_up = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// Whether agents of type A have a board check (a periodic wake-up that carries no command).
template <class A, class = void>
struct HasBoardCheck : std::false_type {};
template <class A>
struct HasBoardCheck<A, std::void_t<decltype(std::declval<const A&>().board_check_id())>>
    : std::true_type {};

/// An agent whose set-up and activations the test can wait for: counts them and wakes the
/// test thread after each, without changing what the agent does. The wake-ups of a motor
/// agent's board check are not counted: a test waits for the activations its writes cause.
template <class A>
class Observed : public A {
public:
    using A::A;

    void init(std::string key) override
    {
        A::init(key);
        std::lock_guard<std::mutex> lock(mutex);
        initialised = true;
        changed.notify_all();
    }

    void run(void* arg) override
    {
        A::run(arg);
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        changed.notify_all();
    }

    void sense_select_act(int id) override
    {
        A::sense_select_act(id);
        if constexpr (HasBoardCheck<A>::value) {
            if (id == this->board_check_id()) {
                return;
            }
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++activation_count;
        changed.notify_all();
    }

    /// Waits until init() has returned.
    bool wait_init(std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return initialised; });
    }

    /// Waits until at least `n` activations have ended.
    bool wait_activations(int n, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return activation_count >= n; });
    }

    /// Waits until the agent's loop has returned (after kill() and a wake-up).
    bool wait_ended(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return ended; });
    }

    int activations()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return activation_count;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool initialised = false;
    bool ended = false;
    int activation_count = 0;
};

/// Runs `write` (a Space write that wakes `agent`) and waits for the activation it causes.
///
/// Wake-ups are edge-like: a trigger that fires after an activation has returned but before
/// the agent's thread waits again is lost, and nothing outside the agent can tell when it
/// waits. So when no activation follows within a generous while, the write is made again;
/// a write either causes exactly one activation or none, so the agent still acts once.
template <class A, class Write>
bool wake_with(Observed<A>& agent, Write write)
{
    const int before = agent.activations();
    for (int attempt = 0; attempt < 40; ++attempt) {
        write();
        if (agent.wait_activations(before + 1, std::chrono::milliseconds(500))) {
            return true;
        }
    }
    return false;
}

/// Ends an agent's thread: kill(), then `write` (a wake-up) until the loop has returned, and
/// join. The loop may also end without a wake-up, when kill() lands before its check.
template <class A, class Write>
bool end_agent(Observed<A>& agent, Write write)
{
    agent.kill();
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (agent.wait_ended(std::chrono::milliseconds(attempt == 0 ? 0 : 500))) {
            agent.join();
            return true;
        }
        write();
    }
    return false;
}

/// A fake control board served in this process under `name`.
template <class Board = sim::FakeBoard>
struct ServedBoard {
    template <class... Args>
    explicit ServedBoard(const std::string& name, Args&&... args)
        : board(std::forward<Args>(args)...)
    {
        served = server.open(name, board);
    }
    ~ServedBoard() { server.close(); }

    Board board;
    sim::BoardServer server;
    bool served = false;
};

/// Redirects standard output (file descriptor 1) into a temporary file while it lives, so a
/// test can read the lines agents print on any thread. The captured text is echoed to the
/// real standard output when the capture ends.
class StdoutCapture {
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        char path[] = "/tmp/robot-agents-stdout-XXXXXX";
        file = ::mkstemp(path);
        ::unlink(path);
        saved = ::dup(1);
        ::dup2(file, 1);
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    ~StdoutCapture()
    {
        const std::string captured = text();
        ::dup2(saved, 1);
        ::close(saved);
        ::close(file);
        std::fputs(captured.c_str(), stdout);
        std::fflush(stdout);
    }

    /// Everything printed so far.
    std::string text()
    {
        std::fflush(stdout);
        std::string out;
        char buffer[4096];
        off_t offset = 0;
        for (;;) {
            const ssize_t got = ::pread(file, buffer, sizeof buffer, offset);
            if (got <= 0) {
                break;
            }
            out.append(buffer, static_cast<std::size_t>(got));
            offset += got;
        }
        return out;
    }

    /// The captured text without the lines in which agents report a board or stream lost,
    /// missing or bound again: agents of earlier cases keep running and report their own
    /// (long gone) boards once a second.
    std::string text_without_link_reports()
    {
        std::istringstream all(text());
        std::string kept;
        for (std::string line; std::getline(all, line);) {
            const bool report = line.find(", trying again every second") != std::string::npos
                || line.find(": bound the board at ") != std::string::npos
                || line.find(": connected ") != std::string::npos;
            if (!report) {
                kept += line + "\n";
            }
        }
        return kept;
    }

    /// How many times `needle` occurs in what was printed so far.
    int count(const std::string& needle)
    {
        const std::string all = text();
        int n = 0;
        for (std::size_t at = all.find(needle); at != std::string::npos;
             at = all.find(needle, at + needle.size())) {
            ++n;
        }
        return n;
    }

private:
    int file = -1;
    int saved = -1;
};

/// A std::vector<double> as a yarp::sig::Vector.
inline yarp::sig::Vector vec(std::initializer_list<double> values)
{
    yarp::sig::Vector v;
    for (double x : values) {
        v.push_back(x);
    }
    return v;
}

inline std::vector<double> plain(const yarp::sig::Vector& v)
{
    return std::vector<double>(v.data(), v.data() + v.size());
}

}  // namespace robot_test
