// The left camera's picture: the ball where the pinhole model puts it, nothing blue in the
// scene but the ball, and the robot's own body where its joints put it, hiding and hidden
// like any object, navy but never pure blue.
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace sim;
using sim_test::findBlue;
using sim_test::findPureBlue;
using sim_test::renderView;

namespace {

const Renderer& renderer()
{
    static const Renderer r(Scene::standard());
    return r;
}

// The scene alone, without the robot's body.
const Renderer& bodiless()
{
    static Renderer r(Scene::standard());
    static const bool cleared = (r.setBody({}), true);
    (void)cleared;
    return r;
}

std::vector<std::uint8_t> renderScene(const Renderer& r, const std::vector<double>& head, const Intrinsics& k,
                                      const Vec3& ball)
{
    std::vector<std::uint8_t> rgb(k.width * k.height * 3);
    r.render(leftEyePose(head.data()), k, ball, {}, rgb.data(), k.width * 3);
    return rgb;
}

bool isNavy(const Rgb& c) { return sim_test::passesBlueTest(c.r, c.g, c.b) && c.g > 12; }

} // namespace

TEST(Render, ReferenceViewShowsTheOliveTable)
{
    const std::vector<double> head{-35, 0, 0, -30, 0, 0};
    const Intrinsics k;
    const auto rgb = renderView(renderer(), head, k, {-0.15, 0.554, 0.35});
    // The table top fills the upper part of the view: olive, no blue in it.
    const std::uint8_t* table = &rgb[(20 * k.width + 40) * 3];
    EXPECT_NEAR(table[0], 113, 15);
    EXPECT_NEAR(table[1], 113, 15);
    EXPECT_LT(table[2], 10);
}

// Random head poses and ball places (fixed seed), without the body: whenever the ball is
// wholly inside the image and nothing hides it, the centroid of the blue pixels is within
// 2 px of the analytic projection; when it is out of view no pixel passes the blue test.
TEST(Render, BlueCentroidMatchesTheProjectionAndNothingElseIsBlue)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto limits = headLimits();
    const Intrinsics k;
    int inView = 0, outOfView = 0;
    for (int round = 0; round < 120; ++round) {
        std::vector<double> head(6);
        for (std::size_t j = 0; j < 6; ++j) {
            head[j] = limits[j].min + (limits[j].max - limits[j].min) * unit(rng);
        }
        head[5] = 0.0;
        const Vec3 ball{-0.5 + unit(rng), 0.1 + 1.2 * unit(rng), -0.5 + 2.0 * unit(rng)};
        const Pose eye = leftEyePose(head.data());
        const auto blob = findBlue(renderScene(renderer(), head, k, ball), k.width, k.height);
        const auto centre = projectSphere(eye, k, ball, 0.04);
        if (!centre) {
            if (eye.orientation.inverseApply(ball - eye.position).z < -0.05) {
                EXPECT_EQ(blob.count, 0) << "behind the camera, round " << round;
                ++outOfView;
            }
            continue;
        }
        // Wholly in view: the image of the sphere's bounding points stays inside the frame.
        const double radiusPx = k.fx * 0.04 / (ball - eye.position).norm();
        const bool inside = centre->u > 2 * radiusPx && centre->u < k.width - 2 * radiusPx
                            && centre->v > 2 * radiusPx && centre->v < k.height - 2 * radiusPx;
        const bool visible = bodiless().seesBall(eye.position, ball - eye.position, ball);
        if (inside && visible && blob.count > 50) {
            EXPECT_NEAR(blob.u, centre->u, 2.0) << "round " << round;
            EXPECT_NEAR(blob.v, centre->v, 2.0) << "round " << round;
            ++inView;
        } else if (centre->u < -2 * radiusPx - 2 || centre->u > k.width + 2 * radiusPx + 2
                   || centre->v < -2 * radiusPx - 2 || centre->v > k.height + 2 * radiusPx + 2) {
            EXPECT_EQ(blob.count, 0) << "round " << round;
            ++outOfView;
        }
    }
    EXPECT_GT(inView, 5) << "the sample should see the ball now and then";
    EXPECT_GT(outOfView, 20);
}

TEST(Render, TheBallsImageShrinksWithDistance)
{
    const std::vector<double> head{0, 0, 0, 0, 0, 0};
    const Intrinsics k;
    const Pose eye = leftEyePose(head.data());
    const auto near = findPureBlue(renderView(renderer(), head, k, eye.position + Vec3{0, 0, 0.5}), k.width, k.height);
    const auto far = findPureBlue(renderView(renderer(), head, k, eye.position + Vec3{0, 0, 1.0}), k.width, k.height);
    ASSERT_GT(far.count, 0);
    EXPECT_NEAR(static_cast<double>(near.count) / far.count, 4.0, 0.3);
    EXPECT_NEAR(near.u, 160.0, 0.5);
    EXPECT_NEAR(near.v, 120.0, 0.5);
}

TEST(Render, ExtraBlocksOnlyOnRequestAndNeitherThemNorTheSkyPassTheBlueTest)
{
    EXPECT_TRUE(Scene::standard().blocks.empty()) << "the default world is the real simulator's: table and ball";
    const Renderer withBlocks(Scene::withExtraObjects());
    ASSERT_EQ(withBlocks.scene().blocks.size(), 2u);
    const Intrinsics k;
    const Vec3 hidden{0.0, 0.3, -2.0}; // behind the robot
    for (const Block& block : withBlocks.scene().blocks) {
        const Vec3 centre = (block.box.min + block.box.max) * 0.5;
        // Aim the head at the block: yaw toward it, pitch down to it (eyes at rest).
        const Vec3 eye0 = leftEyePose(std::vector<double>(6, 0.0).data()).position;
        const Vec3 d = centre - eye0;
        const double yaw = rad2deg(std::atan2(d.x, d.z));
        const double pitch = rad2deg(std::atan2(d.y, std::hypot(d.x, d.z)));
        const std::vector<double> head{pitch, 0, yaw, 0, 0, 0};
        const auto rgb = renderScene(withBlocks, head, k, hidden);
        EXPECT_EQ(findBlue(rgb, k.width, k.height).count, 0);
        long coloured = 0;
        for (std::size_t i = 0; i < rgb.size(); i += 3) {
            const bool red = rgb[i] > 2 * rgb[i + 1] && rgb[i] > 2 * rgb[i + 2];
            const bool green = rgb[i + 1] > 2 * rgb[i] && rgb[i + 1] > 2 * rgb[i + 2];
            coloured += (block.colour.r > block.colour.g ? red : green) ? 1 : 0;
        }
        EXPECT_GT(coloured, 1000) << "the block is in the picture";
    }
    // The sky, straight up and at the horizon, all around.
    for (double yaw : {-55.0, 0.0, 55.0}) {
        const std::vector<double> up{30, 0, yaw, 15, 0, 0};
        EXPECT_EQ(findBlue(renderView(renderer(), up, k, hidden), k.width, k.height).count, 0);
    }
}

// The arms follow their boards, and the hand shows where `world get lhand` / `rhand` puts
// it: each arm is driven through its board to a few poses, the head turns toward the
// reported palm centre, and the hand's navy shows where that point projects.
TEST(Render, ArmsFollowTheirBoardsAndHandsShowWhereTheWorldPortSays)
{
    Simulation s(Simulation::Config{});
    const Intrinsics k;
    std::vector<std::uint8_t> rgb(k.width * k.height * 3);
    int seen = 0;
    const std::vector<std::vector<double>> poses = {
        {-70, 25, 0, 40, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0},
        {-55, 15, 20, 70, 0, -20, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0},
        {-80, 40, -20, 30, 0, 0, 10, 0, 10, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& pose : poses) {
        for (Side side : {Side::Left, Side::Right}) {
            JointBoard& arm = side == Side::Left ? s.leftArm() : s.rightArm();
            const std::vector<double> fast(kArmAxes, 1000.0), brisk(kArmAxes, 1e5);
            arm.setRefSpeeds(fast.data());
            arm.setRefAccelerations(brisk.data());
            arm.positionMove(pose.data());
            bool done = false;
            for (int i = 0; i < 300 && !done; ++i) {
                s.step(0.01);
                arm.checkMotionDone(&done);
            }
            const Vec3 d = s.hand(side) - leftEyePose(std::vector<double>(kHeadAxes, 0.0).data()).position;
            const double yaw = std::clamp(rad2deg(std::atan2(d.x, d.z)), -55.0, 55.0);
            const double down = rad2deg(std::atan2(d.y, std::hypot(d.x, d.z)));
            sim_test::moveHead(s, {std::max(down, -40.0), 0, yaw, std::clamp(down + 40.0, -35.0, 0.0), 0, 0});
            s.renderLeftCamera(k, rgb.data(), k.width * 3);
            const auto px = projectPoint(s.leftEye(), k, s.hand(side));
            if (!px || px->u < 0 || px->v < 0 || px->u > k.width - 1 || px->v > k.height - 1) {
                continue;
            }
            // The hand's navy there, or within 10 px: seen from the palm's side or edge on, the
            // thumb may lie over the palm's centre.
            bool navy = false;
            const int cu = static_cast<int>(px->u + 0.5), cv = static_cast<int>(px->v + 0.5);
            for (int v = std::max(cv - 10, 0); v <= std::min(cv + 10, static_cast<int>(k.height) - 1); ++v) {
                for (int u = std::max(cu - 10, 0); u <= std::min(cu + 10, static_cast<int>(k.width) - 1); ++u) {
                    const std::uint8_t* p = &rgb[(static_cast<std::size_t>(v) * k.width + static_cast<std::size_t>(u)) * 3];
                    navy = navy || isNavy(Rgb{p[0], p[1], p[2]});
                }
            }
            EXPECT_TRUE(navy) << (side == Side::Left ? "left" : "right") << " hand at pixel " << px->u << " " << px->v;
            ++seen;
        }
    }
    EXPECT_GE(seen, 4) << "most of the poses bring the hands into view";
}

TEST(Render, BodyHidesTheBallAndTheBallHidesTheBody)
{
    const std::vector<double> head(kHeadAxes, 0.0);
    const std::vector<double> arm = armStartPose();
    Renderer r(Scene::standard());
    r.setBody(robotBody(head.data(), arm.data(), arm.data()));
    // Look from the eye at the left palm; put the ball just before it and then behind it.
    const Pose eye = leftEyePose(head.data());
    const Vec3 palm = handPosition(arm.data(), Side::Left);
    const Vec3 along = (palm - eye.position).normalized();
    const Vec3 before = palm - along * 0.1, behind = palm + along * 0.15;
    EXPECT_TRUE(r.seesBall(eye.position, before - eye.position, before));
    const Rgb front = r.trace(eye.position, along, before);
    EXPECT_EQ(front.r, 0);
    EXPECT_EQ(front.g, 0);
    EXPECT_FALSE(r.seesBall(eye.position, behind - eye.position, behind)) << "the hand hides the ball";
    EXPECT_TRUE(isNavy(r.trace(eye.position, along, behind))) << "the navy hand is in front";
}

// Whatever the head and arms do, the body never yields a pure-blue pixel (the ball finder
// of a pure-blue test must not take it for the ball), and some poses show its navy.
TEST(Render, BodyIsNavyButNeverPureBlue)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto headRange = headLimits();
    const auto armRange = armLimits();
    const Intrinsics k = Intrinsics::forSize(160, 120);
    long navy = 0;
    for (int round = 0; round < 60; ++round) {
        std::vector<double> head(kHeadAxes), left(kArmAxes), right(kArmAxes);
        for (std::size_t j = 0; j < kHeadAxes; ++j) {
            head[j] = headRange[j].min + (headRange[j].max - headRange[j].min) * unit(rng);
        }
        for (std::size_t j = 0; j < kArmAxes; ++j) {
            left[j] = armRange[j].min + (armRange[j].max - armRange[j].min) * unit(rng);
            right[j] = armRange[j].min + (armRange[j].max - armRange[j].min) * unit(rng);
        }
        std::vector<std::uint8_t> rgb(k.width * k.height * 3);
        renderer().render(leftEyePose(head.data()), k, {0.0, 50.0, 0.0}, robotBody(head.data(), left.data(), right.data()),
                          rgb.data(), k.width * 3);
        EXPECT_EQ(findPureBlue(rgb, k.width, k.height).count, 0) << "round " << round;
        navy += findBlue(rgb, k.width, k.height).count;
    }
    EXPECT_GT(navy, 1000);
}
