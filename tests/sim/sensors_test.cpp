// The inertial sensor follows the head; the hand's skin feels the ball.
#include "sim/simulation/simulation.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace sim;

namespace {

double norm3(const InertialModel::Reading& r, std::size_t first)
{
    return std::sqrt(r[first] * r[first] + r[first + 1] * r[first + 1] + r[first + 2] * r[first + 2]);
}

} // namespace

TEST(Inertial, AtRestSeesGravityAndNoRotation)
{
    Simulation s({});
    Simulation::SensorFrame f;
    for (int i = 0; i < 5; ++i) {
        f = s.step(0.01);
    }
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 8u}) {
        EXPECT_NEAR(f.inertial[i], 0.0, 1e-9) << i;
    }
    EXPECT_NEAR(f.inertial[4], 9.81, 1e-9);
    EXPECT_GT(norm3(f.inertial, 9), 0.1) << "a magnetic field is there";
}

TEST(Inertial, FollowsThePoseAndTheTurningOfTheHead)
{
    Simulation s({});
    sim_test::moveHead(s, {0, 0, 20, 0, 0, 0});
    Simulation::SensorFrame f = s.step(0.01);
    EXPECT_NEAR(f.inertial[0], 0.0, 1e-9) << "roll";
    EXPECT_NEAR(f.inertial[1], 0.0, 1e-9) << "pitch";
    EXPECT_NEAR(f.inertial[2], 20.0, 1e-9) << "yaw";

    sim_test::moveHead(s, {-30, 0, 0, 0, 0, 0});
    for (int i = 0; i < 3; ++i) {
        f = s.step(0.01); // the sensor's own acceleration has died away
    }
    EXPECT_NEAR(f.inertial[1], -30.0, 1e-9) << "pitch";
    EXPECT_NEAR(norm3(f.inertial, 3), 9.81, 1e-6) << "still head: gravity only";
    EXPECT_NEAR(f.inertial[5], -9.81 * std::sin(30.0 * kPi / 180.0), 1e-6)
        << "looking down, the head's forward axis has a share of the pull";
    const double field = norm3(f.inertial, 9);

    // Turn the head at 20 deg/s about its own vertical axis.
    s.head().setControlMode(2, ControlMode::Velocity);
    s.head().velocityMove(2, 20.0);
    for (int i = 0; i < 10; ++i) {
        f = s.step(0.01);
    }
    EXPECT_NEAR(std::sqrt(f.inertial[6] * f.inertial[6] + f.inertial[7] * f.inertial[7] + f.inertial[8] * f.inertial[8]),
                20.0, 0.1);
    EXPECT_NEAR(f.inertial[7], 20.0, 0.1) << "yaw turns about the head's own y axis";
    EXPECT_NEAR(norm3(f.inertial, 9), field, 1e-9) << "the field only turns";
}

TEST(Skin, IsQuietUntilTheBallTouchesThePalm)
{
    Simulation s(Simulation::Config{false});
    Simulation::SensorFrame f = s.step(0.01);
    ASSERT_EQ(f.leftHandSkin.size(), HandSkinModel::kTaxels);
    for (double t : f.leftHandSkin) {
        EXPECT_EQ(t, 0.0);
    }
    const Vec3 palm = s.hand(Side::Left);
    s.world().setBall(palm + Vec3{0.0, 0.06, 0.0}); // 6 cm above the palm centre: 1 cm deep
    f = s.step(0.01);
    int pressed = 0;
    for (double t : f.leftHandSkin) {
        EXPECT_GE(t, 0.0);
        EXPECT_LE(t, 255.0);
        pressed += t > 0.0 ? 1 : 0;
    }
    EXPECT_EQ(pressed, static_cast<int>(HandSkinModel::kPalmCount));
    EXPECT_NEAR(f.leftHandSkin[HandSkinModel::kPalmFirst], 255.0, 1.0);
}
