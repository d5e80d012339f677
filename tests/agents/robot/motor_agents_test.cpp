// The motor agents against an in-process control board reached through remote_controlboard
// clients: what reaches the board for each Space write, in which control mode, with which
// references, and what the agents print.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

#include "agents/robot/motor_agents.h"
#include "robot_test_support.h"
#include "support/board_client.h"

using namespace robot_test;

namespace {

const std::vector<double> six_zeros(6, 0.0);
const std::vector<double> six_thirties(6, 30.0);

/// A position and a velocity agent of the program on the board of `tag`, started from the
/// configurations "<tag>_conf" and "<tag>_vconf".
struct DrivingAgents {
    ConfBlock pc;
    VelocityBlock vc;
    Observed<MotorAgent>& motor;
    Observed<VelocityMotorAgent>& velocity;
};

DrivingAgents start_driving_agents(const std::string& tag)
{
    const ConfBlock pc = motor_config(tag);
    const VelocityBlock vc = velocity_config(tag);
    Space::getSpace()->write(tag + "_conf", pc, 0, 1.0f);
    Space::getSpace()->write(tag + "_vconf", vc, 0, 1.0f);
    return {pc, vc, start_agent<MotorAgent>(tag + "_conf"),
            start_agent<VelocityMotorAgent>(tag + "_vconf")};
}

/// A board that remembers, for every whole-board position command, the references in force
/// when it arrived, so a test can tell which activation's speeds a move ran with.
class ReferenceRecordingBoard : public FakeBoard {
public:
    using FakeBoard::FakeBoard;

    struct Move {
        std::vector<double> targets, speeds, accelerations;
    };

    bool positionMove(const double* refs) override
    {
        Move m{std::vector<double>(refs, refs + axes()), refSpeeds(), refAccelerations()};
        {
            std::lock_guard<std::mutex> lock(moves_mutex);
            moves.push_back(std::move(m));
        }
        return FakeBoard::positionMove(refs);
    }

    std::vector<Move> recorded()
    {
        std::lock_guard<std::mutex> lock(moves_mutex);
        return moves;
    }

private:
    std::mutex moves_mutex;
    std::vector<Move> moves;
};

/// A board with no encoder values until told it has state, like a client before its first
/// state message.
class LateEncoderBoard : public FakeBoard {
public:
    using FakeBoard::FakeBoard;
    bool getEncoders(double* encs) override
    {
        return ready.load() && FakeBoard::getEncoders(encs);
    }
    bool getEncodersTimed(double* encs, double* time) override
    {
        return ready.load() && FakeBoard::getEncodersTimed(encs, time);
    }
    std::atomic<bool> ready{false};
};

/// A board whose axis count is gone once it is served (a device that lost its hardware).
class AxesGoneBoard : public FakeBoard {
public:
    using FakeBoard::FakeBoard;
    bool getAxes(int* ax) override
    {
        *ax = gone.load() ? 0 : axes();
        return true;
    }
    std::atomic<bool> gone{false};
};

/// Velocity commands may reach the board after the agent's activation has ended (an
/// installed YARP streams them one way), so checks wait for the board to show them.
bool velocities_reach(const FakeBoard& board, const std::vector<double>& expected,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    return poll_until([&] { return board.velocities() == expected; }, timeout);
}

/// Whether the agents' lines captured in `out` come to be exactly `expected` (a line may be
/// printed after the command it reports has reached the board).
bool prints(StdoutCapture& out, const std::string& expected)
{
    return poll_until([&] { return out.text_without_link_reports() == expected; },
                      std::chrono::seconds(5));
}

/// A board that shows its control modes only when told to, like a client that reads them
/// from a state stream arriving a period after each switch.
class LateModesBoard : public FakeBoard {
public:
    explicit LateModesBoard(int axes) : FakeBoard(axes), shown(static_cast<std::size_t>(axes),
                                                               VOCAB_CM_POSITION) {}
    bool getControlMode(int j, int* mode) override
    {
        std::lock_guard<std::mutex> lock(shown_mutex);
        if (j < 0 || j >= axes() || mode == nullptr) return false;
        *mode = shown[static_cast<std::size_t>(j)];
        return true;
    }
    void show_modes()
    {
        std::lock_guard<std::mutex> lock(shown_mutex);
        shown = controlModes();
    }

private:
    std::mutex shown_mutex;
    std::vector<int> shown;
};

/// Waits until a client of `remote` reads `modes` (an installed YARP's clients read them
/// from the board's state stream, a period late).
bool clients_see_modes(const std::string& remote, const std::vector<int>& modes)
{
    yarp::os::Property p = ac_test::remote_board_options(remote, remote + "/observer");
    yarp::dev::PolyDriver observer(p);
    yarp::dev::IControlMode* view = nullptr;
    if (!observer.view(view)) {
        return false;
    }
    std::vector<int> seen(modes.size());
    return poll_until([&] { return view->getControlModes(seen.data()) && seen == modes; });
}

}  // namespace

TEST(MotorAgentLines, ReadLineUsesDefaultStreamNotation)
{
    EXPECT_EQ(read_line(yarp::sig::Vector(6, 0.0)), "read:  0 0 0 0 0 0 \n");
    EXPECT_EQ(joint_vector_text(vec({0, 30, -12.5, 1234567, 1e-7, 0.1 + 0.2})),
              " 0 30 -12.5 1.23457e+06 1e-07 0.3");
    EXPECT_EQ(read_line(yarp::sig::Vector()), "read:  \n");
}

TEST(MotorAgent, SetUpSendsDefaultReferencesAndNoMove)
{
    ServedBoard<> head("/m_setup/head", 6);
    ASSERT_TRUE(head.served);
    start_driving_agents("m_setup");

    EXPECT_EQ(head.board.refSpeeds(), six_thirties);
    EXPECT_EQ(head.board.refAccelerations(), six_thirties);
    EXPECT_EQ(head.board.calls("positionMove"), 0);
    // The velocity agent sends nothing at all while setting up, not even a mode switch.
    EXPECT_EQ(head.board.calls("velocityMove"), 0);
    EXPECT_EQ(head.board.calls("setControlMode"), 0);
}

TEST(MotorAgent, MovesRunWithTheReferencesOfThePreviousActivation)
{
    ServedBoard<ReferenceRecordingBoard> head("/m_refs/head", 6);
    ASSERT_TRUE(head.served);
    const ConfBlock c = motor_config("m_refs");
    Space::getSpace()->write(std::string("m_refs_conf"), c, 0, 1.0f);
    auto& agent = start_agent<MotorAgent>("m_refs_conf");
    StdoutCapture out;

    ASSERT_TRUE(wake_with(agent, [&] { put(c.joints_key, vec({1, 2, 3, 4, 5, 6})); }));
    ASSERT_TRUE(wake_with(agent, [&] { put(c.speed_key, vec({10, 10, 10, 10, 10, 10})); }));
    ASSERT_TRUE(wake_with(agent, [&] { put(c.acc_key, vec({5, 5, 5, 5, 5, 5})); }));
    ASSERT_TRUE(wake_with(agent, [&] { put(c.joints_key, vec({-1, -2, -3, -4, -5, -6.5})); }));

    const auto moves = head.board.recorded();
    ASSERT_EQ(moves.size(), 4u);
    // First move: the references of the set-up.
    EXPECT_EQ(moves[0].targets, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(moves[0].speeds, six_thirties);
    // A write under the speed key alone re-sends the targets, still with the old speeds.
    EXPECT_EQ(moves[1].targets, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(moves[1].speeds, six_thirties);
    EXPECT_EQ(moves[2].speeds, std::vector<double>(6, 10.0));
    EXPECT_EQ(moves[2].accelerations, six_thirties);
    EXPECT_EQ(moves[3].targets, (std::vector<double>{-1, -2, -3, -4, -5, -6.5}));
    EXPECT_EQ(moves[3].speeds, std::vector<double>(6, 10.0));
    EXPECT_EQ(moves[3].accelerations, std::vector<double>(6, 5.0));
    EXPECT_EQ(head.board.encoders(), (std::vector<double>{-1, -2, -3, -4, -5, -6.5}));

    EXPECT_TRUE(prints(out, "read:  1 2 3 4 5 6 \n"
                          "read:  1 2 3 4 5 6 \n"
                          "read:  1 2 3 4 5 6 \n"
                          "read:  -1 -2 -3 -4 -5 -6.5 \n"))
        << out.text_without_link_reports();
}

TEST(MotorAgent, SpeedWriteAloneCommandsZeroTargets)
{
    ServedBoard<> head("/m_zero/head", 6);
    ASSERT_TRUE(head.served);
    head.board.setEncoders({3, 3, 3, 3, 3, 3});
    const ConfBlock c = motor_config("m_zero");
    Space::getSpace()->write(std::string("m_zero_conf"), c, 0, 1.0f);
    auto& agent = start_agent<MotorAgent>("m_zero_conf");
    StdoutCapture out;

    ASSERT_TRUE(wake_with(agent, [&] { put(c.speed_key, vec({20, 20, 20, 20, 20, 20})); }));

    EXPECT_EQ(head.board.positionTargets(), six_zeros);
    EXPECT_EQ(head.board.encoders(), six_zeros);
    EXPECT_EQ(head.board.refSpeeds(), std::vector<double>(6, 20.0));
    EXPECT_EQ(head.board.refAccelerations(), six_thirties);
    EXPECT_TRUE(prints(out, "read:  0 0 0 0 0 0 \n"))
        << out.text_without_link_reports();
}

// A vector of another length than the board's axis count would make the device read past
// its end (or ignore part of it): it never reaches the board, with one line per vector.
TEST(MotorAgent, VectorsOfTheWrongLengthNeverReachTheBoard)
{
    ServedBoard<> head("/m_len/head", 6);
    ASSERT_TRUE(head.served);
    const ConfBlock c = motor_config("m_len");
    Space::getSpace()->write(std::string("m_len_conf"), c, 0, 1.0f);
    auto& agent = start_agent<MotorAgent>("m_len_conf");
    StdoutCapture out;

    ASSERT_TRUE(wake_with(agent, [&] { put(c.joints_key, vec({1, 2, 3, 4})); }));
    EXPECT_EQ(head.board.calls("positionMove"), 0);
    EXPECT_EQ(out.count("read:"), 0);
    EXPECT_EQ(out.count("MotorAgent: refused 4 values under m_len_joints, the board has 6 axes\n"), 1);

    // Woken again by a good speed vector: the same short targets are refused silently.
    ASSERT_TRUE(wake_with(agent, [&] { put(c.speed_key, vec({7, 7, 7, 7, 7, 7})); }));
    EXPECT_EQ(head.board.refSpeeds(), std::vector<double>(6, 7.0));
    EXPECT_EQ(out.count("refused"), 1);

    // A new offending write is reported again; a long acceleration vector too, and the
    // board keeps its previous references.
    ASSERT_TRUE(wake_with(agent, [&] { put(c.joints_key, vec({1, 2, 3, 4, 5, 6, 7})); }));
    ASSERT_TRUE(wake_with(agent, [&] { put(c.acc_key, vec({1, 1})); }));
    EXPECT_EQ(out.count("MotorAgent: refused 7 values under m_len_joints"), 1);
    EXPECT_EQ(out.count("MotorAgent: refused 2 values under m_len_acc"), 1);
    EXPECT_EQ(head.board.refAccelerations(), six_thirties);
    EXPECT_EQ(head.board.calls("positionMove"), 0);

    ASSERT_TRUE(wake_with(agent, [&] { put(c.joints_key, vec({1, 2, 3, 4, 5, 6})); }));
    ASSERT_TRUE(wake_with(agent, [&] { put(c.acc_key, vec({2, 2, 2, 2, 2, 2})); }));
    EXPECT_EQ(head.board.refAccelerations(), std::vector<double>(6, 2.0));
    EXPECT_EQ(head.board.positionTargets(), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(VelocityMotorAgent, VectorsOfTheWrongLengthStopTheJoints)
{
    ServedBoard<> head("/v_len/head", 6);
    ASSERT_TRUE(head.served);
    const VelocityBlock c = velocity_config("v_len");
    Space::getSpace()->write(std::string("v_len_conf"), c, 0, 1.0f);
    auto& agent = start_agent<VelocityMotorAgent>("v_len_conf");
    StdoutCapture out;

    ASSERT_TRUE(wake_with(agent, [&] { put(c.velocity_key, vec({1, 1, 1, 1, 1, 1})); }));
    EXPECT_TRUE(velocities_reach(head.board, std::vector<double>(6, 1.0)));

    ASSERT_TRUE(wake_with(agent, [&] { put(c.velocity_key, vec({5, 5, 5})); }));
    EXPECT_TRUE(velocities_reach(head.board, six_zeros));
    EXPECT_TRUE(prints(out, "read:  1 1 1 1 1 1 \n"
                          "VelocityMotorAgent: refused 3 values under v_len_vel, the board has 6 axes\n"
                          "read:  0 0 0 0 0 0 \n"))
        << out.text_without_link_reports();
}

// The board ignores (and reports success for) commands to joints in the wrong mode. The
// agents switch exactly the joints that need it, so the commands take effect, and an
// unchanged mode costs no switch.
TEST(MotorAgents, CommandsPutTheJointsInTheirModeFirst)
{
    ServedBoard<> head("/mode/head", 6);
    ASSERT_TRUE(head.served);
    const DrivingAgents agents = start_driving_agents("mode");
    const ConfBlock& pc = agents.pc;
    const VelocityBlock& vc = agents.vc;
    auto& motor = agents.motor;
    auto& velocity = agents.velocity;

    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({1, 2, 3, 4, 5, 6})); }));
    EXPECT_TRUE(velocities_reach(head.board, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(head.board.controlModes(), std::vector<int>(6, VOCAB_CM_VELOCITY));
    const int switches = head.board.calls("setControlMode");

    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({0, 0, 1, 0, 0, 0})); }));
    EXPECT_TRUE(velocities_reach(head.board, {0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(head.board.calls("setControlMode"), switches);

    // Two joints were put back in position by someone else: only they are switched. A
    // reading that contradicts the agents' own switch of moments ago is believed once that
    // switch is half a second old, so the commands are repeated until they take effect.
    head.board.setControlMode(0, VOCAB_CM_POSITION);
    head.board.setControlMode(4, VOCAB_CM_POSITION);
    ASSERT_TRUE(clients_see_modes("/mode/head", head.board.controlModes()));
    const int before = head.board.calls("setControlMode");
    EXPECT_TRUE(poll_until([&] {
        return wake_with(velocity, [&] { put(vc.velocity_key, vec({2, 2, 2, 2, 2, 2})); })
            && velocities_reach(head.board, std::vector<double>(6, 2.0),
                                std::chrono::milliseconds(100));
    }));
    EXPECT_EQ(head.board.calls("setControlMode"), before + 2);

    // The position agent takes the joints back, and its move reaches the board.
    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({10, 0, -10, 5, 0, 3})); }));
    EXPECT_EQ(head.board.controlModes(), std::vector<int>(6, VOCAB_CM_POSITION));
    EXPECT_EQ(head.board.positionTargets(), (std::vector<double>{10, 0, -10, 5, 0, 3}));
    EXPECT_EQ(head.board.encoders(), (std::vector<double>{10, 0, -10, 5, 0, 3}));
}

// Readings that lag the switches: an agent neither repeats its own switch nor skips one that
// another agent's switch, not shown yet, makes necessary.
TEST(MotorAgents, LateModeReadingsNeitherRepeatNorSkipSwitches)
{
    ServedBoard<LateModesBoard> head("/late/head", 6);
    ASSERT_TRUE(head.served);
    const DrivingAgents agents = start_driving_agents("late");
    const ConfBlock& pc = agents.pc;
    const VelocityBlock& vc = agents.vc;
    auto& motor = agents.motor;
    auto& velocity = agents.velocity;

    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({1, 2, 3, 4, 5, 6})); }));
    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({0, 0, 1, 0, 0, 0})); }));
    EXPECT_TRUE(velocities_reach(head.board, {0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(head.board.calls("setControlMode"), 6);

    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({10, 0, -10, 5, 0, 3})); }));
    EXPECT_EQ(head.board.controlModes(), std::vector<int>(6, VOCAB_CM_POSITION));
    EXPECT_EQ(head.board.encoders(), (std::vector<double>{10, 0, -10, 5, 0, 3}));
}

// The velocity agent sends the vector in force whenever its key is written, also when the
// write was refused for its lower priority; when nothing valid is in force, it sends zeros.
TEST(VelocityMotorAgent, SendsTheVectorInForce)
{
    ServedBoard<> head("/v_force/head", 6);
    ASSERT_TRUE(head.served);
    const VelocityBlock c = velocity_config("v_force");
    Space::getSpace()->write(std::string("v_force_conf"), c, 0, 1.0f);
    auto& agent = start_agent<VelocityMotorAgent>("v_force_conf");
    StdoutCapture out;

    ASSERT_TRUE(wake_with(agent, [&] { put(c.velocity_key, vec({4, 0, 0, 0, 0, -4}), 60000, 100.0f); }));
    // Refused for its lower priority, yet it wakes the agent.
    ASSERT_TRUE(wake_with(agent, [&] { put(c.velocity_key, vec({9, 9, 9, 9, 9, 9}), 1000, 1.0f); }));

    EXPECT_TRUE(poll_until([&] { return head.board.calls("velocityMove") == 2; }));
    EXPECT_TRUE(velocities_reach(head.board, {4, 0, 0, 0, 0, -4}));
    EXPECT_TRUE(prints(out, "read:  4 0 0 0 0 -4 \n"
                          "read:  4 0 0 0 0 -4 \n"))
        << out.text_without_link_reports();
}

TEST(VelocityMotorAgent, LapsedCommandStopsTheJointsWhenTheExpiryScanRuns)
{
    ServedBoard<> head("/v_lapse/head", 6);
    ASSERT_TRUE(head.served);
    const VelocityBlock c = velocity_config("v_lapse");
    Space::getSpace()->write(std::string("v_lapse_conf"), c, 0, 1.0f);
    auto& agent = start_agent<VelocityMotorAgent>("v_lapse_conf");
    Space::getSpace()->start(nullptr);   // the expiry scan (once for the whole suite)

    ASSERT_TRUE(wake_with(agent, [&] { put(c.velocity_key, vec({3, 3, 3, 3, 3, 3}), 1000, 100.0f); }));
    EXPECT_TRUE(velocities_reach(head.board, std::vector<double>(6, 3.0)));

    // The lapse wakes the agent, which finds no valid vector and commands zero velocity.
    EXPECT_TRUE(velocities_reach(head.board, six_zeros));
}

TEST(PositionAgent, PublishesEveryAxisEveryPeriod)
{
    ServedBoard<> head("/p_pub/head", 6);
    ASSERT_TRUE(head.served);
    head.board.setEncoders({1.5, -2, 3, 0, 0.25, 6});
    const PositionBlock c = position_config("p_pub", 20);
    Space::getSpace()->write(std::string("p_pub_conf"), c, 0, 1.0f);
    auto& agent = start_agent<PositionAgent>("p_pub_conf");

    // (A YARP client has no encoder values until the board's first state message.)
    EXPECT_TRUE(poll_until([&] {
        return plain(Space::getSpace()->read(c.encoder_key, yarp::sig::Vector()))
            == std::vector<double>{1.5, -2, 3, 0, 0.25, 6};
    }));

    head.board.setEncoders({0, 0, 0, 0, 0, 9});
    ASSERT_TRUE(poll_until([&] {
        return plain(Space::getSpace()->read(c.encoder_key, yarp::sig::Vector()))
            == std::vector<double>{0, 0, 0, 0, 0, 9};
    }));
    const int n = agent.activations();
    ASSERT_TRUE(agent.wait_activations(n + 2));
    EXPECT_EQ(Space::getSpace()->read(c.encoder_key, yarp::sig::Vector()).size(), 6u);
}

TEST(PositionAgent, PublishesNothingUntilTheBoardHasEncoderValues)
{
    ServedBoard<LateEncoderBoard> head("/p_late/head", 4);
    ASSERT_TRUE(head.served);
    const PositionBlock c = position_config("p_late", 20);
    Space::getSpace()->write(std::string("p_late_conf"), c, 0, 1.0f);
    auto& agent = start_agent<PositionAgent>("p_late_conf");

    ASSERT_TRUE(agent.wait_activations(3));
    const yarp::sig::Vector none = vec({-1});
    EXPECT_EQ(plain(Space::getSpace()->read(c.encoder_key, none)), plain(none));

    head.board.setEncoders({1, 2, 3, 4});
    head.board.ready = true;
    ASSERT_TRUE(poll_until([&] {
        return plain(Space::getSpace()->read(c.encoder_key, none)) == std::vector<double>{1, 2, 3, 4};
    }));
}

// With no board served, each motor agent says so once and commands nothing; once the board
// is served it binds it within a second or two and its keys drive the board, with one line
// for the change. Retries in between print nothing.
TEST(MotorAgents, AbsentBoardIsBoundOnceServed)
{
    const ConfBlock pc = motor_config("absent");
    const VelocityBlock vc = velocity_config("absent");
    const PositionBlock ec = position_config("absent", 20);
    Space::getSpace()->write(std::string("absent_conf"), pc, 0, 1.0f);
    Space::getSpace()->write(std::string("absent_vconf"), vc, 0, 1.0f);
    Space::getSpace()->write(std::string("absent_pconf"), ec, 0, 1.0f);
    StdoutCapture out;
    auto& motor = start_agent<MotorAgent>("absent_conf");
    auto& velocity = start_agent<VelocityMotorAgent>("absent_vconf");
    start_agent<PositionAgent>("absent_pconf");
    EXPECT_EQ(out.count("MotorAgent absent_conf: no board at /absent/head, "
                        "trying again every second\n"), 1);
    EXPECT_EQ(out.count("VelocityMotorAgent absent_vconf: no board at /absent/head"), 1);
    EXPECT_EQ(out.count("PositionAgent absent_pconf: no board at /absent/head"), 1);
    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({1, 1, 1, 1, 1, 1})); }));
    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({1, 1, 1, 1, 1, 1})); }));
    EXPECT_EQ(out.count("read:"), 0);

    ServedBoard<> head("/absent/head", 6);
    ASSERT_TRUE(head.served);
    EXPECT_TRUE(poll_until([&] {
        put(pc.joints_key, vec({2, 2, 2, 2, 2, 2}));
        return head.board.positionTargets() == std::vector<double>(6, 2.0);
    }));
    EXPECT_TRUE(poll_until([&] {
        put(vc.velocity_key, vec({3, 3, 3, 3, 3, 3}));
        return head.board.velocities() == std::vector<double>(6, 3.0);
    }));
    EXPECT_TRUE(poll_until([&] {
        return Space::getSpace()->read(ec.encoder_key, vec({-1})).size() == 6u;
    }));
    EXPECT_EQ(out.count("absent_conf: no board"), 1);   // still one line each
    EXPECT_EQ(out.count("absent_vconf: no board"), 1);
    EXPECT_EQ(out.count("absent_pconf: no board"), 1);
    EXPECT_EQ(out.count("MotorAgent absent_conf: bound the board at /absent/head (6 axes)\n"), 1);
    EXPECT_EQ(out.count("VelocityMotorAgent absent_vconf: bound the board"), 1);
    EXPECT_EQ(out.count("PositionAgent absent_pconf: bound the board"), 1);
}

// A board that goes away is reported lost once; when it is served again (a restarted
// simulator: a new board, joints back in position mode) the agents bind it and drive it.
TEST(MotorAgents, LostBoardIsBoundAgainWhenServedAgain)
{
    auto head = std::make_unique<ServedBoard<>>("/again/head", 6);
    ASSERT_TRUE(head->served);
    const ConfBlock pc = motor_config("again");
    const VelocityBlock vc = velocity_config("again");
    const PositionBlock ec = position_config("again", 20);
    Space::getSpace()->write(std::string("again_conf"), pc, 0, 1.0f);
    Space::getSpace()->write(std::string("again_vconf"), vc, 0, 1.0f);
    Space::getSpace()->write(std::string("again_pconf"), ec, 0, 1.0f);
    StdoutCapture out;
    auto& motor = start_agent<MotorAgent>("again_conf");
    auto& velocity = start_agent<VelocityMotorAgent>("again_vconf");
    start_agent<PositionAgent>("again_pconf");
    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({1, 1, 1, 1, 1, 1})); }));
    ASSERT_TRUE(velocities_reach(head->board, std::vector<double>(6, 1.0)));

    head.reset();
    EXPECT_TRUE(poll_until([&] { return out.count("lost the board at /again/head") == 3; }));
    // Every later agent of this suite drives a board of its own; earlier ones may report
    // theirs lost meanwhile, so lines are told apart by the board's name.

    head = std::make_unique<ServedBoard<>>("/again/head", 6);
    ASSERT_TRUE(head->served);
    EXPECT_TRUE(poll_until([&] {
        put(vc.velocity_key, vec({4, 4, 4, 4, 4, 4}));
        return head->board.velocities() == std::vector<double>(6, 4.0);
    }));
    EXPECT_EQ(head->board.controlModes(), std::vector<int>(6, VOCAB_CM_VELOCITY));
    EXPECT_TRUE(poll_until([&] {
        put(pc.joints_key, vec({5, 5, 5, 5, 5, 5}));
        return head->board.positionTargets() == std::vector<double>(6, 5.0);
    }));
    EXPECT_TRUE(poll_until([&] { return out.count("bound the board at /again/head") == 3; }));
    EXPECT_EQ(out.count("lost the board at /again/head"), 3);
    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({6, 6, 6, 6, 6, 6})); }));
}

/// A position agent of the program on the board "/<tag>/head", started from "<tag>_conf".
struct LoneMotorAgent {
    ConfBlock pc;
    Observed<MotorAgent>& motor;
};

LoneMotorAgent start_motor_agent(const std::string& tag)
{
    const ConfBlock pc = motor_config(tag);
    Space::getSpace()->write(tag + "_conf", pc, 0, 1.0f);
    return {pc, start_agent<MotorAgent>(tag + "_conf")};
}

/// A board whose position moves wait while it is frozen, like a frozen simulator: the
/// request arrives and no answer comes until it is thawed.
class FreezingBoard : public FakeBoard {
public:
    using FakeBoard::FakeBoard;
    bool positionMove(const double* refs) override
    {
        {
            std::unique_lock<std::mutex> lock(freeze_mutex);
            thawed.wait(lock, [this] { return !frozen; });
        }
        return FakeBoard::positionMove(refs);
    }
    void freeze(bool on)
    {
        {
            std::lock_guard<std::mutex> lock(freeze_mutex);
            frozen = on;
        }
        thawed.notify_all();
    }

private:
    std::mutex freeze_mutex;
    std::condition_variable thawed;
    bool frozen = false;
};

// A board that stops answering holds an agent no longer than the bound on one call: the
// agent's activation ends, the board is reported lost and bound again once it answers, and
// a release beside the frozen board ends.
TEST(MotorAgents, FrozenBoardHoldsTheAgentNoLongerThanTheBound)
{
    ServedBoard<FreezingBoard> head("/frozen/head", 6);
    ASSERT_TRUE(head.served);
    StdoutCapture out;
    const LoneMotorAgent agent = start_motor_agent("frozen");
    const ConfBlock& pc = agent.pc;
    auto& motor = agent.motor;
    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({1, 1, 1, 1, 1, 1})); }));

    head.board.freeze(true);
    const int before = motor.activations();
    put(pc.joints_key, vec({2, 2, 2, 2, 2, 2}));
    EXPECT_TRUE(motor.wait_activations(before + 1, std::chrono::seconds(30)));
    EXPECT_TRUE(poll_until([&] {
        return out.count("MotorAgent frozen_conf: no answer within 2 s from the board at "
                         "/frozen/head, trying again every second\n") == 1;
    }));

    head.board.freeze(false);
    EXPECT_TRUE(poll_until([&] {
        put(pc.joints_key, vec({3, 3, 3, 3, 3, 3}));
        return head.board.positionTargets() == std::vector<double>(6, 3.0);
    }));
    EXPECT_EQ(out.count("MotorAgent frozen_conf: bound the board at /frozen/head"), 1);

    head.board.freeze(true);
    const int again = motor.activations();
    put(pc.joints_key, vec({4, 4, 4, 4, 4, 4}));
    EXPECT_TRUE(motor.wait_activations(again + 1, std::chrono::seconds(30)));
    // The release returns either way; it gives the agent up only while the call is still in
    // the board (a bundled client gives up on its own request at about the same bound).
    const int released = release_robot_agents({&motor});
    EXPECT_EQ(released == 0, out.count("MotorAgent: busy in a call to the robot, left as it is") == 1);
    // Once thawed, the call left in the board returns, and a release then goes through and
    // closes the client. The board goes only then: a wrapper detached under a request in
    // flight may crash.
    head.board.freeze(false);
    EXPECT_TRUE(poll_until([&] { return release_robot_agents({&motor}) == 1; }));
    EXPECT_TRUE(poll_until([&] {
        return !yarp::os::NetworkBase::exists(pc.local_port + "/rpc:o", true);
    }));
}

/// A board that takes a second and a half to give its axis count, as a loaded machine may:
/// opening a client on it takes longer than the bound on a call.
class SlowToOpenBoard : public FakeBoard {
public:
    using FakeBoard::FakeBoard;
    bool getAxes(int* ax) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));   // the slow board itself
        return FakeBoard::getAxes(ax);
    }
};

// An open that outlasts the bound is kept once it ends: were it dropped, every open of a
// board this slow would be, and the board would never be bound.
TEST(MotorAgents, BoardSlowerToOpenThanTheBoundIsBound)
{
    ServedBoard<SlowToOpenBoard> head("/slow/head", 6);
    ASSERT_TRUE(head.served);
    StdoutCapture out;
    const LoneMotorAgent agent = start_motor_agent("slow");
    const ConfBlock& pc = agent.pc;
    auto& motor = agent.motor;
    EXPECT_TRUE(poll_until([&] {
        return out.count("MotorAgent slow_conf: bound the board at /slow/head (6 axes)") == 1;
    }));
    EXPECT_TRUE(poll_until([&] {
        put(pc.joints_key, vec({7, 7, 7, 7, 7, 7}));
        return head.board.positionTargets() == std::vector<double>(6, 7.0);
    }));
    release_robot_agents({&motor});   // nothing in flight when the board goes
}

TEST(MotorAgents, BoardWithoutAxesIsNeverCommanded)
{
    ServedBoard<AxesGoneBoard> head("/noaxes/head", 6);
    ASSERT_TRUE(head.served);
    head.board.gone = true;
    const ConfBlock pc = motor_config("noaxes");
    Space::getSpace()->write(std::string("noaxes_conf"), pc, 0, 1.0f);
    StdoutCapture out;
    auto& motor = start_agent<MotorAgent>("noaxes_conf");
    EXPECT_EQ(out.count("MotorAgent noaxes_conf: no axis count from the board at /noaxes/head, "
                        "trying again every second\n"), 1);
    ASSERT_TRUE(wake_with(motor, [&] { put(pc.speed_key, yarp::sig::Vector()); }));
    EXPECT_EQ(head.board.calls("setRefSpeeds"), 0);
    // Two more attempts at binding it, still the one line: nothing but waiting can show it.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    EXPECT_EQ(out.count("noaxes_conf: no axis count"), 1);
    EXPECT_EQ(out.count("noaxes_conf: bound"), 0);
}

// Quitting: every joint the agents drove is stopped, then each joint goes back to the mode
// it had when the program bound the board, whichever agent switched it since.
TEST(MotorAgents, ReleaseStopsTheJointsAndRestoresTheModesFound)
{
    ServedBoard<> head("/release/head", 6);
    ASSERT_TRUE(head.served);
    head.board.setControlMode(5, VOCAB_CM_VELOCITY);   // found in velocity mode
    const ConfBlock pc = motor_config("release");
    const VelocityBlock vc = velocity_config("release");
    Space::getSpace()->write(std::string("release_conf"), pc, 0, 1.0f);
    Space::getSpace()->write(std::string("release_vconf"), vc, 0, 1.0f);
    auto& motor = start_agent<MotorAgent>("release_conf");
    auto& velocity = start_agent<VelocityMotorAgent>("release_vconf");

    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({1, 1, 1, 1, 1, 1})); }));
    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({2, 2, 2, 2, 2, 2})); }));
    ASSERT_EQ(head.board.controlModes(), std::vector<int>(6, VOCAB_CM_VELOCITY));

    EXPECT_EQ(release_robot_agents({&motor, &velocity}), 2);
    EXPECT_TRUE(velocities_reach(head.board, six_zeros));
    std::vector<int> found(6, VOCAB_CM_POSITION);
    found[5] = VOCAB_CM_VELOCITY;
    EXPECT_EQ(head.board.controlModes(), found);

    // Released agents command nothing more.
    const int moves = head.board.calls("positionMove") + head.board.calls("velocityMove");
    ASSERT_TRUE(wake_with(motor, [&] { put(pc.joints_key, vec({3, 3, 3, 3, 3, 3})); }));
    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({3, 3, 3, 3, 3, 3})); }));
    EXPECT_EQ(head.board.calls("positionMove") + head.board.calls("velocityMove"), moves);
}

// Race window: the release runs on the test thread while another thread keeps writing
// velocity commands that wake the agent on its own thread. The agent's lock keeps the two
// apart (ThreadSanitizer checks the device calls); after the release no command reaches the
// board, so the joints stay stopped.
TEST(MotorAgents, ReleaseWhileCommandsKeepComing)
{
    ServedBoard<> head("/busy/head", 6);
    ASSERT_TRUE(head.served);
    const VelocityBlock vc = velocity_config("busy");
    Space::getSpace()->write(std::string("busy_vconf"), vc, 0, 1.0f);
    auto& velocity = start_agent<VelocityMotorAgent>("busy_vconf");
    ASSERT_TRUE(wake_with(velocity, [&] { put(vc.velocity_key, vec({1, 1, 1, 1, 1, 1})); }));

    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (double v = 2; writing.load(); v += 1) put(vc.velocity_key, vec({v, v, v, v, v, v}));
    });
    ASSERT_TRUE(velocity.wait_activations(velocity.activations() + 5));
    EXPECT_EQ(release_robot_agents({&velocity}), 1);
    const int moves = head.board.calls("velocityMove");
    ASSERT_TRUE(velocity.wait_activations(velocity.activations() + 5));
    writing = false;
    writer.join();
    EXPECT_EQ(head.board.calls("velocityMove"), moves);
    EXPECT_EQ(head.board.velocities(), six_zeros);
    EXPECT_EQ(head.board.controlModes(), std::vector<int>(6, VOCAB_CM_POSITION));
}


// A robot that leaves an agent in its call through the first step does not answer: the
// second step (modes put back, ports closed) would wait on it for good on an installed YARP,
// so no agent takes it, and the program learns that not every agent was released.
struct ScriptedReleaser : Agent, RobotReleaser {
    explicit ScriptedReleaser(bool stops) : Agent("scripted_releaser"), stops(stops) {}
    void init(std::string) override {}
    void sense_select_act(int) override {}
    bool release_stop(std::chrono::milliseconds) override { return stops; }
    bool release_restore(std::chrono::milliseconds) override { ++restores; return true; }
    bool stops;
    int restores = 0;
};

TEST(MotorAgents, ReleaseAsksNothingMoreOfARobotThatDoesNotAnswer)
{
    ScriptedReleaser answering(true), stuck(false);
    EXPECT_EQ(robot_releasers({&answering, &stuck}), 2);
    EXPECT_EQ(release_robot_agents({&answering, &stuck}), 0);
    EXPECT_EQ(answering.restores + stuck.restores, 0);
}
