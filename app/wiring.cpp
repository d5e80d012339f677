#include "app/wiring.h"

#include <memory>
#include <string>

#include "agents/behaviour/ball_pos_agent.h"
#include "agents/behaviour/gaze_agents.h"
#include "agents/robot/motor_agents.h"
#include "agents/robot/sensor_agents.h"

namespace {

// Every configuration block is written once, before the agents exist, never lapses and has
// the ordinary priority.
template <class BlockType>
void put(Space& space, const char* key, const BlockType& block) {
    const SpaceWriter as("start-up wiring");
    space.write(std::string(key), block, 0, 1.0f);
}

ConfBlock position_motor(const char* name, const char* prefix, const char* local,
                    const char* remote) {
    ConfBlock b;
    b.name = name;
    b.joints_key = std::string(prefix) + "_joints";
    b.speed_key = std::string(prefix) + "_speed";
    b.acc_key = std::string(prefix) + "_acc";
    b.device = "remote_controlboard";
    b.local_port = local;
    b.remote_port = remote;
    return b;
}

SensorBlock sensor(const char* name, const char* local, const char* remote, const char* key,
                   const char* command, int period_ms) {
    SensorBlock b;
    b.name = name;
    b.local_port = local;
    b.remote_port = remote;
    b.data_key = key;
    b.command = command;
    b.delay_ms = 1000;
    b.period_ms = period_ms;
    return b;
}

AgentBlock behaviour(const char* name, const char* input, const char* output, const char* aux,
                     int delay_ms, int period_ms) {
    AgentBlock b;
    b.name = name;
    b.input_key = input;
    b.output_key = output;
    b.aux_key = aux;
    b.delay_ms = delay_ms;
    b.period_ms = period_ms;
    return b;
}

}  // namespace

ConfBlock head_motor_configuration() {
    return position_motor("MotorAgent Head", "head", "/test/clientH", "/icubSim/head");
}

FullConfiguration write_full_configuration(Space& space) {
    FullConfiguration c;

    c.head = head_motor_configuration();
    put(space, "hConfig", c.head);

    c.head_velocity.name = "MotorAgent Head";
    c.head_velocity.velocity_key = "head_vel";
    c.head_velocity.encoder_key = "head_enc";
    c.head_velocity.device = "remote_controlboard";
    c.head_velocity.local_port = "/test/clientHV";
    c.head_velocity.remote_port = "/icubSim/head";
    put(space, "hvConfig", c.head_velocity);

    c.left_arm = position_motor("MotorAgent LArm", "la", "/test/clientLA", "/icubSim/left_arm");
    put(space, "laConfig", c.left_arm);

    c.left_arm_velocity.name = "MotorAgent left arm";
    c.left_arm_velocity.velocity_key = "larm_vel";
    c.left_arm_velocity.encoder_key = "larm_enc";
    c.left_arm_velocity.device = "remote_controlboard";
    c.left_arm_velocity.local_port = "/test/clientLAV";
    c.left_arm_velocity.remote_port = "/icubSim/left_arm";
    put(space, "lavConfig", c.left_arm_velocity);

    c.right_arm = position_motor("MotorAgent RArm", "ra", "/test/clientRA", "/icubSim/right_arm");
    put(space, "raConfig", c.right_arm);

    c.left_camera = sensor("HeadAgent", "/left/image/in", "/icubSim/cam/left", "leftImage", "", 100);
    put(space, "leConfig", c.left_camera);

    c.left_hand_position = sensor("HeadAgent", "/lhand/pos", "/icubSim/world", "lhand_pos",
                                  "world get lhand", 500);
    put(space, "lhandpos", c.left_hand_position);

    c.inertial = sensor("InertialAgent", "/inertial", "/icubSim/inertial", "inertial", "", 500);
    put(space, "inertialCfg", c.inertial);

    c.touch = sensor("TouchAgent", "/skin/left_touch", "/icubSim/skin/left_hand", "left_touch",
                     "", 500);
    put(space, "touch", c.touch);

    // The head's encoder reader; its display name says left arm, only keys and ports count.
    c.head_encoders.name = "MotorAgent left arm";
    c.head_encoders.encoder_key = "head_enc";
    c.head_encoders.device = "remote_controlboard";
    c.head_encoders.local_port = "/test/clientHeadP";
    c.head_encoders.remote_port = "/icubSim/head";
    c.head_encoders.delay_ms = 100;
    c.head_encoders.period_ms = 500;
    put(space, "hPosConfig", c.head_encoders);

    c.ball_finder = behaviour("Find ball", "leftImage", "ballPos", "", 0, 0);
    put(space, "bPConfig", c.ball_finder);

    c.look = behaviour("Look At", "ballPos", "head_vel", "head_enc", 0, 0);
    put(space, "lookConfig", c.look);

    c.rest = behaviour("Look At", "ballPos", "head_vel", "head_enc", 1500, 10500);
    put(space, "restConfig", c.rest);

    c.search = behaviour("search", "head_enc", "head_vel", "", 1000, 1200);
    put(space, "search", c.search);

    c.search2 = behaviour("search2", "head_enc", "head_vel", "", 1000, 2000);
    put(space, "search2", c.search2);

    return c;
}

ConfBlock write_basic_configuration(Space& space) {
    ConfBlock head = head_motor_configuration();
    put(space, "hConfig", head);
    return head;
}

std::vector<Agent*> create_full_agents() {
    // What the driving agents know together of their boards' control modes: the position
    // and the velocity agent share the head, and each must see the other's switches. The
    // agents keep the book alive as long as they run.
    auto control_modes = std::make_shared<ControlModeBook>();
    std::vector<Agent*> agents;
    agents.push_back(new MotorAgent("hConfig", control_modes));
    agents.push_back(new VelocityMotorAgent("hvConfig", control_modes));
    agents.push_back(new CamSensorAgent("leConfig"));
    agents.push_back(new PositionAgent("hPosConfig"));
    agents.push_back(new BallPosAgent("bPConfig"));
    // Focus and look-at read the same block.
    agents.push_back(new FocusAgent("lookConfig"));
    agents.push_back(new RestPosAgent("restConfig"));
    agents.push_back(new LookAtAgent("lookConfig"));
    agents.push_back(new EyeVersionAgent("search"));
    agents.push_back(new EyeTiltAgent("search2"));
    return agents;
}

std::vector<Agent*> create_basic_agents() {
    return {new MotorAgent("hConfig")};
}

int start_agents(const std::vector<Agent*>& agents, std::FILE* out) {
    // The results go out in one piece once every thread runs: started agents print lines of
    // their own at once, and these must not split the row of digits.
    std::string results;
    int failures = 0;
    for (Agent* agent : agents) {
        const int result = agent->start(nullptr);
        if (result != 0) ++failures;
        results += std::to_string(result);
    }
    std::fputs(results.c_str(), out);
    std::fflush(out);
    return failures;
}
