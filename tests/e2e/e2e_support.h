#pragma once
// What the end-to-end suites share: programs run as child processes with their output in a
// log file, polling with generous deadlines, and a rig that runs robot_sim and a controller
// and looks at the robot through the probes of ball_tour.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include "support/child_process.h"
#include "support/live_ports.h"
#include "support/wait.h"

#include "robot_probe.h"
#include "tour.h"

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// Generous: the machine may be busy with other builds and sanitizer runs.
constexpr auto kStartTimeout = 60s;
constexpr auto kExitTimeout = ac_test::kExitTimeout;

using ac_test::ChildProcess;
using ac_test::live_ports;
using ac_test::port_live;

/// Polls `condition` until it holds or `timeout` passes; whole programs are looked at every
/// 50 ms unless a check asks for more.
inline bool eventually(const std::function<bool()>& condition, Clock::duration timeout,
                       Clock::duration period = 50ms)
{
    return ac_test::poll_until(condition, timeout, period);
}

/// A log file name for `name` in the test's temporary directory.
inline std::string logPath(const std::string& name)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "e2e-" + std::to_string(getpid()) + "-" + (info ? info->name() : "x") + "-" + name
           + ".log";
}

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
/// Whether the Space of the program serving `rpc` (its inspection port) holds `key`.
inline bool space_holds(const std::string& rpc, const std::string& key)
{
    yarp::os::Port port;
    if (!port.open("/e2e/space_query") || !yarp::os::NetworkBase::connect("/e2e/space_query", rpc)) {
        port.close();
        return false;
    }
    yarp::os::Bottle request;
    request.addString("get");
    request.addString(key);
    yarp::os::Bottle reply;
    const bool held = port.write(request, reply) && reply.get(0).asString() == "[ok]";
    port.close();
    return held;
}

class Rig {
public:
    ~Rig() { shutdown(); }

    /// Starts robot_sim with `simArgs`, waits for its ports, starts `controller` and waits
    /// until its camera port is up, then opens the probes. Fails the test on any step.
    void start(const std::vector<std::string>& simArgs, const std::string& controller = AGENT_CONTROLLER)
    {
        std::vector<std::string> args{ROBOT_SIM, "--quiet"};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        sim = std::make_unique<ChildProcess>(args, logPath("robot_sim"));
        ASSERT_TRUE(sim->started());
        ASSERT_TRUE(eventually([] { return port_live("/icubSim/world") && port_live("/icubSim/cam/left"); },
                               kStartTimeout))
            << "robot_sim did not come up:\n" << sim->tail();
        this->controller = std::make_unique<ChildProcess>(std::vector<std::string>{controller}, logPath("controller"));
        ASSERT_TRUE(this->controller->started());
        ASSERT_TRUE(eventually([] { return port_live("/move_ball"); }, kStartTimeout))
            << "the controller did not come up:\n" << this->controller->tail();
        if (controller == AGENT_CONTROLLER) {
            // Its agents start a second after the windows: until the ball finder has read an
            // image and the velocity agent holds the head, nothing moves the head, and a
            // still head would pass for one held at its limit.
            ASSERT_TRUE(eventually([] { return port_live("/test/clientHV/rpc:o")
                                               && space_holds("/agent_controller/space/rpc", "ballPos"); },
                                   kStartTimeout))
                << "the controller's agents did not start:\n" << this->controller->tail();
        }
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
    std::unique_ptr<ChildProcess> sim;
    std::unique_ptr<ChildProcess> controller;
    probe::CameraWatch camera;
    probe::WorldClient world;
    probe::HeadProbe head;
};

}  // namespace e2e
