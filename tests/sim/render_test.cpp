// The left camera's picture: the ball where the pinhole model puts it, nothing blue but
// the ball, and the look of the real simulator's reference view.
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace sim;
using sim_test::findBlue;
using sim_test::renderView;

namespace {

const Renderer& renderer()
{
    static const Renderer r(Scene::standard());
    return r;
}

} // namespace

TEST(Render, ReferenceViewLooksLikeTheRealSimulators)
{
    const std::vector<double> head{-35, 0, 0, -30, 0, 0};
    const Intrinsics k;
    const auto rgb = renderView(renderer(), leftEyePose(head.data()), k, {-0.15, 0.554, 0.35});
    const auto blob = findBlue(rgb, k.width, k.height);
    EXPECT_NEAR(blob.count, 2228, 2228 * 0.05);
    EXPECT_NEAR(blob.u, 276.0, 2.0);
    EXPECT_NEAR(blob.v, 61.0, 2.0);
    // The table top fills the upper part of the view: olive, no blue in it.
    const std::uint8_t* table = &rgb[(20 * k.width + 40) * 3];
    EXPECT_NEAR(table[0], 113, 15);
    EXPECT_NEAR(table[1], 113, 15);
    EXPECT_LT(table[2], 10);
}

// Random head poses and ball places (fixed seed): whenever the ball is wholly inside the
// image and nothing hides it, the centroid of the blue pixels is within 2 px of the
// analytic projection; when it is out of view no pixel passes the blue test.
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
        const auto rgb = renderView(renderer(), eye, k, ball);
        const auto blob = findBlue(rgb, k.width, k.height);
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
        const bool visible = renderer().seesBall(eye.position, ball - eye.position, ball);
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
    const auto near = findBlue(renderView(renderer(), eye, k, eye.position + Vec3{0, 0, 0.5}), k.width, k.height);
    const auto far = findBlue(renderView(renderer(), eye, k, eye.position + Vec3{0, 0, 1.0}), k.width, k.height);
    ASSERT_GT(far.count, 0);
    EXPECT_NEAR(static_cast<double>(near.count) / far.count, 4.0, 0.3);
    EXPECT_NEAR(near.u, 160.0, 0.5);
    EXPECT_NEAR(near.v, 120.0, 0.5);
}

TEST(Render, RedAndGreenBlocksAndTheSkyNeverPassTheBlueTest)
{
    const Intrinsics k;
    const Scene scene = Scene::standard();
    const Vec3 hidden{0.0, 0.3, -2.0}; // behind the robot
    for (const Block& block : scene.blocks) {
        const Vec3 centre = (block.box.min + block.box.max) * 0.5;
        // Aim the head at the block: yaw toward it, pitch down to it (eyes at rest).
        const Vec3 eye0 = leftEyePose(std::vector<double>(6, 0.0).data()).position;
        const Vec3 d = centre - eye0;
        const double yaw = rad2deg(std::atan2(d.x, d.z));
        const double pitch = rad2deg(std::atan2(d.y, std::hypot(d.x, d.z)));
        const std::vector<double> head{pitch, 0, yaw, 0, 0, 0};
        const auto rgb = renderView(renderer(), leftEyePose(head.data()), k, hidden);
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
        EXPECT_EQ(findBlue(renderView(renderer(), leftEyePose(up.data()), k, hidden), k.width, k.height).count, 0);
    }
}
