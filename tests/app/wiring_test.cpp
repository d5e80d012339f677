// The configuration table: every block the agents and windows rely on is in the Space,
// under its key, with its fields, once the wiring function returns.
#include <gtest/gtest.h>

#include "app/wiring.h"

namespace {

template <class T>
T stored(Space& space, const char* key) {
    T missing;
    missing.name = "<missing>";
    return space.read<T>(key, missing);
}

void expect_motor(Space& space, const char* key, const char* name, const char* prefix,
                  const char* local, const char* remote) {
    SCOPED_TRACE(key);
    const ConfBlock b = stored<ConfBlock>(space, key);
    EXPECT_EQ(b.name, name);
    EXPECT_EQ(b.joints_key, std::string(prefix) + "_joints");
    EXPECT_EQ(b.speed_key, std::string(prefix) + "_speed");
    EXPECT_EQ(b.acc_key, std::string(prefix) + "_acc");
    EXPECT_EQ(b.device, "remote_controlboard");
    EXPECT_EQ(b.local_port, local);
    EXPECT_EQ(b.remote_port, remote);
}

void expect_velocity(Space& space, const char* key, const char* name, const char* vel,
                     const char* enc, const char* local, const char* remote) {
    SCOPED_TRACE(key);
    const VelocityBlock b = stored<VelocityBlock>(space, key);
    EXPECT_EQ(b.name, name);
    EXPECT_EQ(b.velocity_key, vel);
    EXPECT_EQ(b.encoder_key, enc);
    EXPECT_EQ(b.device, "remote_controlboard");
    EXPECT_EQ(b.local_port, local);
    EXPECT_EQ(b.remote_port, remote);
}

void expect_sensor(Space& space, const char* key, const char* name, const char* local,
                   const char* remote, const char* data, const char* command, int period) {
    SCOPED_TRACE(key);
    const SensorBlock b = stored<SensorBlock>(space, key);
    EXPECT_EQ(b.name, name);
    EXPECT_EQ(b.local_port, local);
    EXPECT_EQ(b.remote_port, remote);
    EXPECT_EQ(b.data_key, data);
    EXPECT_EQ(b.command, command);
    EXPECT_EQ(b.delay_ms, 1000);
    EXPECT_EQ(b.period_ms, period);
}

void expect_behaviour(Space& space, const char* key, const char* name, const char* in,
                      const char* out, const char* aux, int delay, int period) {
    SCOPED_TRACE(key);
    const AgentBlock b = stored<AgentBlock>(space, key);
    EXPECT_EQ(b.name, name);
    EXPECT_EQ(b.input_key, in);
    EXPECT_EQ(b.output_key, out);
    EXPECT_EQ(b.aux_key, aux);
    EXPECT_EQ(b.delay_ms, delay);
    EXPECT_EQ(b.period_ms, period);
}

TEST(WiringTest, FullConfigurationPutsEveryBlockInTheSpace) {
    Space space;
    const FullConfiguration config = write_full_configuration(space);

    expect_motor(space, "hConfig", "MotorAgent Head", "head", "/test/clientH", "/icubSim/head");
    expect_velocity(space, "hvConfig", "MotorAgent Head", "head_vel", "head_enc",
                    "/test/clientHV", "/icubSim/head");
    expect_motor(space, "laConfig", "MotorAgent LArm", "la", "/test/clientLA",
                 "/icubSim/left_arm");
    expect_velocity(space, "lavConfig", "MotorAgent left arm", "larm_vel", "larm_enc",
                    "/test/clientLAV", "/icubSim/left_arm");
    expect_motor(space, "raConfig", "MotorAgent RArm", "ra", "/test/clientRA",
                 "/icubSim/right_arm");
    expect_sensor(space, "leConfig", "HeadAgent", "/left/image/in", "/icubSim/cam/left",
                  "leftImage", "", 100);
    expect_sensor(space, "lhandpos", "HeadAgent", "/lhand/pos", "/icubSim/world", "lhand_pos",
                  "world get lhand", 500);
    expect_sensor(space, "inertialCfg", "InertialAgent", "/inertial", "/icubSim/inertial",
                  "inertial", "", 500);
    expect_sensor(space, "touch", "TouchAgent", "/skin/left_touch", "/icubSim/skin/left_hand",
                  "left_touch", "", 500);
    {
        SCOPED_TRACE("hPosConfig");
        const PositionBlock b = stored<PositionBlock>(space, "hPosConfig");
        EXPECT_EQ(b.name, "MotorAgent left arm");
        EXPECT_EQ(b.encoder_key, "head_enc");
        EXPECT_EQ(b.device, "remote_controlboard");
        EXPECT_EQ(b.local_port, "/test/clientHeadP");
        EXPECT_EQ(b.remote_port, "/icubSim/head");
        EXPECT_EQ(b.delay_ms, 100);
        EXPECT_EQ(b.period_ms, 500);
    }
    expect_behaviour(space, "bPConfig", "Find ball", "leftImage", "ballPos", "", 0, 0);
    expect_behaviour(space, "lookConfig", "Look At", "ballPos", "head_vel", "head_enc", 0, 0);
    expect_behaviour(space, "restConfig", "Look At", "ballPos", "head_vel", "head_enc", 1500,
                     10500);
    expect_behaviour(space, "search", "search", "head_enc", "head_vel", "", 1000, 1200);
    expect_behaviour(space, "search2", "search2", "head_enc", "head_vel", "", 1000, 2000);

    // The windows take their keys from the returned blocks.
    EXPECT_EQ(config.head.joints_key, "head_joints");
    EXPECT_EQ(config.head_velocity.velocity_key, "head_vel");
    EXPECT_EQ(config.left_arm_velocity.velocity_key, "larm_vel");
    EXPECT_EQ(config.right_arm.joints_key, "ra_joints");

    // Written with priority 1.0 and no lapse: an ordinary-priority rewrite replaces a block,
    // a lower one does not.
    AgentBlock other;
    other.name = "other";
    space.write(std::string("search"), other, 0, 0.5f);
    EXPECT_EQ(stored<AgentBlock>(space, "search").name, "search");
    space.write(std::string("search"), other, 0, 1.0f);
    EXPECT_EQ(stored<AgentBlock>(space, "search").name, "other");
}

TEST(WiringTest, BasicConfigurationWritesTheHeadBlockOnly) {
    Space space;
    const ConfBlock head = write_basic_configuration(space);
    EXPECT_EQ(head.joints_key, "head_joints");
    expect_motor(space, "hConfig", "MotorAgent Head", "head", "/test/clientH", "/icubSim/head");
    EXPECT_EQ(stored<VelocityBlock>(space, "hvConfig").name, "<missing>");
    EXPECT_EQ(stored<AgentBlock>(space, "lookConfig").name, "<missing>");
}

}  // namespace
