// Both controllers run as processes against the simulator stand-in, offscreen: their start-up
// output, the world window's connection, and a clean exit on SIGTERM and SIGINT.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <yarp/os/Network.h>

#include "support/child_process.h"
#include "support/live_ports.h"
#include "support/wait.h"

namespace {

using namespace std::chrono_literals;
using ac_test::ChildProcess;
using ac_test::port_live;
using ac_test::registry_mentions;

// Generous: the machine may be busy with sanitizer builds.
constexpr auto start_timeout = 60s;
constexpr auto exit_timeout = ac_test::kExitTimeout;

/// The configuration keys of the "New agent ... created" lines, in output order.
std::vector<std::string> created_agents(const std::string& output) {
    const std::string prefix = "New agent with confBlock ";
    const std::string suffix = " created \n";
    std::vector<std::string> keys;
    for (size_t at = output.find(prefix); at != std::string::npos;
         at = output.find(prefix, at + 1)) {
        const size_t key = at + prefix.size();
        const size_t end = output.find(suffix, key);
        const size_t line_end = output.find('\n', key);
        if (end != std::string::npos && end < line_end) keys.push_back(output.substr(key, end - key));
    }
    return keys;
}

/// The start results: the run of digits and minus signs that begins a line after the last
/// creation line (agents print whole lines of their own, starting with a letter). The
/// controller prints the run with one flushed write, so it arrives whole. Empty while the
/// results are not there.
std::string start_results(const std::string& output) {
    const std::string marker = " created \n";
    const size_t last = output.rfind(marker);
    if (last == std::string::npos) return {};
    size_t at = last + marker.size();
    while (at < output.size()) {
        const char c = output[at];
        if ((c >= '0' && c <= '9') || c == '-') {
            const size_t end = output.find_first_not_of("0123456789-", at);
            return output.substr(at, end == std::string::npos ? std::string::npos : end - at);
        }
        const size_t next_line = output.find('\n', at);
        if (next_line == std::string::npos) return {};
        at = next_line + 1;
    }
    return {};
}

bool connected(const std::string& from, const std::string& to) {
    return yarp::os::NetworkBase::isConnected(from, to);
}

class ControllerProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        simulator = std::make_unique<ChildProcess>(
            std::vector<std::string>{ROBOT_SIM, "--quiet", "--width", "64", "--height", "48",
                                     "--fps", "5"},
            ChildProcess::Output::discarded);
        ASSERT_TRUE(simulator->started());
        ASSERT_TRUE(ac_test::poll_until([] { return port_live("/icubSim/world"); }, start_timeout, 20ms))
            << "robot_sim did not come up";
    }
    void TearDown() override {
        if (simulator) simulator->stop(SIGTERM, exit_timeout);
    }

    /// Runs `program` until its start results are printed; returns it.
    std::unique_ptr<ChildProcess> start(const char* program) {
        auto child = std::make_unique<ChildProcess>(std::vector<std::string>{program});
        EXPECT_TRUE(child->started());
        EXPECT_TRUE(child->wait_for_output([](const std::string& out) { return !start_results(out).empty(); },
                                      start_timeout))
            << "output so far:\n" << child->output();
        return child;
    }

    std::unique_ptr<ChildProcess> simulator;
};

TEST_F(ControllerProgramTest, FullControllerStartsTenAgentsAndExitsCleanlyOnSigterm) {
    auto controller = start(AGENT_CONTROLLER);
    const std::string out = controller->output();
    EXPECT_EQ(out.rfind("Main started \n", 0), 0u) << out.substr(0, 200);
    EXPECT_EQ(created_agents(out),
              (std::vector<std::string>{"hConfig", "hvConfig", "leConfig", "hPosConfig",
                                        "bPConfig", "lookConfig", "restConfig", "lookConfig",
                                        "search", "search2"}));
    EXPECT_EQ(start_results(out), "0000000000");

    // The world window's port is up and connected to the simulator's world port.
    EXPECT_TRUE(port_live("/move_ball"));
    EXPECT_TRUE(connected("/move_ball", "/icubSim/world"));

    const int status = controller->stop(SIGTERM, exit_timeout);
    ASSERT_NE(status, -1) << "still running after SIGTERM";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The window was destroyed and its port closed: no entry is left behind.
    EXPECT_FALSE(registry_mentions("move_ball"));
    EXPECT_TRUE(port_live("/icubSim/world")) << "the simulator is untouched";
}

TEST_F(ControllerProgramTest, BasicControllerStartsOneAgentAndExitsCleanlyOnSigint) {
    auto controller = start(AGENT_CONTROLLER_BASIC);
    const std::string out = controller->output();
    EXPECT_EQ(out.rfind("Main started \n", 0), 0u) << out.substr(0, 200);
    EXPECT_EQ(created_agents(out), std::vector<std::string>{"hConfig"});
    EXPECT_EQ(start_results(out), "0");
    EXPECT_TRUE(connected("/move_ball", "/icubSim/world"));

    const int status = controller->stop(SIGINT, exit_timeout);
    ASSERT_NE(status, -1) << "still running after SIGINT";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(registry_mentions("move_ball"));
}

TEST(ControllerHelpTest, HelpPrintsUsageAndStartsNothing) {
    for (const char* program : {AGENT_CONTROLLER, AGENT_CONTROLLER_BASIC}) {
        SCOPED_TRACE(program);
        ChildProcess child({program, "--help"});
        ASSERT_TRUE(child.started());
        const int status = child.wait_for_exit(exit_timeout);
        ASSERT_TRUE(status != -1 && WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(child.output().rfind("Usage: ", 0), 0u);
        EXPECT_EQ(child.output().find("Main started"), std::string::npos);
        EXPECT_FALSE(port_live("/move_ball"));
    }
}

}  // namespace
