// Closing the gaze loop by hand on simulated time: reading the camera and commanding the
// neck's pitch and yaw velocities at -0.4 per pixel of offset, as the tracking agent does,
// brings the ball to the image centre. The loop looks for pure blue: the blue test alone
// also takes the robot's navy covers, which the camera shows when it looks down or aside.
#include "sim_test_support.h"

#include <gtest/gtest.h>

using namespace sim;

namespace {

struct Track {
    sim_test::BlueBlob last;
    int framesSeen = 0;
};

// Runs the loop for `seconds` of simulated time: a camera frame every 100 ms (as the
// controller's camera agent reads them), physics at 100 Hz.
Track runLoop(Simulation& s, double seconds, const Intrinsics& k)
{
    Track track;
    s.head().setControlMode(0, ControlMode::Velocity);
    s.head().setControlMode(2, ControlMode::Velocity);
    std::vector<std::uint8_t> rgb(k.width * k.height * 3);
    for (int frame = 0; frame < static_cast<int>(seconds * 10); ++frame) {
        s.renderLeftCamera(k, rgb.data(), k.width * 3);
        track.last = sim_test::findPureBlue(rgb, k.width, k.height);
        const long minimum = static_cast<long>((k.width / 20) * (k.height / 20));
        if (track.last.count > minimum) {
            ++track.framesSeen;
            s.head().velocityMove(0, -0.4 * (track.last.v - k.height / 2.0));
            s.head().velocityMove(2, -0.4 * (track.last.u - k.width / 2.0));
        }
        for (int i = 0; i < 10; ++i) {
            s.step(0.01);
        }
    }
    return track;
}

} // namespace

TEST(ClosedLoop, TrackingVelocitiesCentreTheBall)
{
    const Intrinsics k;
    struct Case {
        Vec3 ball;
        std::vector<double> startHead;
    };
    const std::vector<Case> cases = {
        {{-0.15, 0.554, 0.35}, {-35, 0, 0, -30, 0, 0}}, // the reference view: ball up and right
        {{0.25, 0.554, 0.55}, {-25, 0, 0, 0, 0, 0}},    // on the table, to the robot's left
        {{0.0, 0.95, 0.6}, {0, 0, 0, 0, 0, 0}},         // held up in front of the eye
    };
    for (const Case& c : cases) {
        Simulation s(Simulation::Config{false});
        ASSERT_TRUE(s.world().setBall(c.ball).empty());
        sim_test::moveHead(s, c.startHead);
        const Track t = runLoop(s, 15.0, k);
        EXPECT_GT(t.framesSeen, 100) << "the ball stays in view";
        EXPECT_NEAR(t.last.u, 160.0, 3.0) << "ball " << c.ball.x << " " << c.ball.y << " " << c.ball.z;
        EXPECT_NEAR(t.last.v, 120.0, 3.0) << "ball " << c.ball.x << " " << c.ball.y << " " << c.ball.z;
    }
}
