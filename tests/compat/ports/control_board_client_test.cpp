// The remote_controlboard client against a served board: opening, the interfaces, control
// modes as the robot has them, and calls that fail instead of hanging once the board is gone.
#include "port_test_support.h"

#include "sim/serve/board_device.h"
#include "support/board_client.h"
#include "support/fake_board.h"

#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/Drivers.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/dev/WrapperSingle.h>
#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/os/Property.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace yarp::dev;
using yarp::os::NetworkBase;
using yarp::os::Property;
using ac_test::remote_board_options;
using ports_test::Child;
using ports_test::helperPath;
using ac_test::poll_until;

namespace {

/// A board the driver factory can make (device classes there are default-constructible).
class SixAxisBoard : public ac_test::FakeBoard {
public:
    SixAxisBoard() : FakeBoard(6) {}
};

} // namespace

TEST(ControlBoardClient, OpenFailsForAnAbsentBoardOrABadConfiguration)
{
    PolyDriver driver;
    Property absent = remote_board_options("/nowhere/head", "/client/absent");
    EXPECT_FALSE(driver.open(absent));
    EXPECT_FALSE(driver.isValid());
    IEncoders* enc = reinterpret_cast<IEncoders*>(&driver); // must be overwritten
    EXPECT_FALSE(driver.view(enc));
    EXPECT_EQ(enc, nullptr);
    EXPECT_FALSE(NetworkBase::exists("/client/absent/rpc:o")) << "a failed open leaves no port behind";

    Property unknown;
    unknown.put("device", "no_such_device");
    EXPECT_FALSE(driver.open(unknown));

    ac_test::FakeBoard board(6);
    sim::BoardServer server;
    ASSERT_TRUE(server.open("/cfg/head", board));
    Property noLocal;
    noLocal.put("device", "remote_controlboard");
    noLocal.put("remote", "/cfg/head");
    EXPECT_FALSE(driver.open(noLocal));

    sim::BoardServer twice;
    EXPECT_FALSE(twice.open("/cfg/head", board)) << "one server per board name";

    // Something that is not a board request (an operator's bottle) gets a failure answer,
    // and the board is untouched.
    yarp::os::Port stranger;
    ASSERT_TRUE(stranger.open("/cfg/stranger"));
    ASSERT_TRUE(NetworkBase::connect("/cfg/stranger", sim::BoardServer::rpcPortName("/cfg/head")));
    stranger.setTimeout(5.0f);
    yarp::os::Bottle reply;
    EXPECT_FALSE(stranger.write(yarp::os::Bottle("set pos 0 10"), reply));
    EXPECT_EQ(board.calls("positionMove"), 0);
}

TEST(ControlBoardClient, InterfacesReachTheBoardWithTheRobotsControlModes)
{
    ac_test::FakeBoard board(6);
    board.setEncoders({1, 2, 3, 4, 5, 6});
    sim::BoardServer server;
    ASSERT_TRUE(server.open("/sim/head", board));

    Property config = remote_board_options("/sim/head", "/client/head");
    PolyDriver driver(config);
    ASSERT_TRUE(driver.isValid());
    IEncoders* enc = nullptr;
    IPositionControl* pos = nullptr;
    IVelocityControl* vel = nullptr;
    IControlMode* modes = nullptr;
    ASSERT_TRUE(driver.view(enc) && driver.view(pos) && driver.view(vel) && driver.view(modes));

    int axes = 0;
    ASSERT_TRUE(enc->getAxes(&axes));
    EXPECT_EQ(axes, 6);
    std::vector<double> e(6, -1);
    ASSERT_TRUE(enc->getEncoders(e.data())) << "readings are available right after open";
    EXPECT_EQ(e, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    double one = 0;
    EXPECT_TRUE(enc->getEncoder(2, &one));
    EXPECT_EQ(one, 3);
    EXPECT_FALSE(enc->getEncoder(6, &one)) << "joint out of range";
    EXPECT_FALSE(enc->getEncoder(-1, &one));

    // Position mode at start: velocity commands are accepted but ignored.
    std::vector<int> m(6, 0);
    ASSERT_TRUE(modes->getControlModes(m.data()));
    EXPECT_EQ(m, std::vector<int>(6, VOCAB_CM_POSITION));
    const std::vector<double> speeds{1, 1, 1, 1, 1, 1};
    EXPECT_TRUE(vel->velocityMove(speeds.data()));
    EXPECT_EQ(board.velocities(), std::vector<double>(6, 0.0));
    const std::vector<double> targets{10, -5, 0, 2, 3, 4};
    EXPECT_TRUE(pos->positionMove(targets.data()));
    EXPECT_EQ(board.positionTargets(), targets);

    // Joint 4 into velocity mode: it follows velocity commands and ignores position ones.
    ASSERT_TRUE(modes->setControlMode(4, VOCAB_CM_VELOCITY));
    int mode = 0;
    ASSERT_TRUE(modes->getControlMode(4, &mode));
    EXPECT_EQ(mode, VOCAB_CM_VELOCITY);
    EXPECT_TRUE(vel->velocityMove(4, 7.5));
    EXPECT_TRUE(pos->positionMove(4, 99));
    EXPECT_EQ(board.velocities()[4], 7.5);
    EXPECT_EQ(board.positionTargets()[4], 3);

    const std::vector<double> refs{30, 30, 30, 30, 30, 30};
    EXPECT_TRUE(pos->setRefSpeeds(refs.data()));
    EXPECT_TRUE(pos->setRefAccelerations(refs.data()));
    EXPECT_EQ(board.refSpeeds(), refs);
    EXPECT_EQ(board.refAccelerations(), refs);
    bool done = false;
    EXPECT_TRUE(pos->checkMotionDone(&done));
    EXPECT_TRUE(done);
    EXPECT_TRUE(vel->stop());
    EXPECT_EQ(board.calls("stop"), 1);

    int all[6] = {VOCAB_CM_VELOCITY, VOCAB_CM_VELOCITY, VOCAB_CM_VELOCITY,
                  VOCAB_CM_POSITION, VOCAB_CM_POSITION, VOCAB_CM_IDLE};
    EXPECT_TRUE(modes->setControlModes(all));
    EXPECT_EQ(board.controlModes(), std::vector<int>(all, all + 6));
    EXPECT_FALSE(modes->setControlMode(0, 12345)) << "not a control mode";
    EXPECT_FALSE(pos->positionMove(nullptr));
    EXPECT_FALSE(enc->getEncoders(nullptr));

    EXPECT_TRUE(driver.close());
    EXPECT_FALSE(driver.isValid());
}

TEST(ControlBoardClient, CallsFailWhenTheBoardProcessDiesAndRecoverWhenItReturns)
{
    auto start = [] { return std::make_unique<Child>(std::vector<std::string>{helperPath(), "board-server", "/proc/head", "6"}); };
    auto server = start();
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists(sim::BoardServer::rpcPortName("/proc/head")); }));

    Property config = remote_board_options("/proc/head", "/client/proc");
    PolyDriver driver;
    ASSERT_TRUE(driver.open(config));
    IEncoders* enc = nullptr;
    IPositionControl* pos = nullptr;
    ASSERT_TRUE(driver.view(enc) && driver.view(pos));
    std::vector<double> e(6, -1);
    ASSERT_TRUE(enc->getEncoders(e.data()));

    server->kill();
    std::vector<double> untouched(6, 42);
    EXPECT_FALSE(enc->getEncoders(untouched.data()));
    EXPECT_EQ(untouched, std::vector<double>(6, 42)) << "a failed call leaves the buffer alone";
    int axes = 0;
    EXPECT_FALSE(enc->getAxes(&axes));
    EXPECT_FALSE(pos->positionMove(0, 1.0));
    EXPECT_FALSE(pos->stop());

    server = start();
    EXPECT_TRUE(poll_until([&] { return enc->getEncoders(e.data()); })) << "a returning board is picked up again";
}

TEST(ControlBoardClient, FactoryDevicesAreServedThroughTheWrapperAndDeviceBundler)
{
    Drivers::factory().add(new DriverCreatorOf<SixAxisBoard>("six_axis_test_board", "", "SixAxisBoard"));
    ASSERT_NE(Drivers::factory().find("six_axis_test_board"), nullptr);

    // The wrapper needs its name; opened without a device attached, it refuses every call.
    Property wrapperConfig;
    wrapperConfig.put("device", "controlBoard_nws_yarp");
    PolyDriver wrapper;
    EXPECT_FALSE(wrapper.open(wrapperConfig)) << "no \"name\"";
    wrapperConfig.put("name", "/bare/head");
    ASSERT_TRUE(wrapper.open(wrapperConfig));
    PolyDriver client;
    Property bareClient = remote_board_options("/bare/head", "/client/bare");
    EXPECT_FALSE(client.open(bareClient)) << "a wrapper with nothing attached does not answer";

    // Attached by hand: served; detached: calls fail again.
    PolyDriver board;
    Property boardConfig;
    boardConfig.put("device", "six_axis_test_board");
    ASSERT_TRUE(board.open(boardConfig));
    WrapperSingle* single = nullptr;
    ASSERT_TRUE(wrapper.view(single));
    ASSERT_TRUE(single->attach(&board));
    EXPECT_FALSE(single->attach(&board)) << "one device per wrapper";
    ASSERT_TRUE(client.open(bareClient));
    IPositionControl* pos = nullptr;
    ASSERT_TRUE(client.view(pos));
    EXPECT_TRUE(pos->positionMove(1, 12.0));
    SixAxisBoard* served = nullptr;
    ASSERT_TRUE(board.view(served));
    EXPECT_EQ(served->positionTargets()[1], 12.0);
    ASSERT_TRUE(single->detach());
    EXPECT_FALSE(pos->positionMove(1, 13.0));
    EXPECT_EQ(served->positionTargets()[1], 12.0);

    // deviceBundler opens wrapper and board from one configuration and attaches them.
    Property bundle;
    bundle.put("device", "deviceBundler");
    bundle.put("wrapper_device", "controlBoard_nws_yarp");
    bundle.put("attached_device", "six_axis_test_board");
    bundle.put("name", "/bundle/head");
    PolyDriver bundled(bundle);
    ASSERT_TRUE(bundled.isValid());
    PolyDriver bundleClient;
    Property bundleClientConfig = remote_board_options("/bundle/head", "/client/bundle");
    ASSERT_TRUE(bundleClient.open(bundleClientConfig));
    IEncoders* enc = nullptr;
    int axes = 0;
    ASSERT_TRUE(bundleClient.view(enc) && enc->getAxes(&axes));
    EXPECT_EQ(axes, 6);
    bundled.close();
    EXPECT_FALSE(NetworkBase::exists(sim::BoardServer::rpcPortName("/bundle/head")));
    bundle.put("attached_device", "no_such_board");
    EXPECT_FALSE(bundled.open(bundle));
    EXPECT_FALSE(NetworkBase::exists(sim::BoardServer::rpcPortName("/bundle/head"))) << "a failed bundle closes its wrapper";

    EXPECT_TRUE(Drivers::factory().remove("six_axis_test_board"));
    EXPECT_EQ(Drivers::factory().find("six_axis_test_board"), nullptr);
}
