#pragma once
// Helpers shared by the robot interface agent suites: agents observed from the test thread,
// kept agents quietened at the end of the run, a capture of what agents print, and the
// shared pieces of tests/support they use.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "agents/robot/board_driving_agent.h"
#include "agents/robot/control_modes.h"
#include "agents/robot/robot_release.h"
#include "core/agentspace.h"
#include "support/captured_stream.h"
#include "support/fake_board.h"
#include "support/kept.h"
#include "support/served_board.h"
#include "support/text.h"
#include "support/vectors.h"
#include "support/wait.h"

namespace robot_test {

using ac_test::FakeBoard;
using ac_test::plain;
using ac_test::poll_until;
using ac_test::ServedBoard;
using ac_test::vec;

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

/// Creates an object that lives until the process ends (ac_test::make_kept); a robot agent
/// among them is quietened at the end of the run. Agents that attached a timer, or never got
/// past their set-up, go this way: the timer thread and the Space keep pointers to their
/// proxies (and so to their monitors) for good, as in the programs.
template <class T, class... Args>
T& make_kept(Args&&... args)
{
    T& object = ac_test::make_kept<T>(std::forward<Args>(args)...);
    if constexpr (std::is_base_of_v<RobotReleaser, T>) {
        QuietKeptAgents::add(&object);
    }
    return object;
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

/// Captures what agents print on any thread (standard output) while it lives; the text is
/// echoed to the real standard output when the capture ends.
class StdoutCapture : public ac_test::CapturedStream {
public:
    StdoutCapture() : CapturedStream(Stream::output, true) {}

    /// The captured text without the middleware's own log lines and the lines in which agents
    /// report a board or stream lost, missing or bound again: agents of earlier cases keep
    /// running and report their own (long gone) boards once a second.
    std::string text_without_link_reports() const
    {
        std::istringstream all(text());
        std::string kept;
        for (std::string line; std::getline(all, line);) {
            // An installed YARP logs to standard output too, e.g. a state stream's connection
            // that arrives after the agent's first line.
            const bool middleware = line.rfind("[INFO]", 0) == 0 || line.rfind("[WARNING]", 0) == 0
                || line.rfind("[DEBUG]", 0) == 0 || line.rfind("[ERROR]", 0) == 0;
            const bool report = middleware || line.find(", trying again every second") != std::string::npos
                || line.find(": bound the board at ") != std::string::npos
                || line.find(": connected ") != std::string::npos;
            if (!report) {
                kept += line + "\n";
            }
        }
        return kept;
    }

    /// How many times `needle` occurs in what was printed so far.
    int count(const std::string& needle) const { return ac_test::occurrences(text(), needle); }
};

/// The configuration blocks of the motor agents of a case, named after `tag`: Space keys
/// "<tag>_joints", "<tag>_vel", "<tag>_enc", ..., local ports "/<tag>/client" (position),
/// "/<tag>/client2" (velocity) and "/<tag>/client3" (encoders), all on the board at `remote`
/// (by default "/<tag>/head", a board served in this process).
inline ConfBlock motor_config(const std::string& tag, const std::string& remote = "")
{
    return ConfBlock{"HeadAgent", tag + "_joints", tag + "_speed", tag + "_acc", "remote_controlboard",
                     "/" + tag + "/client", remote.empty() ? "/" + tag + "/head" : remote};
}

inline VelocityBlock velocity_config(const std::string& tag, const std::string& remote = "")
{
    return VelocityBlock{"HeadAgent", tag + "_vel", tag + "_enc", "remote_controlboard", "/" + tag + "/client2",
                         remote.empty() ? "/" + tag + "/head" : remote};
}

inline PositionBlock position_config(const std::string& tag, int period_ms, const std::string& remote = "")
{
    return PositionBlock{"HeadAgent", tag + "_enc", "remote_controlboard", "/" + tag + "/client3",
                         remote.empty() ? "/" + tag + "/head" : remote, 0, period_ms};
}

/// Writes `v` under `key` in the process's Space.
inline void put(const std::string& key, const yarp::sig::Vector& v, int validity = 0, float priority = 1.0f)
{
    Space::getSpace()->write(key, v, validity, priority);
}

/// The control-mode book the program's wiring would hand its driving agents: one for the
/// whole suite, as for one program (boards are told apart by their remote port).
inline std::shared_ptr<ControlModeBook> suite_control_modes()
{
    static auto* book = new std::shared_ptr<ControlModeBook>(std::make_shared<ControlModeBook>());
    return *book;
}

/// Starts an observed agent of type A under `config_key` and waits for its set-up. A driving
/// agent shares the suite's control-mode book.
template <class A>
Observed<A>& start_agent(const std::string& config_key)
{
    auto& agent = [&]() -> Observed<A>& {
        if constexpr (std::is_base_of_v<BoardDrivingAgent, A>) {
            return make_kept<Observed<A>>(config_key, suite_control_modes());
        } else {
            return make_kept<Observed<A>>(config_key);
        }
    }();
    agent.start(nullptr);
    EXPECT_TRUE(agent.wait_init());
    return agent;
}

}  // namespace robot_test
