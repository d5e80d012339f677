// Joint physics of a simulated board: position profiles under the reference speed and
// acceleration, velocity integration, limits, control modes, stop, refused input.
#include "sim/model/joint_board.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using sim::ControlMode;
using sim::JointBoard;

namespace {

constexpr double kDt = 0.01;

JointBoard headBoard() { return JointBoard("head", sim::headLimits(), std::vector<double>(6, 0.0)); }

double position(const JointBoard& b, std::size_t j)
{
    double p = 0.0;
    EXPECT_TRUE(b.getEncoder(j, &p));
    return p;
}

bool done(const JointBoard& b)
{
    bool d = false;
    EXPECT_TRUE(b.checkMotionDone(&d));
    return d;
}

} // namespace

TEST(JointBoard, PositionMoveRunsAtTheReferenceSpeedAndStopsOnTheTarget)
{
    JointBoard b = headBoard();
    ASSERT_TRUE(b.setRefSpeed(2, 20.0));
    ASSERT_TRUE(b.setRefAcceleration(2, 100.0));
    ASSERT_TRUE(b.positionMove(2, 30.0));
    EXPECT_FALSE(done(b));

    double peak = 0.0, previousSpeed = 0.0, time = 0.0;
    while (!done(b) && time < 10.0) {
        b.step(kDt);
        time += kDt;
        double speed = 0.0;
        b.getEncoderSpeed(2, &speed);
        peak = std::max(peak, speed);
        EXPECT_LE(std::abs(speed - previousSpeed), 100.0 * kDt * 2 + 1e-6) << "acceleration limit at t=" << time;
        previousSpeed = speed;
        EXPECT_LE(position(b, 2), 30.0) << "no overshoot";
    }
    EXPECT_NEAR(peak, 20.0, 1e-6);
    // 30 degrees at 20 deg/s with 0.2 s ramps at each end: 1.5 s cruise-equivalent + 0.2 s.
    EXPECT_NEAR(time, 1.7, 0.05);
    EXPECT_DOUBLE_EQ(position(b, 2), 30.0);
    for (int i = 0; i < 50; ++i) {
        b.step(kDt);
    }
    EXPECT_DOUBLE_EQ(position(b, 2), 30.0) << "a reached target holds";
    for (std::size_t j : {0u, 1u, 3u, 4u, 5u}) {
        EXPECT_EQ(position(b, j), 0.0) << "other joints stay put";
    }
}

TEST(JointBoard, DefaultReferencesMoveAJointBeforeAnyAreSet)
{
    JointBoard b = headBoard();
    ASSERT_TRUE(b.positionMove(0, -20.0));
    for (int i = 0; i < 1000 && !done(b); ++i) {
        b.step(kDt);
    }
    EXPECT_DOUBLE_EQ(position(b, 0), -20.0);
}

TEST(JointBoard, ATargetChangedMidwayReversesUnderTheAccelerationLimit)
{
    JointBoard b = headBoard();
    b.setRefSpeed(2, 40.0);
    b.setRefAcceleration(2, 80.0);
    b.positionMove(2, 50.0);
    for (int i = 0; i < 60; ++i) {
        b.step(kDt);
    }
    b.positionMove(2, -10.0);
    double previous = 0.0;
    b.getEncoderSpeed(2, &previous);
    for (int i = 0; i < 600 && !done(b); ++i) {
        b.step(kDt);
        double speed = 0.0;
        b.getEncoderSpeed(2, &speed);
        EXPECT_LE(std::abs(speed - previous), 80.0 * kDt * 2 + 1e-6);
        previous = speed;
    }
    EXPECT_DOUBLE_EQ(position(b, 2), -10.0);
}

TEST(JointBoard, TargetsBeyondTheLimitsAreClampedAndStartPosesToo)
{
    JointBoard b = headBoard();
    b.setRefSpeed(0, 1000.0);
    b.setRefAcceleration(0, 1e5);
    ASSERT_TRUE(b.positionMove(0, 500.0));
    double target = 0.0;
    b.getTarget(0, &target);
    EXPECT_EQ(target, 30.0);
    for (int i = 0; i < 100; ++i) {
        b.step(kDt);
        EXPECT_LE(position(b, 0), 30.0);
    }
    EXPECT_EQ(position(b, 0), 30.0);

    JointBoard arm("arm", sim::armLimits(), std::vector<double>(16, 0.0));
    EXPECT_EQ(position(arm, 3), 16.0) << "elbow starts at its minimum";
    EXPECT_EQ(position(arm, 8), 10.0);
}

TEST(JointBoard, VelocityModeIntegratesHoldsTheCommandAndStopsAtTheLimit)
{
    JointBoard b = headBoard();
    ASSERT_TRUE(b.setControlMode(4, ControlMode::Velocity));
    ASSERT_TRUE(b.velocityMove(4, 10.0));
    for (int i = 0; i < 100; ++i) {
        b.step(kDt);
    }
    EXPECT_NEAR(position(b, 4), 10.0, 1e-9) << "1 s at 10 deg/s";
    EXPECT_FALSE(done(b));
    for (int i = 0; i < 1000; ++i) {
        b.step(kDt);
    }
    EXPECT_EQ(position(b, 4), 52.0) << "held command runs into the upper limit and stays there";
    double speed = 1.0;
    b.getEncoderSpeed(4, &speed);
    EXPECT_EQ(speed, 0.0);
    EXPECT_TRUE(done(b)) << "pinned at the limit the motion is over";

    ASSERT_TRUE(b.velocityMove(4, -100.0));
    b.step(kDt);
    EXPECT_NEAR(position(b, 4), 51.0, 1e-9) << "a command away from the limit moves at once";
}

TEST(JointBoard, ControlModesIgnoreTheOtherKindOfCommandButReturnTrue)
{
    JointBoard b = headBoard();
    ControlMode m = ControlMode::Idle;
    for (std::size_t j = 0; j < b.axes(); ++j) {
        ASSERT_TRUE(b.getControlMode(j, &m));
        EXPECT_EQ(m, ControlMode::Position);
    }
    EXPECT_TRUE(b.velocityMove(2, 30.0)) << "ignored, but the call succeeds";
    EXPECT_TRUE(b.velocityMove(std::vector<double>(6, 30.0).data()));
    for (int i = 0; i < 50; ++i) {
        b.step(kDt);
    }
    EXPECT_EQ(position(b, 2), 0.0);

    b.setControlMode(2, ControlMode::Velocity);
    EXPECT_TRUE(b.positionMove(2, 40.0));
    EXPECT_TRUE(b.positionMove(std::vector<double>(6, 40.0).data()));
    for (int i = 0; i < 50; ++i) {
        b.step(kDt);
    }
    EXPECT_EQ(position(b, 2), 0.0) << "the velocity joint ignored both position commands";
    EXPECT_GT(position(b, 0), 0.0) << "the position joints took the array command";

    b.setControlMode(1, ControlMode::Idle);
    const double idleAt = position(b, 1);
    EXPECT_GT(idleAt, 0.0) << "it was on its way to 40";
    b.positionMove(1, 20.0);
    b.velocityMove(1, 20.0);
    for (int i = 0; i < 50; ++i) {
        b.step(kDt);
    }
    EXPECT_EQ(position(b, 1), idleAt) << "an idle joint stops where it is and ignores both kinds";
}

TEST(JointBoard, SwitchingModeHoldsTheJointWhereItIs)
{
    JointBoard b = headBoard();
    b.setControlMode(2, ControlMode::Velocity);
    b.velocityMove(2, 20.0);
    for (int i = 0; i < 50; ++i) {
        b.step(kDt);
    }
    const double here = position(b, 2);
    b.setControlMode(2, ControlMode::Position);
    for (int i = 0; i < 50; ++i) {
        b.step(kDt);
    }
    EXPECT_EQ(position(b, 2), here) << "no leftover velocity, no jump to an old target";
    b.setControlMode(2, ControlMode::Velocity);
    b.step(kDt);
    EXPECT_EQ(position(b, 2), here) << "back in velocity mode the old command is gone";
}

TEST(JointBoard, StopHaltsPositionAndVelocityJoints)
{
    JointBoard b = headBoard();
    b.positionMove(0, 25.0);
    b.setControlMode(2, ControlMode::Velocity);
    b.velocityMove(2, 15.0);
    for (int i = 0; i < 40; ++i) {
        b.step(kDt);
    }
    ASSERT_TRUE(b.stop());
    const double pitch = position(b, 0), yaw = position(b, 2);
    EXPECT_GT(pitch, 0.0);
    EXPECT_GT(yaw, 0.0);
    for (int i = 0; i < 100; ++i) {
        b.step(kDt);
    }
    EXPECT_EQ(position(b, 0), pitch);
    EXPECT_EQ(position(b, 2), yaw);
    EXPECT_TRUE(done(b));
}

TEST(JointBoard, RefusedInputChangesNothing)
{
    JointBoard b = headBoard();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(b.positionMove(0, nan));
    EXPECT_FALSE(b.positionMove(6, 1.0)) << "axis out of range";
    std::vector<double> refs{1, 2, nan, 4, 5, 6};
    EXPECT_FALSE(b.positionMove(refs.data())) << "all or nothing";
    EXPECT_FALSE(b.positionMove(nullptr));
    EXPECT_FALSE(b.setRefSpeed(0, 0.0));
    EXPECT_FALSE(b.setRefSpeed(0, -5.0));
    EXPECT_FALSE(b.setRefAcceleration(0, inf));
    EXPECT_FALSE(b.setRefSpeeds(std::vector<double>{30, 30, 30, 0, 30, 30}.data()));
    b.setControlMode(1, ControlMode::Velocity);
    EXPECT_FALSE(b.velocityMove(1, inf));
    for (int i = 0; i < 100; ++i) {
        b.step(kDt);
    }
    for (std::size_t j = 0; j < 6; ++j) {
        EXPECT_EQ(position(b, j), 0.0);
        double s = 0.0;
        b.getRefSpeed(j, &s);
        EXPECT_EQ(s, JointBoard::kDefaultRefSpeed);
    }
    b.step(nan);
    b.step(-1.0);
    EXPECT_EQ(position(b, 0), 0.0);
}

// Random command sequences (fixed seed) against the invariants every board must keep:
// joints inside their limits, and position joints never speeding up beyond their reference
// speed (a speed lowered mid-move is reached by braking, not at once).
TEST(JointBoard, RandomCommandsKeepLimitsAndSpeedBounds)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    JointBoard b("arm", sim::armLimits(), sim::armStartPose());
    const auto limits = sim::armLimits();
    for (int round = 0; round < 400; ++round) {
        const std::size_t j = static_cast<std::size_t>(rng() % 16);
        const double r = unit(rng);
        if (r < 0.1) {
            b.setControlMode(j, unit(rng) < 0.5 ? ControlMode::Velocity : ControlMode::Position);
        } else if (r < 0.5) {
            b.positionMove(j, -300.0 + 600.0 * unit(rng));
        } else if (r < 0.7) {
            b.velocityMove(j, -200.0 + 400.0 * unit(rng));
        } else if (r < 0.8) {
            b.setRefSpeed(j, 1.0 + 100.0 * unit(rng));
            b.setRefAcceleration(j, 5.0 + 500.0 * unit(rng));
        } else if (r < 0.82) {
            b.stop();
        }
        for (int k = 0; k < 5; ++k) {
            const auto before = b.states();
            b.step(kDt);
            const auto after = b.states();
            for (std::size_t i = 0; i < 16; ++i) {
                ASSERT_GE(after[i].position, limits[i].min);
                ASSERT_LE(after[i].position, limits[i].max);
                if (after[i].mode == ControlMode::Position && before[i].mode == ControlMode::Position) {
                    double ref = 0.0;
                    b.getRefSpeed(i, &ref);
                    if (std::abs(after[i].velocity) > ref + 1e-6) {
                        ASSERT_LE(std::abs(after[i].velocity), std::abs(before[i].velocity) + 1e-6)
                            << "joint " << i << " round " << round;
                    }
                }
            }
        }
    }
}
