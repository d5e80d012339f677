// The robot interface agents against the simulator stand-in robot_sim, started as its own
// process: idle motor agents when it is not running, and each agent doing its job once it is.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <thread>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

#include "agents/robot/motor_agents.h"
#include "agents/robot/sensor_agents.h"
#include "robot_test_support.h"
#include "support/board_client.h"
#include "support/child_process.h"

using namespace robot_test;

namespace {

/// robot_sim running quietly (its output discarded) until destroyed.
class Simulator {
public:
    ~Simulator() { process.stop(SIGTERM); }
    /// Waits until the head board and the world interface are served.
    bool ready()
    {
        return process.started() && poll_until([] {
                   return yarp::os::NetworkBase::exists("/icubSim/head/rpc:i")
                       && yarp::os::NetworkBase::exists("/icubSim/world")
                       && yarp::os::NetworkBase::exists("/icubSim/cam/left");
               });
    }

private:
    ac_test::ChildProcess process{{ROBOT_SIM_PATH, "--quiet", "--fps", "20"}, ac_test::ChildProcess::Output::discarded};
};

template <class Block>
void configure(const std::string& key, const Block& block)
{
    Space::getSpace()->write(key, block, 0, 1.0f);
}

/// The simulator's head board, which the motor agents of these cases drive.
const std::string kHead = "/icubSim/head";

/// Whether the published encoders are within `tolerance` of `pose` on every axis.
bool near(const yarp::sig::Vector& encoders, const std::vector<double>& pose, double tolerance)
{
    if (encoders.size() != pose.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pose.size(); ++i) {
        if (std::fabs(encoders[i] - pose[i]) > tolerance) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Agents set up while the simulator is not running bind it once it has started, and on
// release leave the head still, its joints back in the modes they started in.
TEST(RobotSim, SimulatorStartedLaterIsDrivenAndLeftStillOnRelease)
{
    configure("late_conf", motor_config("late", kHead));
    configure("late_vconf", velocity_config("late", kHead));
    configure("late_pconf", position_config("late", 20, kHead));
    StdoutCapture out;
    auto& motor = start_agent<MotorAgent>("late_conf");
    auto& velocity = start_agent<VelocityMotorAgent>("late_vconf");
    start_agent<PositionAgent>("late_pconf");
    EXPECT_EQ(out.count("no board at /icubSim/head, trying again every second"), 3);

    Simulator sim;
    ASSERT_TRUE(sim.ready());
    const auto encoders = [] { return Space::getSpace()->read("late_enc", yarp::sig::Vector()); };
    ASSERT_TRUE(poll_until([&] { return encoders().size() == 6; }));
    const double start_yaw = encoders()[2];
    ASSERT_TRUE(poll_until([&] {
        put("late_vel", vec({0, 0, 10, 0, 0, 0}));
        return encoders()[2] > start_yaw + 3;
    }));

    EXPECT_EQ(release_robot_agents({&motor, &velocity}), 2);
    // The joints no longer move: two readings a second apart agree.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));   // last readings settle
    const yarp::sig::Vector before = encoders();
    std::this_thread::sleep_for(std::chrono::seconds(1));   // a stretch of time is the check
    EXPECT_TRUE(near(encoders(), std::vector<double>(before.begin(), before.end()), 0.2));

    yarp::dev::PolyDriver client;
    yarp::os::Property options = ac_test::remote_board_options(kHead, "/late/check");
    ASSERT_TRUE(client.open(options));
    yarp::dev::IControlMode* modes = nullptr;
    ASSERT_TRUE(client.view(modes));
    std::vector<int> now(6, 0);
    // An installed YARP's client answers from the board's state stream, which needs a moment
    // after open to deliver its first message.
    ASSERT_TRUE(poll_until([&] { return modes->getControlModes(now.data()); }));
    EXPECT_EQ(now, std::vector<int>(6, VOCAB_CM_POSITION));
    client.close();
}

// With the simulator running: the encoder agent publishes six joints, a position write
// moves the head there, a velocity write turns it (the joints switched to velocity mode),
// and a later position write takes them back; the camera delivers images and the world
// answers the hand request.
TEST(RobotSim, AgentsDriveTheStandIn)
{
    Simulator sim;
    ASSERT_TRUE(sim.ready());
    configure("sim_conf", motor_config("sim", kHead));
    configure("sim_vconf", velocity_config("sim", kHead));
    configure("sim_pconf", position_config("sim", 50, kHead));
    SensorBlock camera{"HeadAgent", "/sim/left/image/in", "/icubSim/cam/left", "sim_leftImage",
                       "", 0, 100};
    SensorBlock hand{"HeadAgent", "/sim/lhand/pos", "/icubSim/world", "sim_lhand_pos",
                     "world get lhand", 0, 100};
    configure("sim_leConfig", camera);
    configure("sim_handConfig", hand);
    StdoutCapture out;
    auto& motor = start_agent<MotorAgent>("sim_conf");
    auto& velocity = start_agent<VelocityMotorAgent>("sim_vconf");
    start_agent<PositionAgent>("sim_pconf");
    start_agent<CamSensorAgent>("sim_leConfig");
    start_agent<HandPosSensorAgent>("sim_handConfig");
    const auto encoders = [] { return Space::getSpace()->read("sim_enc", yarp::sig::Vector()); };

    ASSERT_TRUE(poll_until([&] { return encoders().size() == 6; }));

    const std::vector<double> pose{-10, 0, 15, 5, 0, 0};
    ASSERT_TRUE(wake_with(motor, [&] { put("sim_speed", vec({60, 60, 60, 60, 60, 60})); }));
    ASSERT_TRUE(wake_with(motor, [&] { put("sim_joints", vec({-10, 0, 15, 5, 0, 0})); }));
    ASSERT_TRUE(poll_until([&] { return near(encoders(), pose, 0.5); }));

    ASSERT_TRUE(wake_with(velocity, [&] { put("sim_vel", vec({0, 0, -10, 0, 0, 0})); }));
    ASSERT_TRUE(poll_until([&] { return encoders().size() == 6 && encoders()[2] < 10; }));
    ASSERT_TRUE(wake_with(velocity, [&] { put("sim_vel", vec({0, 0, 0, 0, 0, 0})); }));

    ASSERT_TRUE(wake_with(motor, [&] { put("sim_joints", vec({-10, 0, 15, 5, 0, 0})); }));
    EXPECT_TRUE(poll_until([&] { return near(encoders(), pose, 0.5); }));

    ASSERT_TRUE(poll_until([] {
        const ImageHandle image = Space::getSpace()->read("sim_leftImage", ImageHandle());
        return image && image->width() == 320 && image->height() == 240;
    }));
    ASSERT_TRUE(poll_until([] {
        return Space::getSpace()->read("sim_lhand_pos", yarp::sig::Vector()).size() == 3;
    }));
    EXPECT_GE(out.count("Position "), 3);
    EXPECT_GE(out.count("read:  -10 0 15 5 0 0 \n"), 2);
}
