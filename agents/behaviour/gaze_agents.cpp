#include "agents/behaviour/gaze_agents.h"

#include <utility>

using yarp::sig::Vector;

namespace {

/// "target: " and then every element as " %g": two blanks follow the colon.
std::string target_line(const Vector& target) {
    std::string line = "target: ";
    for (double value : target) {
        line += format_text(" %g", value);
    }
    line += '\n';
    return line;
}

AgentBlock gaze_defaults(const char* input, const char* output, const char* aux) {
    AgentBlock block;
    block.name = "HeadAgent";
    block.input_key = input;
    block.output_key = output;
    block.aux_key = aux;
    return block;
}

AgentBlock timed_defaults(const char* input, const char* output, const char* aux, int delay_ms,
                          int period_ms) {
    AgentBlock block = gaze_defaults(input, output, aux);
    block.delay_ms = delay_ms;
    block.period_ms = period_ms;
    return block;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Control laws

namespace gaze {

bool ball_found(const Vector& ball) { return ball.size() >= kBallElements && ball[4] > 0.5; }

void look_at(const Vector& ball, Vector& command) {
    const double width = ball[2];
    const double height = ball[3];
    command[kPitch] = kTrackingGain * (ball[1] - height / 2);
    command[kYaw] = kTrackingGain * (ball[0] - width / 2);
}

void focus(const Vector& encoders, Vector& command) {
    command[kEyeVersion] = kTrackingGain * encoders[kEyeVersion];
    command[kEyeTilt] = kTrackingGain * encoders[kEyeTilt];
}

void rest(const Vector& encoders, Vector& command) {
    command[kPitch] = kRestGain * encoders[kPitch];
    command[kYaw] = kRestGain * encoders[kYaw];
}

namespace {
Vector search(const Vector& encoders, std::size_t joint) {
    Vector command(kHeadJoints, 0.0);
    command[joint] = encoders[joint] > 0 ? -kSearchSpeed : kSearchSpeed;
    return command;
}
}  // namespace

Vector version_search(const Vector& encoders) { return search(encoders, kEyeVersion); }

Vector tilt_search(const Vector& encoders) { return search(encoders, kEyeTilt); }

LengthCheck::LengthCheck(std::string agent_name) : agent(std::move(agent_name)) {}

Vector LengthCheck::accept(const std::string& key, Vector value, std::size_t needed,
                           const Vector& fallback) {
    if (note(key, value.size(), needed)) {
        return value;
    }
    return fallback;
}

bool LengthCheck::note(const std::string& key, std::size_t size, std::size_t needed) {
    if (size >= needed) {
        short_keys.erase(key);
        return true;
    }
    short_keys[key].say(format_text("%s: \"%s\" holds %zu values, %zu needed; read as missing\n",
                                    agent.c_str(), key.c_str(), size, needed));
    return false;
}

}  // namespace gaze

// ---------------------------------------------------------------------------------------------
// GazeAgent

GazeAgent::GazeAgent(std::string key, const char* agent_class)
    : Agent(key), lengths(agent_class) {
    print_agent_created(key);
}

GazeAgent::GazeAgent(std::string key, Space& space, const char* agent_class)
    : Agent(key, space), lengths(agent_class) {
    print_agent_created(key);
}

void GazeAgent::configure(const std::string& key, const AgentBlock& defaults) {
    config = space_read<AgentBlock>(key, defaults);
}

Vector GazeAgent::read(const std::string& key, const Vector& fallback, std::size_t needed) {
    return lengths.accept(key, space_read(key, fallback), needed, fallback);
}

Vector GazeAgent::read_encoders(const std::string& key) {
    return read(key, zeros, gaze::kHeadJoints);
}

/// No other write can land between reading the vector in force and writing it back, so the
/// elements another agent set a moment earlier are kept. A missing, lapsed or short vector is
/// replaced by zeros before `law` runs.
template <class Law>
void GazeAgent::change_head_velocity(gaze::WriteRule rule, Law law) {
    std::size_t held = gaze::kHeadJoints;
    Vector written;
    space_modify(
        config.output_key, zeros,
        [&](Vector& command) {
            held = command.size();
            if (held < gaze::kHeadJoints) {
                command = zeros;
            }
            law(command);
            written = command;
        },
        rule.validity_ms, rule.priority);
    lengths.note(config.output_key, held, gaze::kHeadJoints);  // reported here, not under the Space lock
    velocity_command = written;
}

void GazeAgent::write_head_velocity(const Vector& command, gaze::WriteRule rule) {
    velocity_command = command;
    space_write(config.output_key, velocity_command, rule.validity_ms, rule.priority);
}

// ---------------------------------------------------------------------------------------------
// LookAtAgent

LookAtAgent::LookAtAgent(std::string key) : GazeAgent(std::move(key), "LookAtAgent") {}

LookAtAgent::LookAtAgent(std::string key, Space& space)
    : GazeAgent(std::move(key), space, "LookAtAgent") {}

AgentBlock LookAtAgent::defaults() { return gaze_defaults("ball_pos", "head_vel", ""); }

void LookAtAgent::init(std::string key) {
    configure(key, defaults());
    trigger_attach(config.input_key, 1);
}

void LookAtAgent::sense_select_act(int /*id*/) {
    target = read(config.input_key, Vector(gaze::kBallElements, 0.0), gaze::kBallElements);
    print_line(target_line(target));
    if (!gaze::ball_found(target)) {
        return;
    }
    change_head_velocity(gaze::kTrackingWrite,
                         [this](Vector& command) { gaze::look_at(target, command); });
}

// ---------------------------------------------------------------------------------------------
// FocusAgent

FocusAgent::FocusAgent(std::string key) : GazeAgent(std::move(key), "FocusAgent") {}

FocusAgent::FocusAgent(std::string key, Space& space)
    : GazeAgent(std::move(key), space, "FocusAgent") {}

AgentBlock FocusAgent::defaults() { return gaze_defaults("ball_pos", "head_vel", "head_enc"); }

void FocusAgent::init(std::string key) {
    configure(key, defaults());
    trigger_attach(config.input_key, 1);
}

void FocusAgent::sense_select_act(int /*id*/) {
    encoder_values = read_encoders(config.aux_key);
    target = read(config.input_key, Vector(gaze::kBallElements, 0.0), gaze::kBallElements);
    print_line(format_text("Focus encoder4: %f \n", encoder_values[gaze::kEyeVersion]));
    print_line(format_text("Focus target: %f \n", target[4]));
    if (!gaze::ball_found(target)) {
        return;
    }
    change_head_velocity(gaze::kTrackingWrite,
                         [this](Vector& command) { gaze::focus(encoder_values, command); });
}

// ---------------------------------------------------------------------------------------------
// RestPosAgent

RestPosAgent::RestPosAgent(std::string key) : GazeAgent(std::move(key), "RestPosAgent") {}

RestPosAgent::RestPosAgent(std::string key, Space& space)
    : GazeAgent(std::move(key), space, "RestPosAgent") {}

AgentBlock RestPosAgent::defaults() {
    return timed_defaults("ball_pos", "head_vel", "head_enc", 1500, 2500);
}

void RestPosAgent::init(std::string key) {
    configure(key, defaults());
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void RestPosAgent::sense_select_act(int /*id*/) {
    encoder_values = read_encoders(config.aux_key);
    change_head_velocity(gaze::kRestWrite,
                         [this](Vector& command) { gaze::rest(encoder_values, command); });
}

// ---------------------------------------------------------------------------------------------
// EyeVersionAgent

EyeVersionAgent::EyeVersionAgent(std::string key)
    : GazeAgent(std::move(key), "EyeVersionAgent") {}

EyeVersionAgent::EyeVersionAgent(std::string key, Space& space)
    : GazeAgent(std::move(key), space, "EyeVersionAgent") {}

AgentBlock EyeVersionAgent::defaults() {
    return timed_defaults("head_enc", "head_vel", "", 1000, 1200);
}

void EyeVersionAgent::init(std::string key) {
    configure(key, defaults());
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void EyeVersionAgent::sense_select_act(int /*id*/) {
    const Vector encoders = read_encoders(config.input_key);
    print_line(format_text("encoder4: %f \n", encoders[gaze::kEyeVersion]));
    write_head_velocity(gaze::version_search(encoders), gaze::kVersionSearchWrite);
}

// ---------------------------------------------------------------------------------------------
// EyeTiltAgent

EyeTiltAgent::EyeTiltAgent(std::string key) : GazeAgent(std::move(key), "EyeTiltAgent") {}

EyeTiltAgent::EyeTiltAgent(std::string key, Space& space)
    : GazeAgent(std::move(key), space, "EyeTiltAgent") {}

AgentBlock EyeTiltAgent::defaults() {
    return timed_defaults("head_vel", "head_vel", "", 1000, 2000);
}

void EyeTiltAgent::init(std::string key) {
    configure(key, defaults());
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void EyeTiltAgent::sense_select_act(int /*id*/) {
    write_head_velocity(gaze::tilt_search(read_encoders(config.input_key)),
                        gaze::kTiltSearchWrite);
}

// ---------------------------------------------------------------------------------------------
// WriteAgent

namespace {
void print_write_agent_created(const std::string& key) {
    print_line(format_text("Agent %s created \n", key.c_str()));
}
}  // namespace

WriteAgent::WriteAgent(std::string key) : Agent(key) { print_write_agent_created(key); }

WriteAgent::WriteAgent(std::string key, Space& space) : Agent(key, space) {
    print_write_agent_created(key);
}

WriteAgent::~WriteAgent() = default;

void WriteAgent::init(std::string /*key*/) {
    toggle = 0;
    joints = Vector(gaze::kHeadJoints, 0.0);
    timer_attach(1000, 1000, 1000);
}

void WriteAgent::sense_select_act(int /*id*/) {
    space_write(std::string("head_joints"), joints, 0, 1.0f);
    // The next target: yaw alternates between 40 and 0.
    if (toggle == 0) {
        joints[gaze::kYaw] = 40;
        toggle = 1;
    } else {
        joints[gaze::kYaw] = 0;
        toggle = 0;
    }
}
