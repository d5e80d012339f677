#include "app/wiring.h"

#include <memory>
#include <string>
#include <utility>

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

/// A position motor block whose three keys start with `prefix`.
ConfBlock position_motor(const char* name, const char* prefix, const char* local,
                         const char* remote) {
    const std::string p(prefix);
    return {name, p + "_joints", p + "_speed", p + "_acc", "remote_controlboard", local, remote};
}

}  // namespace

ConfBlock head_motor_configuration() {
    return position_motor("MotorAgent Head", "head", "/test/clientH", "/icubSim/head");
}

FullConfiguration write_full_configuration(Space& space) {
    FullConfiguration c;
    // Blocks are written in their members' order: name, keys, device, local and remote port,
    // then first delay and period where the agent has a timer.

    c.head = head_motor_configuration();
    put(space, "hConfig", c.head);

    c.head_velocity = {"MotorAgent Head", "head_vel", "head_enc", "remote_controlboard",
                       "/test/clientHV", "/icubSim/head"};
    put(space, "hvConfig", c.head_velocity);

    c.left_arm = position_motor("MotorAgent LArm", "la", "/test/clientLA", "/icubSim/left_arm");
    put(space, "laConfig", c.left_arm);

    c.left_arm_velocity = {"MotorAgent left arm", "larm_vel", "larm_enc", "remote_controlboard",
                           "/test/clientLAV", "/icubSim/left_arm"};
    put(space, "lavConfig", c.left_arm_velocity);

    c.right_arm = position_motor("MotorAgent RArm", "ra", "/test/clientRA", "/icubSim/right_arm");
    put(space, "raConfig", c.right_arm);

    // Sensors: name, local port, remote port, data key, request, first delay, period.
    c.left_camera = {"HeadAgent", "/left/image/in", "/icubSim/cam/left", "leftImage", "", 1000, 100};
    put(space, "leConfig", c.left_camera);

    c.left_hand_position = {"HeadAgent", "/lhand/pos", "/icubSim/world", "lhand_pos",
                            "world get lhand", 1000, 500};
    put(space, "lhandpos", c.left_hand_position);

    c.inertial = {"InertialAgent", "/inertial", "/icubSim/inertial", "inertial", "", 1000, 500};
    put(space, "inertialCfg", c.inertial);

    c.touch = {"TouchAgent", "/skin/left_touch", "/icubSim/skin/left_hand", "left_touch", "",
               1000, 500};
    put(space, "touch", c.touch);

    // The head's encoder reader; its display name says left arm, only keys and ports count.
    c.head_encoders = {"MotorAgent left arm", "head_enc", "remote_controlboard",
                       "/test/clientHeadP", "/icubSim/head", 100, 500};
    put(space, "hPosConfig", c.head_encoders);

    // Behaviours: name, input, output and auxiliary key, first delay, period.
    c.ball_finder = {"Find ball", "leftImage", "ballPos", "", 0, 0};
    put(space, "bPConfig", c.ball_finder);

    c.look = {"Look At", "ballPos", "head_vel", "head_enc", 0, 0};
    put(space, "lookConfig", c.look);

    c.rest = {"Look At", "ballPos", "head_vel", "head_enc", 1500, 10500};
    put(space, "restConfig", c.rest);

    c.search = {"search", "head_enc", "head_vel", "", 1000, 1200};
    put(space, "search", c.search);

    c.search2 = {"search2", "head_enc", "head_vel", "", 1000, 2000};
    put(space, "search2", c.search2);

    return c;
}

ConfBlock write_basic_configuration(Space& space) {
    ConfBlock head = head_motor_configuration();
    put(space, "hConfig", head);
    return head;
}

std::vector<Agent*> create_full_agents(std::shared_ptr<const RegistrationWatch> name_server) {
    // What the driving agents know together of their boards' control modes: the position
    // and the velocity agent share the head, and each must see the other's switches. The
    // agents keep the book alive as long as they run.
    auto control_modes = std::make_shared<ControlModeBook>();
    std::vector<Agent*> agents;
    agents.push_back(new MotorAgent("hConfig", control_modes));
    agents.push_back(new VelocityMotorAgent("hvConfig", control_modes));
    agents.push_back(new CamSensorAgent("leConfig", std::move(name_server)));
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
