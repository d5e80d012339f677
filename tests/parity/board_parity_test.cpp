// A control board served through controlBoard_nws_yarp and driven through remote_controlboard,
// the same way on every YARP: what the motor agents call, control modes included, and that a
// call on a board that has gone returns false instead of waiting.
#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/IControlMode.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Network.h>
#include <yarp/os/Property.h>
#include <yarp/os/Vocab.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/serve/board_device.h"
#include "support/board_client.h"
#include "support/fake_board.h"
#include "support/wait.h"

namespace {

using ac_test::poll_until;
using Client = ac_test::BoardClient;
using Clock = std::chrono::steady_clock;

class BoardParity : public ::testing::Test {
protected:
    static void SetUpTestSuite() { static yarp::os::Network network; }
};

TEST_F(BoardParity, RemoteCallsAndControlModesReachTheServedBoard)
{
    ac_test::FakeBoard board(6);
    board.setEncoders({1, 2, 3, 4, 5, 6});
    sim::BoardServer server;
    ASSERT_TRUE(server.open("/parity/head", board));
    EXPECT_TRUE(yarp::os::NetworkBase::exists(sim::BoardServer::rpcPortName("/parity/head")));

    Client client("/parity/head", "/parity/head-client");
    ASSERT_TRUE(client.opened);
    ASSERT_TRUE(client.enc && client.pos && client.vel && client.mode);

    int axes = 0;
    ASSERT_TRUE(client.enc->getAxes(&axes));
    EXPECT_EQ(axes, 6);
    // On YARP the encoders come from the board's state stream: the first reading answers once
    // the first state message has arrived, shortly after the client opened.
    std::vector<double> encs(6, -1);
    ASSERT_TRUE(poll_until([&] { return client.enc->getEncoders(encs.data()); }));
    EXPECT_EQ(encs, (std::vector<double>{1, 2, 3, 4, 5, 6}));

    // Every joint starts in position mode; a velocity command there is ignored by the
    // board, yet the call succeeds (it is streamed).
    int m = 0;
    ASSERT_TRUE(client.mode->getControlMode(2, &m));
    EXPECT_EQ(m, VOCAB_CM_POSITION);
    EXPECT_TRUE(client.vel->velocityMove(2, 5.0));
    ASSERT_TRUE(poll_until([&] { return board.calls("velocityMove") >= 1; }));
    EXPECT_EQ(board.velocities()[2], 0.0);

    // The mode is set on the board when the call returns, so the next streamed velocity
    // command is obeyed; the client's own reading of the modes follows with the state stream
    // on YARP.
    ASSERT_TRUE(client.mode->setControlMode(2, VOCAB_CM_VELOCITY));
    EXPECT_EQ(board.controlModes()[2], VOCAB_CM_VELOCITY);
    EXPECT_TRUE(client.vel->velocityMove(2, 5.0));
    ASSERT_TRUE(poll_until([&] { return board.velocities()[2] == 5.0; }));
    EXPECT_TRUE(poll_until([&] { return client.mode->getControlMode(2, &m) && m == VOCAB_CM_VELOCITY; }));
    std::vector<int> modes(6, 0);
    ASSERT_TRUE(client.mode->getControlModes(modes.data()));
    EXPECT_EQ(modes[2], VOCAB_CM_VELOCITY);
    EXPECT_EQ(modes[0], VOCAB_CM_POSITION);

    ASSERT_TRUE(client.vel->stop());
    ASSERT_TRUE(poll_until([&] { return board.velocities()[2] == 0.0; }));
    ASSERT_TRUE(client.mode->setControlMode(2, VOCAB_CM_POSITION));
    ASSERT_TRUE(client.pos->positionMove(0, -20.0));
    ASSERT_TRUE(poll_until([&] { return board.positionTargets()[0] == -20.0; }));
    bool done = false;
    EXPECT_TRUE(client.pos->checkMotionDone(&done));
}

TEST_F(BoardParity, AMissingOrVanishedBoardFailsWithoutWaitingForever)
{
    Client nobody("/parity/nobody", "/parity/nobody-client");
    EXPECT_FALSE(nobody.opened) << "opening a client of a board that does not exist fails";

    auto board = std::make_unique<ac_test::FakeBoard>(6);
    auto server = std::make_unique<sim::BoardServer>();
    ASSERT_TRUE(server->open("/parity/gone", *board));
    Client client("/parity/gone", "/parity/gone-client");
    ASSERT_TRUE(client.opened);
    server->close();
    std::vector<double> encs(6, 0.0);
    const auto start = Clock::now();
    EXPECT_FALSE(client.enc->getEncoders(encs.data()));
    int m = 0;
    EXPECT_FALSE(client.mode->getControlMode(0, &m));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
