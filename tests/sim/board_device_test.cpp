// The control-board devices in-process, without ports: a sim_board made by the driver
// factory serves only a joint board offered under its name, and the group forms of the
// motor interfaces refuse a bad joint number without moving any joint.
#include "sim/model/joint_board.h"
#include "sim/serve/sim_board.h"
#include "support/fake_board.h"

#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Property.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

yarp::os::Property simBoardConfig(const std::string& board)
{
    yarp::os::Property p;
    p.put("device", sim::SimBoard::kDeviceName);
    p.put("board", board);
    return p;
}

} // namespace

TEST(SimBoardDevice, TheFactoryMakesItForAnOfferedJointBoardOnly)
{
    sim::SimBoard::registerDevice();
    sim::SimBoard::registerDevice(); // a second registration changes nothing
    sim::JointBoard joints("head", sim::headLimits(), std::vector<double>(6, 0.0));

    yarp::os::Property absent = simBoardConfig("/devtest/head");
    yarp::dev::PolyDriver driver;
    EXPECT_FALSE(driver.open(absent)) << "nothing offered under that name";

    ASSERT_TRUE(sim::SimBoard::offer("/devtest/head", joints));
    EXPECT_FALSE(sim::SimBoard::offer("/devtest/head", joints)) << "one joint board per name";
    ASSERT_TRUE(driver.open(absent));
    yarp::dev::IEncodersTimed* enc = nullptr;
    yarp::dev::IPositionControl* pos = nullptr;
    yarp::dev::IControlMode* modes = nullptr;
    ASSERT_TRUE(driver.view(enc) && driver.view(pos) && driver.view(modes));
    int axes = 0;
    ASSERT_TRUE(enc->getAxes(&axes));
    EXPECT_EQ(axes, 6);

    // Modes travel as YARP's vocabulary; others are refused.
    EXPECT_TRUE(modes->setControlMode(2, VOCAB_CM_VELOCITY));
    int mode = 0;
    ASSERT_TRUE(modes->getControlMode(2, &mode));
    EXPECT_EQ(mode, VOCAB_CM_VELOCITY);
    sim::ControlMode inBoard = sim::ControlMode::Position;
    ASSERT_TRUE(joints.getControlMode(2, &inBoard));
    EXPECT_EQ(inBoard, sim::ControlMode::Velocity);
    EXPECT_FALSE(modes->setControlMode(2, VOCAB_CM_IDLE + 1));
    EXPECT_FALSE(modes->setControlMode(6, VOCAB_CM_IDLE)) << "joint out of range";

    double reading = -1.0;
    double stamp = 0.0;
    ASSERT_TRUE(enc->getEncoderTimed(0, &reading, &stamp));
    EXPECT_EQ(reading, 0.0);
    EXPECT_GT(stamp, 1.5e9) << "stamped with the wall clock, as YARP's readings are";
    EXPECT_TRUE(pos->positionMove(0, 10.0));
    double target = 0.0;
    ASSERT_TRUE(pos->getTargetPosition(0, &target));
    EXPECT_EQ(target, 10.0);

    driver.close();
    sim::SimBoard::withdraw("/devtest/head");
}

TEST(BoardDevice, GroupCallsRefuseABadJointAndChangeNothing)
{
    ac_test::FakeBoard board(4);
    yarp::dev::IPositionControl& pos = board;
    yarp::dev::IControlMode& modes = board;

    const int joints[] = {1, 4};
    const double refs[] = {5.0, 6.0};
    EXPECT_FALSE(pos.positionMove(2, joints, refs));
    EXPECT_EQ(board.positionTargets(), std::vector<double>(4, 0.0));
    int velocity[] = {VOCAB_CM_VELOCITY, VOCAB_CM_VELOCITY};
    EXPECT_FALSE(modes.setControlModes(2, joints, velocity));
    EXPECT_EQ(board.controlModes(), std::vector<int>(4, VOCAB_CM_POSITION));

    const int good[] = {3, 1};
    EXPECT_TRUE(pos.positionMove(2, good, refs));
    EXPECT_EQ(board.positionTargets(), (std::vector<double>{0.0, 6.0, 0.0, 5.0}));
    int got[2] = {0, 0};
    ASSERT_TRUE(modes.getControlModes(2, good, got));
    EXPECT_EQ(got[0], VOCAB_CM_POSITION);
}
