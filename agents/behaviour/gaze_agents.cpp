#include "agents/behaviour/gaze_agents.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

using yarp::sig::Vector;

namespace {

/// Prints one whole line at once, so that lines of concurrent agents never mix.
void print_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

/// printf-style formatting into a string of whatever length the values need (%f of a
/// huge magnitude has no upper bound).
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char small[128];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    std::string text;
    if (needed < 0) {
        text.clear();
    } else if (static_cast<std::size_t>(needed) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(needed));
    } else {
        text.assign(static_cast<std::size_t>(needed) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), fmt, again);
        text.resize(static_cast<std::size_t>(needed));
    }
    va_end(again);
    return text;
}

void print_created(const std::string& key) {
    print_line(format("New agent with confBlock %s created \n", key.c_str()));
}

/// "target: " and then every element as " %g": two blanks follow the colon.
std::string target_line(const Vector& target) {
    std::string line = "target: ";
    for (double value : target) {
        line += format(" %g", value);
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

/// Reads a vector under `key`, refusing one shorter than `needed` (it counts as missing).
Vector read_vector(Agent& agent, gaze::LengthCheck& lengths, const std::string& key,
                   const Vector& fallback, std::size_t needed) {
    return lengths.accept(key, agent.space_read(key, fallback), needed, fallback);
}

/// Changes some elements of the head velocity vector under `key` in one step of the Space:
/// no other write can land between reading the vector in force and writing it back, so
/// the elements another agent set a moment earlier are kept. A missing, lapsed or short
/// vector is replaced by `zeros` before `law` runs. Returns the vector written.
template <class Law>
Vector change_head_velocity(Agent& agent, gaze::LengthCheck& lengths, const std::string& key,
                            const Vector& zeros, gaze::WriteRule rule, Law law) {
    std::size_t held = gaze::kHeadJoints;
    Vector written;
    agent.space_modify(
        key, zeros,
        [&](Vector& command) {
            held = command.size();
            if (held < gaze::kHeadJoints) {
                command = zeros;
            }
            law(command);
            written = command;
        },
        rule.validity_ms, rule.priority);
    lengths.note(key, held, gaze::kHeadJoints);  // reported here, not under the Space lock
    return written;
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
        reported.erase(key);
        return true;
    }
    if (reported.insert(key).second) {
        print_line(format("%s: \"%s\" holds %zu values, %zu needed; read as missing\n",
                          agent.c_str(), key.c_str(), size, needed));
    }
    return false;
}

}  // namespace gaze

// ---------------------------------------------------------------------------------------------
// LookAtAgent

LookAtAgent::LookAtAgent(std::string key) : Agent(key) { print_created(key); }

LookAtAgent::LookAtAgent(std::string key, Space& space) : Agent(key, space) { print_created(key); }

LookAtAgent::~LookAtAgent() = default;

AgentBlock LookAtAgent::defaults() { return gaze_defaults("ball_pos", "head_vel", ""); }

void LookAtAgent::init(std::string key) {
    config = space_read<AgentBlock>(key, defaults());
    velocity_command_default = Vector(gaze::kHeadJoints, 0.0);
    target_default = Vector(gaze::kBallElements, 0.0);
    trigger_attach(config.input_key, 1);
}

void LookAtAgent::sense_select_act(int /*id*/) {
    target = read_vector(*this, lengths, config.input_key, target_default, gaze::kBallElements);
    print_line(target_line(target));
    if (!gaze::ball_found(target)) {
        return;
    }
    velocity_command = change_head_velocity(
        *this, lengths, config.output_key, velocity_command_default, gaze::kTrackingWrite,
        [this](Vector& command) { gaze::look_at(target, command); });
}

// ---------------------------------------------------------------------------------------------
// FocusAgent

FocusAgent::FocusAgent(std::string key) : Agent(key) { print_created(key); }

FocusAgent::FocusAgent(std::string key, Space& space) : Agent(key, space) { print_created(key); }

FocusAgent::~FocusAgent() = default;

AgentBlock FocusAgent::defaults() { return gaze_defaults("ball_pos", "head_vel", "head_enc"); }

void FocusAgent::init(std::string key) {
    config = space_read<AgentBlock>(key, defaults());
    velocity_command_default = Vector(gaze::kHeadJoints, 0.0);
    encoder_values_default = Vector(gaze::kHeadJoints, 0.0);
    target_default = Vector(gaze::kBallElements, 0.0);
    trigger_attach(config.input_key, 1);
}

void FocusAgent::sense_select_act(int /*id*/) {
    encoder_values =
        read_vector(*this, lengths, config.aux_key, encoder_values_default, gaze::kHeadJoints);
    target = read_vector(*this, lengths, config.input_key, target_default, gaze::kBallElements);
    print_line(format("Focus encoder4: %f \n", encoder_values[gaze::kEyeVersion]));
    print_line(format("Focus target: %f \n", target[4]));
    if (!gaze::ball_found(target)) {
        return;
    }
    velocity_command = change_head_velocity(
        *this, lengths, config.output_key, velocity_command_default, gaze::kTrackingWrite,
        [this](Vector& command) { gaze::focus(encoder_values, command); });
}

// ---------------------------------------------------------------------------------------------
// RestPosAgent

RestPosAgent::RestPosAgent(std::string key) : Agent(key) { print_created(key); }

RestPosAgent::RestPosAgent(std::string key, Space& space) : Agent(key, space) {
    print_created(key);
}

RestPosAgent::~RestPosAgent() = default;

AgentBlock RestPosAgent::defaults() {
    return timed_defaults("ball_pos", "head_vel", "head_enc", 1500, 2500);
}

void RestPosAgent::init(std::string key) {
    config = space_read<AgentBlock>(key, defaults());
    velocity_command_default = Vector(gaze::kHeadJoints, 0.0);
    encoder_values_default = Vector(gaze::kHeadJoints, 0.0);
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void RestPosAgent::sense_select_act(int /*id*/) {
    encoder_values =
        read_vector(*this, lengths, config.aux_key, encoder_values_default, gaze::kHeadJoints);
    velocity_command = change_head_velocity(
        *this, lengths, config.output_key, velocity_command_default, gaze::kRestWrite,
        [this](Vector& command) { gaze::rest(encoder_values, command); });
}

// ---------------------------------------------------------------------------------------------
// EyeVersionAgent

EyeVersionAgent::EyeVersionAgent(std::string key) : Agent(key) { print_created(key); }

EyeVersionAgent::EyeVersionAgent(std::string key, Space& space) : Agent(key, space) {
    print_created(key);
}

EyeVersionAgent::~EyeVersionAgent() = default;

AgentBlock EyeVersionAgent::defaults() {
    return timed_defaults("head_enc", "head_vel", "", 1000, 1200);
}

void EyeVersionAgent::init(std::string key) {
    config = space_read<AgentBlock>(key, defaults());
    velocity_command_default = Vector(gaze::kHeadJoints, 0.0);
    encoder_values_default = Vector(gaze::kHeadJoints, 0.0);
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void EyeVersionAgent::sense_select_act(int /*id*/) {
    encoder_values =
        read_vector(*this, lengths, config.input_key, encoder_values_default, gaze::kHeadJoints);
    print_line(format("encoder4: %f \n", encoder_values[gaze::kEyeVersion]));
    velocity_command = gaze::version_search(encoder_values);
    space_write(config.output_key, velocity_command, gaze::kVersionSearchWrite.validity_ms,
                gaze::kVersionSearchWrite.priority);
}

// ---------------------------------------------------------------------------------------------
// EyeTiltAgent

EyeTiltAgent::EyeTiltAgent(std::string key) : Agent(key) { print_created(key); }

EyeTiltAgent::EyeTiltAgent(std::string key, Space& space) : Agent(key, space) {
    print_created(key);
}

EyeTiltAgent::~EyeTiltAgent() = default;

AgentBlock EyeTiltAgent::defaults() {
    return timed_defaults("head_vel", "head_vel", "", 1000, 2000);
}

void EyeTiltAgent::init(std::string key) {
    config = space_read<AgentBlock>(key, defaults());
    velocity_command_default = Vector(gaze::kHeadJoints, 0.0);
    encoder_values_default = Vector(gaze::kHeadJoints, 0.0);
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void EyeTiltAgent::sense_select_act(int /*id*/) {
    encoder_values =
        read_vector(*this, lengths, config.input_key, encoder_values_default, gaze::kHeadJoints);
    velocity_command = gaze::tilt_search(encoder_values);
    space_write(config.output_key, velocity_command, gaze::kTiltSearchWrite.validity_ms,
                gaze::kTiltSearchWrite.priority);
}

// ---------------------------------------------------------------------------------------------
// WriteAgent

namespace {
void print_write_agent_created(const std::string& key) {
    print_line(format("Agent %s created \n", key.c_str()));
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
