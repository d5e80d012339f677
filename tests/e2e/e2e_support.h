#pragma once
// What the end-to-end suites share: programs run as child processes with their output in a
// log file, polling with generous deadlines, and a rig that runs robot_sim and a controller
// and looks at the robot through the probes of ball_tour.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <yarp/os/Network.h>

#include "../parity/live_ports.h"

#include "robot_probe.h"
#include "tour.h"

extern char** environ;

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// Generous: the machine may be busy with other builds and sanitizer runs.
constexpr auto kStartTimeout = 60s;
constexpr auto kExitTimeout = 30s;

/// Calls `condition` every `period` until it returns true or `timeout` passes; returns
/// whether it did.
inline bool eventually(const std::function<bool()>& condition, Clock::duration timeout,
                       Clock::duration period = 50ms)
{
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(period);
    }
    return true;
}

/// A program run as a child process, its standard output and error going to a log file.
/// The destructor kills (SIGKILL) and reaps a child that is still running, so a failed test
/// leaves nothing behind.
class Process {
public:
    Process(const std::vector<std::string>& args, std::string log) : log_(std::move(log))
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0 || status_ != -1; }
    pid_t pid() const { return pid_; }

    /// True while the child has not ended.
    bool running()
    {
        if (pid_ <= 0) {
            return false;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            pid_ = -1;
            return false;
        }
        return true;
    }

    /// Sends `signal_number` and waits up to `timeout`; the wait status, or -1 when the
    /// child did not end in time.
    int stop(int signal_number, Clock::duration timeout = kExitTimeout)
    {
        if (pid_ > 0) {
            kill(pid_, signal_number);
        }
        return waitForExit(timeout);
    }

    /// Waits up to `timeout` for the child to end; the wait status or -1.
    int waitForExit(Clock::duration timeout)
    {
        eventually([this] { return !running(); }, timeout, 20ms);
        return pid_ > 0 ? -1 : status_;
    }

    /// Everything the child has written so far.
    std::string output() const
    {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    /// The last `bytes` of the output, for failure messages.
    std::string tail(std::size_t bytes = 2000) const
    {
        const std::string all = output();
        return all.size() > bytes ? "..." + all.substr(all.size() - bytes) : all;
    }

private:
    std::string log_;
    pid_t pid_ = -1;
    int status_ = -1;
};

/// A log file name for `name` in the test's temporary directory.
inline std::string logPath(const std::string& name)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "e2e-" + std::to_string(getpid()) + "-" + (info ? info->name() : "x") + "-" + name
           + ".log";
}

/// Live ports in this test's registry (or on its name server).
inline std::vector<std::string> livePorts() { return ac_test::livePorts(); }

inline bool portLive(const std::string& name) { return yarp::os::NetworkBase::exists(name); }

inline ::testing::AssertionResult exitedWithZero(int status)
{
    if (status == -1) {
        return ::testing::AssertionFailure() << "still running";
    }
    if (WIFSIGNALED(status)) {
        return ::testing::AssertionFailure() << "ended by signal " << WTERMSIG(status);
    }
    if (WEXITSTATUS(status) != 0) {
        return ::testing::AssertionFailure() << "exit status " << WEXITSTATUS(status);
    }
    return ::testing::AssertionSuccess();
}

/// robot_sim and a controller, started in that order and stopped in reverse order, with
/// the probes connected: camera stream, world port and head encoders.
class Rig {
public:
    ~Rig() { shutdown(); }

    /// Starts robot_sim with `simArgs`, waits for its ports, starts `controller` and waits
    /// until its camera port is up, then opens the probes. Fails the test on any step.
    void start(const std::vector<std::string>& simArgs, const std::string& controller = AGENT_CONTROLLER)
    {
        std::vector<std::string> args{ROBOT_SIM, "--quiet"};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        sim = std::make_unique<Process>(args, logPath("robot_sim"));
        ASSERT_TRUE(sim->started());
        ASSERT_TRUE(eventually([] { return portLive("/icubSim/world") && portLive("/icubSim/cam/left"); },
                               kStartTimeout))
            << "robot_sim did not come up:\n" << sim->tail();
        this->controller = std::make_unique<Process>(std::vector<std::string>{controller}, logPath("controller"));
        ASSERT_TRUE(this->controller->started());
        ASSERT_TRUE(eventually([] { return portLive("/move_ball"); }, kStartTimeout))
            << "the controller did not come up:\n" << this->controller->tail();
        std::string error;
        ASSERT_TRUE(world.open("/e2e/world", "/icubSim/world", &error)) << error;
        ASSERT_TRUE(head.open("/e2e/head", "/icubSim/head", &error)) << error;
        ASSERT_TRUE(camera.open("/e2e/camera", "/icubSim/cam/left", &error)) << error;
        probe::CameraFrame frame;
        ASSERT_TRUE(camera.waitForFrame(0, 10s, &frame)) << "no camera frames";
    }

    /// Stops everything; the controller and the simulator must exit cleanly.
    void shutdown()
    {
        camera.close();
        head.close();
        world.close();
        if (controller) {
            const int status = controller->stop(SIGTERM);
            EXPECT_TRUE(exitedWithZero(status)) << "controller:\n" << controller->tail();
            controller.reset();
        }
        if (sim) {
            const int status = sim->stop(SIGTERM);
            EXPECT_TRUE(exitedWithZero(status)) << "robot_sim:\n" << sim->tail();
            sim.reset();
        }
    }

    /// Head joint positions; fails the test when the board cannot be read.
    probe::HeadJoints joints()
    {
        probe::HeadJoints j{};
        EXPECT_TRUE(head.positions(&j));
        return j;
    }

    tour::Tour makeTour(double timeoutSeconds = 60.0)
    {
        tour::Settings settings;
        settings.timeout = std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
        return tour::Tour(camera, world, head, settings);
    }

    yarp::os::Network network;
    std::unique_ptr<Process> sim;
    std::unique_ptr<Process> controller;
    probe::CameraWatch camera;
    probe::WorldClient world;
    probe::HeadProbe head;
};

}  // namespace e2e
