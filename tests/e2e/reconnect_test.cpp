// The full controller and robot_sim as processes, the simulator coming and going under the
// controller: started after it, killed and started again. The controller picks it up each
// time without a restart and tracks the ball again within 5 s of the simulator being back.
// On quitting it leaves the head still, every joint back in the mode it started in.
#include <cmath>
#include <memory>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Property.h>

#include "e2e_support.h"
#include "support/board_client.h"
#include "support/text.h"

namespace {

using namespace e2e;

/// How long after the simulator is back a user may wait for the ball to be tracked again.
constexpr auto kTrackedAgainWithin = 5s;

/// robot_sim alone, its ports waited for; the ball held in mid-air at `ball`, in view of
/// the head at rest.
std::unique_ptr<ChildProcess> start_sim(const std::vector<std::string>& ball, const std::string& log)
{
    std::vector<std::string> args{ROBOT_SIM, "--quiet", "--no-gravity", "--ball"};
    args.insert(args.end(), ball.begin(), ball.end());
    auto sim = std::make_unique<ChildProcess>(args, logPath(log));
    EXPECT_TRUE(eventually(
        [] { return port_live("/icubSim/head/rpc:i") && port_live("/icubSim/cam/left") && port_live("/icubSim/world"); },
        kStartTimeout))
        << "robot_sim did not come up:\n" << sim->tail();
    return sim;
}

/// Whether the camera shows the ball within `tolerance` pixels of the image centre,
/// waiting at most `timeout` for it.
bool ball_centred_within(probe::CameraWatch& camera, Clock::duration timeout, double tolerance = 10.0)
{
    return eventually(
        [&] {
            const probe::BlueBlob blob = camera.latest().blob;
            return blob.found && blob.error() <= tolerance;
        },
        timeout, 20ms);
}

using ac_test::occurrences;

/// The control modes of the six head joints, read through a client of its own.
std::vector<int> head_modes()
{
    yarp::dev::PolyDriver client;
    yarp::os::Property options = ac_test::remote_board_options("/icubSim/head", "/e2e/modes");
    std::vector<int> modes(6, -1);
    yarp::dev::IControlMode* view = nullptr;
    if (client.open(options) && client.view(view)) {
        // An installed YARP's client answers from the board's state stream, which needs a
        // moment after open to deliver its first message.
        eventually([&] { return view->getControlModes(modes.data()); }, std::chrono::seconds(5));
    }
    client.close();
    return modes;
}

TEST(Reconnect, SimulatorStartedLaterThenRestartedUnderTheController)
{
    yarp::os::Network network;
    ChildProcess controller({AGENT_CONTROLLER, "-platform", "offscreen"}, logPath("controller"));
    ASSERT_TRUE(controller.started());
    ASSERT_TRUE(eventually(
        [&] {
            const std::string out = controller.output();
            return occurrences(out, "no board at /icubSim/head, trying again every second") == 3
                   && occurrences(out, "no /icubSim/cam/left to connect") == 1;
        },
        kStartTimeout))
        << controller.tail();

    // The ball a little off the centre of the view, so that tracking has to turn the head.
    for (const auto& ball : {std::vector<std::string>{"0.08", "1.02", "0.7"},
                             std::vector<std::string>{"-0.1", "0.9", "0.65"}}) {
        SCOPED_TRACE("ball at " + ball[0] + " " + ball[1] + " " + ball[2]);
        auto sim = start_sim(ball, "robot_sim-" + ball[0]);
        const auto back = Clock::now();
        probe::CameraWatch camera;
        std::string error;
        ASSERT_TRUE(camera.open("/e2e/camera", "/icubSim/cam/left", &error)) << error;
        EXPECT_TRUE(ball_centred_within(camera, kTrackedAgainWithin))
            << "ball at " << camera.latest().blob.x << " " << camera.latest().blob.y << " after "
            << std::chrono::duration<double>(Clock::now() - back).count() << " s\n"
            << controller.tail();
        ASSERT_TRUE(controller.running()) << controller.tail();

        camera.close();
        sim->stop(SIGKILL);   // gone without a word, as a crashed simulator
        ASSERT_TRUE(eventually(
            [&] { return occurrences(controller.output(), "lost the board at /icubSim/head") >= 3; }, 30s))
            << controller.tail();
    }

    const std::string out = controller.output();
    EXPECT_EQ(occurrences(out, "bound the board at /icubSim/head (6 axes)"), 6) << controller.tail();
    EXPECT_EQ(occurrences(out, "connected /icubSim/cam/left to /left/image/in"), 2) << controller.tail();
    EXPECT_TRUE(exitedWithZero(controller.stop(SIGTERM))) << controller.tail();
}

TEST(Quit, LeavesTheHeadStillInTheModesItStartedIn)
{
    // The ball below the view: the search agents keep the eyes turning in velocity mode.
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start({"--ball", "0.1", "0.554", "0.6"}));
    ASSERT_TRUE(eventually(
        [&] {
            probe::HeadJoints speeds{};
            return rig.head.speeds(&speeds) && (std::fabs(speeds[3]) > 5 || std::fabs(speeds[4]) > 5);
        },
        30s))
        << "the eyes never moved";

    EXPECT_TRUE(exitedWithZero(rig.controller->stop(SIGINT))) << rig.controller->tail();
    rig.controller.reset();

    // A joint left in velocity mode would go on turning: two readings a second apart agree.
    const probe::HeadJoints before = rig.joints();
    std::this_thread::sleep_for(1s);   // the stretch of time is what is checked
    const probe::HeadJoints after = rig.joints();
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(after[j], before[j], 0.2) << "joint " << j;
    EXPECT_EQ(head_modes(), std::vector<int>(6, VOCAB_CM_POSITION));
}

}  // namespace
