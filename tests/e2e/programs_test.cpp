// The programs on their own and in the wrong order: a controller with no simulator, a
// simulator that comes late, the camera view waiting for its stream, and the tour reporting
// a position it cannot track as a failure.
#include "e2e_support.h"

namespace {

using namespace e2e;

// Without a simulator the motor agents stay idle and the camera agent waits; the program
// must neither crash nor hang. Its event loop still runs: the world window's port is open
// and SIGTERM, which is turned into a quit of the event loop, ends it cleanly with every
// port closed. A simulator started afterwards changes nothing for the worse.
TEST(Programs, ControllersWithoutSimulatorStayUpAndExitCleanlyOnSigterm)
{
    yarp::os::Network network;
    for (const std::string program : {AGENT_CONTROLLER, AGENT_CONTROLLER_BASIC}) {
        SCOPED_TRACE(program);
        ChildProcess controller({program}, logPath("controller"));
        ASSERT_TRUE(eventually([] { return port_live("/move_ball"); }, kStartTimeout)) << controller.tail();
        // Long enough for every agent's first timer (one second after start) to have fired.
        std::this_thread::sleep_for(3s);
        ASSERT_TRUE(controller.running()) << controller.tail();

        {
            ChildProcess sim({ROBOT_SIM, "--quiet", "--width", "64", "--height", "48"}, logPath("robot_sim"));
            ASSERT_TRUE(eventually([] { return port_live("/icubSim/world"); }, kStartTimeout)) << sim.tail();
            std::this_thread::sleep_for(2s);
            EXPECT_TRUE(controller.running()) << controller.tail();
            EXPECT_TRUE(exitedWithZero(sim.stop(SIGTERM))) << sim.tail();
        }

        EXPECT_TRUE(exitedWithZero(controller.stop(SIGTERM))) << controller.tail();
        EXPECT_EQ(live_ports(), std::vector<std::string>{});
    }
}

TEST(Programs, CameraViewPicksUpAStreamThatStartsLaterAndShowsItsFrames)
{
    yarp::os::Network network;
    ChildProcess viewer({IMAGE_VIEWER, "/icubSim/cam/left", "--exit-after", "20"}, logPath("viewer"));
    ASSERT_TRUE(eventually([] { return port_live("/image_viewer/icubSim/cam/left"); }, kStartTimeout)) << viewer.tail();
    std::this_thread::sleep_for(1500ms);  // the viewer retries its connection once a second
    ASSERT_TRUE(viewer.running()) << viewer.tail();

    ChildProcess sim({ROBOT_SIM, "--quiet", "--fps", "20"}, logPath("robot_sim"));
    const int status = viewer.wait_for_exit(kStartTimeout);
    EXPECT_TRUE(exitedWithZero(status)) << viewer.tail();
    EXPECT_NE(viewer.output().find("20 displayed"), std::string::npos) << viewer.tail();
    EXPECT_NE(viewer.output().find("320x240"), std::string::npos) << viewer.tail();
    EXPECT_TRUE(exitedWithZero(sim.stop(SIGTERM))) << sim.tail();
}

TEST(Programs, TourFailsWhenThereIsNothingToTourOrAPositionIsOutOfReach)
{
    yarp::os::Network network;
    {
        ChildProcess tour({BALL_TOUR, "--wait", "1"}, logPath("tour-alone"));
        const int status = tour.wait_for_exit(kExitTimeout);
        ASSERT_NE(status, -1);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << tour.tail();
        EXPECT_NE(tour.output().find("is the simulator running?"), std::string::npos) << tour.tail();
    }

    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start({}));
    const std::string out = ::testing::TempDir() + "e2e-tour-" + std::to_string(getpid());
    // Behind the robot: never seen, so never centred.
    ChildProcess tour({BALL_TOUR, "--stop", "0", "0.04", "-2", "--timeout", "8", "--out", out}, logPath("tour"));
    const int status = tour.wait_for_exit(120s);
    ASSERT_NE(status, -1) << tour.tail();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << tour.tail();
    EXPECT_NE(tour.output().find("FAILED"), std::string::npos) << tour.tail();
    EXPECT_NE(tour.output().find("0 of 1 positions as expected"), std::string::npos) << tour.tail();
    EXPECT_EQ(access((out + "/01-position-0-000-0-040-2-000.png").c_str(), R_OK), 0) << tour.tail();
}

}  // namespace
