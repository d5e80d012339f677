// The robot_sim program as a user meets it: --help, refused options, the status line, a
// second instance refused at once, and SIGINT/SIGTERM closing every port with status 0.
#include <yarp/os/Network.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/wait.h"

using yarp::os::NetworkBase;

namespace {

/// robot_sim started with some arguments, its standard output and error captured.
class Program : public ac_test::ChildProcess {
public:
    explicit Program(std::vector<std::string> args)
        : ChildProcess(withProgram(std::move(args)), Output::captured_with_errors)
    {
    }

    /// Waits (bounded) for the exit; returns the exit status, or -1.
    int wait() { return ac_test::exit_code(wait_for_exit()); }

    /// Waits (bounded) until the output contains `text`.
    bool waitForOutput(const std::string& text) { return wait_for_output(text, ac_test::kPatience); }

private:
    static std::vector<std::string> withProgram(std::vector<std::string> args)
    {
        args.insert(args.begin(), ROBOT_SIM_PATH);
        return args;
    }
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
