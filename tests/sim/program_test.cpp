// The robot_sim program as a user meets it: --help, refused options, the status line, a
// second instance refused at once, and SIGINT/SIGTERM closing every port with status 0.
#include <yarp/os/Network.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using yarp::os::NetworkBase;

namespace {

using Clock = std::chrono::steady_clock;

/// robot_sim started with some arguments, its standard output and error captured.
class Program {
public:
    explicit Program(std::vector<std::string> args)
    {
        args.insert(args.begin(), ROBOT_SIM_PATH);
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        fd_ = out[0];
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~Program()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    bool started() const { return pid_ > 0; }
    void signal(int sig) { kill(pid_, sig); }

    /// Waits (bounded) for the exit; returns the exit status, or -1.
    int wait(std::chrono::seconds timeout = std::chrono::seconds(30))
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            drain();
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                drain();
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 20);
        }
        return -1;
    }

    /// Waits (bounded) until the output contains `text`.
    bool waitForOutput(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(30))
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            drain();
            if (output_.find(text) != std::string::npos) {
                return true;
            }
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 50);
        }
        return false;
    }

    const std::string& output()
    {
        drain();
        return output_;
    }

private:
    void drain()
    {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd_, buf, sizeof buf)) > 0) {
            output_.append(buf, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    std::string output_;
};

const std::vector<std::string> kPorts = {"/icubSim/head/rpc:i", "/icubSim/left_arm/rpc:i",
                                         "/icubSim/right_arm/rpc:i", "/icubSim/cam/left",
                                         "/icubSim/world", "/icubSim/inertial",
                                         "/icubSim/skin/left_hand"};

} // namespace

TEST(RobotSimProgram, HelpDocumentsEveryOptionAndBadOptionsAreRefused)
{
    Program help({"--help"});
    ASSERT_TRUE(help.started());
    EXPECT_EQ(help.wait(), 0);
    for (const char* option : {"--width", "--height", "--fps", "--no-camera", "--ball", "--no-gravity", "--quiet",
                               "--help", "/icubSim/head", "/icubSim/world", "/icubSim/cam/left"}) {
        EXPECT_NE(help.output().find(option), std::string::npos) << option;
    }
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--frobnicate"}, {"--width"}, {"--width", "12x"}, {"--fps", "0"},
          {"--ball", "0", "1"}, {"--ball", "0", "nan", "1"}, {"--ball", "0", "1", "1e9"}}) {
        Program p(bad);
        EXPECT_EQ(p.wait(), 2) << bad[0];
        EXPECT_NE(p.output().find("robot_sim:"), std::string::npos) << p.output();
    }
}

TEST(RobotSimProgram, ServesPrintsStatusRefusesASecondInstanceAndStopsOnSignals)
{
    for (int sig : {SIGTERM, SIGINT}) {
        Program sim({"--ball", "0", "0.95", "0.6", "--no-gravity"});
        ASSERT_TRUE(sim.started());
        ASSERT_TRUE(sim.waitForOutput("serving /icubSim")) << sim.output();
        for (const auto& port : kPorts) {
            EXPECT_TRUE(NetworkBase::exists(port)) << port;
        }
        // The ball held up in front of the eye is in view at rest.
        EXPECT_TRUE(sim.waitForOutput("ball at pixel 176 115")) << sim.output();

        Program second({"--quiet"});
        EXPECT_EQ(second.wait(), 1);
        EXPECT_NE(second.output().find("/icubSim/head"), std::string::npos) << second.output();
        EXPECT_NE(second.output().find("already in use"), std::string::npos) << second.output();

        sim.signal(sig);
        EXPECT_EQ(sim.wait(), 0) << sim.output();
        for (const auto& port : kPorts) {
            EXPECT_FALSE(NetworkBase::exists(port)) << port;
        }
    }
}
