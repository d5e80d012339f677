// Where the eye looks and where the hands are: the reference facts of the real simulator,
// the sign conventions of the joints, and the reach of head and eyes over the world
// window's ball positions.
#include "sim/render/camera.h"
#include "sim/model/joint_board.h"
#include "sim/model/robot_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace sim;

namespace {

Pixel project(const std::vector<double>& head, const Vec3& p, const Intrinsics& k = Intrinsics{})
{
    const auto px = projectPoint(leftEyePose(head.data()), k, p);
    EXPECT_TRUE(px.has_value());
    return px.value_or(Pixel{-1, -1});
}

} // namespace

// The default ball where the real simulator's frames show it: looking down, and looking
// down with the neck turned right, where the image stays level as the real camera's does
// (an eye frame that rolls with the turned neck puts the ball 14 px higher).
TEST(Kinematics, MatchesTheRealSimulatorsReferenceViews)
{
    struct View {
        std::vector<double> head;
        double u, v;
    };
    for (const View& view : {View{{-35, 0, 0, -30, 0, 0}, 276.3, 60.7}, View{{-40, 0, -30, -35, 0, 0}, 96.3, 20.5}}) {
        const auto ball = projectSphere(leftEyePose(view.head.data()), Intrinsics{}, {-0.15, 0.554, 0.35}, 0.04);
        ASSERT_TRUE(ball);
        EXPECT_NEAR(ball->u, view.u, 2.0);
        EXPECT_NEAR(ball->v, view.v, 3.0); // the real ball's top is cut by the image's edge in the second
    }
}

TEST(Kinematics, JointSignsFollowTheRobotsConventions)
{
    const Vec3 ahead = leftEyePose(std::vector<double>(kHeadAxes, 0.0).data()).position + Vec3{0.0, 0.0, 3.0};
    const Pixel rest = project({0, 0, 0, 0, 0, 0}, ahead);
    EXPECT_NEAR(rest.u, 160.0, 0.5);
    EXPECT_NEAR(rest.v, 120.0, 0.5);

    // Looking down (negative pitch or tilt) moves what was ahead up in the image.
    EXPECT_LT(project({-10, 0, 0, 0, 0, 0}, ahead).v, 110.0);
    EXPECT_LT(project({0, 0, 0, -10, 0, 0}, ahead).v, 110.0);
    // Turning to the robot's right moves it to the image's left: negative neck yaw, but
    // positive eye version (the eyes' sense is the opposite of the neck's).
    EXPECT_LT(project({0, 0, -10, 0, 0, 0}, ahead).u, 150.0);
    EXPECT_LT(project({0, 0, 0, 0, 10, 0}, ahead).u, 150.0);
    // The robot's left appears on the image's left.
    EXPECT_LT(project({0, 0, 0, 0, 0, 0}, {0.5, 0.98, 2.0}).u, 160.0);
    // Converging eyes turn the left eye toward the robot's right.
    EXPECT_LT(project({0, 0, 0, 0, 0, 20}, ahead).u, 150.0);
}

// One joint at a time from the reference view (pitch -35, tilt -30), where the real
// simulator shows the default ball. Where the ball is near the image's edge only part of
// it shows, so there only the direction of the move is compared.
TEST(Kinematics, SingleJointMovesShiftTheBallAsInTheRealSimulator)
{
    struct Move {
        std::vector<double> head;
        double u, v;
        bool atEdge;
    };
    const std::vector<Move> moves = {
        {{-35, 0, 10, -30, 0, 0}, 314, 70, true},  {{-35, 0, -10, -30, 0, 0}, 222, 57, false},
        {{-35, 0, 0, -30, 10, 0}, 225, 64, false}, {{-35, 0, 0, -30, -10, 0}, 313, 58, true},
        {{-35, 0, 0, -20, 0, 0}, 274, 107, false}, {{-25, 0, 0, -30, 0, 0}, 268, 108, false},
    };
    const Vec3 ball{-0.15, 0.554, 0.35};
    for (const Move& m : moves) {
        const auto p = projectSphere(leftEyePose(m.head.data()), Intrinsics{}, ball, 0.04);
        ASSERT_TRUE(p);
        if (m.atEdge) {
            EXPECT_GT(p->u, m.u) << "the ball's centre is beyond its visible part";
        } else {
            EXPECT_NEAR(p->u, m.u, 8.0) << m.head[2] << " " << m.head[4];
            EXPECT_NEAR(p->v, m.v, 8.0) << m.head[0] << " " << m.head[3];
        }
    }
}

TEST(Kinematics, LargerImagesScaleTheFocalLengthAndKeepTheView)
{
    const Intrinsics big = Intrinsics::forSize(640, 480);
    EXPECT_DOUBLE_EQ(big.fx, 2 * 257.34);
    EXPECT_DOUBLE_EQ(big.cx, 320.0);
    const std::vector<double> head{-12, 3, 17, -5, 8, 4};
    const Vec3 p{-0.1, 0.7, 0.9};
    const Pixel small = project(head, p), large = project(head, p, big);
    EXPECT_NEAR(large.u, 2 * small.u, 1e-9);
    EXPECT_NEAR(large.v, 2 * small.v, 1e-9);
    const Intrinsics k;
    EXPECT_NEAR(2.0 * std::atan(k.cy / k.fy) * 180.0 / kPi, 50.0, 0.1) << "vertical field of view";
}

TEST(Kinematics, LeftHandStartsWhereTheRealSimulatorsDoes)
{
    const std::vector<double> start = armStartPose();
    const Vec3 left = handPosition(start.data(), Side::Left);
    EXPECT_NEAR(left.x, 0.338, 0.005);
    EXPECT_NEAR(left.y, 0.744, 0.005);
    EXPECT_NEAR(left.z, 0.185, 0.005);
    const Vec3 right = handPosition(start.data(), Side::Right);
    EXPECT_DOUBLE_EQ(right.x, -left.x);
    EXPECT_DOUBLE_EQ(right.y, left.y);

    std::vector<double> hanging(16, 0.0);
    hanging[3] = 16;
    std::vector<double> raised = hanging;
    raised[0] = -90;
    EXPECT_GT(handPosition(raised.data(), Side::Left).z, handPosition(hanging.data(), Side::Left).z + 0.25)
        << "negative shoulder pitch lifts the arm forward";
    std::vector<double> bent = start;
    bent[3] = 100;
    EXPECT_LT((handPosition(bent.data(), Side::Left) - body::kLeftShoulder).norm(),
              (left - body::kLeftShoulder).norm())
        << "bending the elbow brings the hand closer to the shoulder";
}

// The world window's sliders put the ball anywhere in x -0.31..0.31, y 0..0.553,
// z 0.29..0.63. For each corner of that box (and its centre) some head and eye pose within
// the joint limits must see the ball well inside the image.
TEST(Kinematics, HeadAndEyesReachEveryBallPositionOfTheWorldWindow)
{
    std::vector<Vec3> places;
    for (double x : {-0.31, 0.31}) {
        for (double y : {0.0, 0.553}) {
            for (double z : {0.29, 0.63}) {
                places.push_back({x, y, z});
            }
        }
    }
    places.push_back({0.0, 0.28, 0.46});
    const auto limits = headLimits();
    const Intrinsics k;
    for (const Vec3& place : places) {
        bool reached = false;
        for (double pitch = limits[0].min; pitch <= limits[0].max && !reached; pitch += 5) {
            for (double yaw = limits[2].min; yaw <= limits[2].max && !reached; yaw += 5) {
                for (double tilt = limits[3].min; tilt <= limits[3].max && !reached; tilt += 5) {
                    for (double version = limits[4].min; version <= limits[4].max && !reached; version += 5) {
                        const std::vector<double> head{pitch, 0, yaw, tilt, version, 0};
                        const auto p = projectSphere(leftEyePose(head.data()), k, place, 0.04);
                        reached = p && std::abs(p->u - k.cx) < 0.4 * k.width && std::abs(p->v - k.cy) < 0.4 * k.height;
                    }
                }
            }
        }
        EXPECT_TRUE(reached) << "ball at " << place.x << " " << place.y << " " << place.z;
    }
}
