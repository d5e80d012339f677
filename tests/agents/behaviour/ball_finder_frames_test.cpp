// The ball finder on frames of the real simulator's left camera: the ball wherever it shows,
// whole, cut by the image edge or partly hidden; never the navy covers of the robot's own
// arms and feet, which pass the blue test too.
#include <gtest/gtest.h>

#include <string>

#include "agents/behaviour/blue_ball_finder.h"
#include "reference_frames.h"

namespace {

struct Expected {
    const char* frame;
    bool found;
    double x, y;  // centroid of the ball's pure-blue pixels, when found
};

// Ball centroids measured on the frames as the mean position of the pixels with R and G
// near 0 that pass the blue test.
const Expected kFrames[] = {
    // The frame the controller once locked onto: its left forearm, no ball.
    {"real-sim-tracking-its-own-arm", false, 0, 0},
    {"real-sim-head_-40_0_30_-35_0_0", false, 0, 0},   // left arm's cover down the edge
    {"real-sim-head_-30_0_0_0_-40_0", false, 0, 0},    // left arm, floor
    {"real-sim-left-camera-pitch-35-tilt-30", true, 276.2814, 60.6513},  // the ball alone
    {"real-sim-head_-40_0_0_-35_0_0", true, 285.5746, 16.5618},   // ball, both navy feet
    {"real-sim-head_-40_0_-30_-35_0_0", true, 96.2886, 20.4901},  // ball, right arm
    {"real-sim-head_-20_0_20_-20_20_0", true, 253.6184, 179.9458},  // ball partly hidden
    {"real-sim-head_-30_0_0_0_40_0", true, 98.3072, 221.5493},    // ball cut by the edge
};

TEST(BallFinderOnSimulatorFrames, ReportsTheBallAndNeverTheRobotsBody) {
    blue_ball::BallFinder finder;
    for (const Expected& expected : kFrames) {
        const reference_frames::Frame frame = reference_frames::load(expected.frame);
        ASSERT_FALSE(frame.empty()) << "cannot read " << expected.frame;
        const blue_ball::BallEstimate estimate =
            finder.find(frame.rgb.data(), frame.width, frame.height, 3 * frame.width);
        EXPECT_EQ(estimate.found, expected.found) << expected.frame;
        if (expected.found) {
            EXPECT_NEAR(estimate.x, expected.x, 1e-3) << expected.frame;
            EXPECT_NEAR(estimate.y, expected.y, 1e-3) << expected.frame;
        }
        EXPECT_EQ(estimate.width, 320u);
        EXPECT_EQ(estimate.height, 240u);
    }
}

}  // namespace
