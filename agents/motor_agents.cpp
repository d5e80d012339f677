#include "agents/motor_agents.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>

#include <yarp/os/Property.h>

namespace {

/// Prints one diagnostic line at once, so that lines of concurrent agents never mix and
/// reach a pipe in the order they were made.
void print_line(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

/// Opens a control-board client with the three entries the motor agents configure.
/// The outcome shows in the views the caller asks for afterwards.
void open_board(yarp::dev::PolyDriver& driver, const std::string& device,
                const std::string& local, const std::string& remote)
{
    yarp::os::Property options;
    options.put("device", device);
    options.put("local", local);
    options.put("remote", remote);
    driver.open(options);
}

/// The board's axis count, or 0 when the board does not report a positive one. Nothing may
/// be sized from a failed call, so a failure is an idle agent, not a guess.
int read_axes(yarp::dev::IEncoders* encoders)
{
    int axes = 0;
    if (!encoders->getAxes(&axes) || axes <= 0) {
        return 0;
    }
    return axes;
}

/// The one line an agent prints when it stays idle (no board, a missing view, no axes).
void report_idle(const char* agent, const std::string& key, const std::string& remote,
                 const char* why)
{
    print_line(std::string(agent) + " " + key + ": " + why + " at " + remote
               + ", the agent stays idle\n");
}

/// The view of `driver` as an IControlMode, or nullptr when the board offers none.
yarp::dev::IControlMode* control_mode_view(yarp::dev::PolyDriver& driver)
{
    yarp::dev::IControlMode* modes = nullptr;
    if (!driver.view(modes)) {
        return nullptr;
    }
    return modes;
}

} // namespace

// --- printed lines -------------------------------------------------------------------------

std::string joint_vector_text(const yarp::sig::Vector& values)
{
    std::ostringstream out;   // default notation: six significant digits, %g-like
    for (std::size_t i = 0; i < values.size(); ++i) {
        out << ' ' << values[i];
    }
    return out.str();
}

std::string read_line(const yarp::sig::Vector& values)
{
    return "read: " + joint_vector_text(values) + " \n";
}

// --- AxisCountCheck ------------------------------------------------------------------------

AxisCountCheck::AxisCountCheck(std::string agent_name, std::string key_name, int axis_count)
    : agent(std::move(agent_name)), key(std::move(key_name)), axes(axis_count)
{
}

bool AxisCountCheck::accept(const yarp::sig::Vector& values)
{
    if (values.size() == static_cast<std::size_t>(axes)) {
        refused_last = false;
        return true;
    }
    const bool seen_before = refused_last && values.size() == last_refused.size()
        && std::equal(values.begin(), values.end(), last_refused.begin());
    if (!seen_before) {
        print_line(agent + ": refused " + std::to_string(values.size()) + " values under "
                   + key + ", the board has " + std::to_string(axes) + " axes\n");
    }
    refused_last = true;
    last_refused = values;
    return false;
}

// --- ControlModeGuard ----------------------------------------------------------------------

ControlModeGuard::ControlModeGuard(yarp::dev::IControlMode* mode_view, int axis_count,
                                   int wanted_mode)
    : modes(mode_view), axes(axis_count), wanted(wanted_mode),
      current(static_cast<std::size_t>(axis_count), 0)
{
}

void ControlModeGuard::ensure()
{
    if (modes == nullptr || axes <= 0) {
        return;
    }
    if (!modes->getControlModes(current.data())) {
        // The board could not tell (a client may know nothing before its first state
        // message): switch every joint, one request.
        std::vector<int> all(static_cast<std::size_t>(axes), wanted);
        modes->setControlModes(all.data());
        return;
    }
    for (int j = 0; j < axes; ++j) {
        if (current[static_cast<std::size_t>(j)] != wanted) {
            modes->setControlMode(j, wanted);
        }
    }
}

// --- MotorAgent ----------------------------------------------------------------------------

MotorAgent::MotorAgent(std::string key) : Agent(key)
{
    std::printf("New agent with confBlock %s created \n", key.c_str());
    std::fflush(stdout);
}

MotorAgent::~MotorAgent()
{
    if (position_control != nullptr) {
        position_control->stop();
    }
    driver.close();
}

void MotorAgent::init(std::string key)
{
    ConfBlock defaults;
    defaults.name = "HeadAgent";
    defaults.joints_key = "head_joints";
    defaults.speed_key = "head_speed";
    defaults.acc_key = "head_acc";
    defaults.device = "remote_controlboard";
    defaults.local_port = "/test/client";
    defaults.remote_port = "/icubSim/head";
    config = space_read(key, defaults);

    open_board(driver, config.device, config.local_port, config.remote_port);
    driver.view(encoder_view);
    driver.view(position_control);
    if (encoder_view == nullptr || position_control == nullptr) {
        report_idle("MotorAgent", key, config.remote_port, "no position-controlled board");
        return;
    }
    const int n = read_axes(encoder_view);
    if (n == 0) {
        report_idle("MotorAgent", key, config.remote_port, "no axis count from the board");
        return;
    }

    const std::size_t axes = static_cast<std::size_t>(n);
    targets.resize(axes, 0.0);
    speeds.resize(axes, 0.0);
    accelerations.resize(axes, 0.0);
    zero_targets.resize(axes, 0.0);
    default_refs.resize(axes, 30.0);
    position_mode = ControlModeGuard(control_mode_view(driver), n, VOCAB_CM_POSITION);
    joints_check = AxisCountCheck("MotorAgent", config.joints_key, n);
    speed_check = AxisCountCheck("MotorAgent", config.speed_key, n);
    acc_check = AxisCountCheck("MotorAgent", config.acc_key, n);

    position_control->setRefAccelerations(default_refs.data());
    position_control->setRefSpeeds(default_refs.data());

    trigger_attach(config.joints_key, 1);
    trigger_attach(config.acc_key, 1);
    trigger_attach(config.speed_key, 1);
}

void MotorAgent::sense_select_act(int /*id*/)
{
    // The move goes out first, so it runs with the references of the previous activation.
    yarp::sig::Vector read = space_read(config.joints_key, zero_targets);
    if (joints_check.accept(read)) {
        targets = read;
        position_mode.ensure();   // a board drops position commands in any other mode
        position_control->positionMove(targets.data());
        print_line(read_line(targets));
    }

    read = space_read(config.acc_key, default_refs);
    if (acc_check.accept(read)) {
        accelerations = read;
        position_control->setRefAccelerations(accelerations.data());
    }

    read = space_read(config.speed_key, default_refs);
    if (speed_check.accept(read)) {
        speeds = read;
        position_control->setRefSpeeds(speeds.data());
    }
}

// --- VelocityMotorAgent --------------------------------------------------------------------

VelocityMotorAgent::VelocityMotorAgent(std::string key) : Agent(key)
{
    std::printf("New agent with confBlock %s created \n", key.c_str());
    std::fflush(stdout);
}

VelocityMotorAgent::~VelocityMotorAgent()
{
    if (velocity_control != nullptr) {
        velocity_control->stop();
    }
    driver.close();
}

void VelocityMotorAgent::init(std::string key)
{
    VelocityBlock defaults;
    defaults.name = "HeadAgent";
    defaults.velocity_key = "head_vel";
    defaults.encoder_key = "head_enc";
    defaults.device = "remote_controlboard";
    defaults.local_port = "/test/client2";
    defaults.remote_port = "/icubSim/head";
    config = space_read(key, defaults);

    open_board(driver, config.device, config.local_port, config.remote_port);
    driver.view(encoder_view);
    driver.view(velocity_control);
    if (encoder_view == nullptr || velocity_control == nullptr) {
        report_idle("VelocityMotorAgent", key, config.remote_port,
                    "no velocity-controlled board");
        return;
    }
    const int n = read_axes(encoder_view);
    if (n == 0) {
        report_idle("VelocityMotorAgent", key, config.remote_port,
                    "no axis count from the board");
        return;
    }

    velocities.resize(static_cast<std::size_t>(n), 0.0);
    zero_velocities.resize(static_cast<std::size_t>(n), 0.0);
    velocity_mode = ControlModeGuard(control_mode_view(driver), n, VOCAB_CM_VELOCITY);
    velocity_check = AxisCountCheck("VelocityMotorAgent", config.velocity_key, n);

    trigger_attach(config.velocity_key, 1);
}

void VelocityMotorAgent::sense_select_act(int /*id*/)
{
    yarp::sig::Vector read = space_read(config.velocity_key, zero_velocities);
    // A vector of the wrong length is no valid command: stop rather than keep the last one.
    velocities = velocity_check.accept(read) ? read : zero_velocities;
    velocity_mode.ensure();   // a board drops velocity commands in any other mode
    velocity_control->velocityMove(velocities.data());
    print_line(read_line(velocities));
}

// --- PositionAgent -------------------------------------------------------------------------

PositionAgent::PositionAgent(std::string key) : Agent(key)
{
    std::printf("New agent with confBlock %s created \n", key.c_str());
    std::fflush(stdout);
}

PositionAgent::~PositionAgent()
{
    driver.close();
}

void PositionAgent::init(std::string key)
{
    PositionBlock defaults;
    defaults.name = "HeadAgent";
    defaults.encoder_key = "head_enc";
    defaults.device = "remote_controlboard";
    defaults.local_port = "/test/client2";
    defaults.remote_port = "/icubSim/head";
    defaults.delay_ms = 100;
    defaults.period_ms = 500;
    config = space_read(key, defaults);

    open_board(driver, config.device, config.local_port, config.remote_port);
    driver.view(encoder_view);
    if (encoder_view == nullptr) {
        report_idle("PositionAgent", key, config.remote_port, "no encoder board");
        return;
    }
    const int n = read_axes(encoder_view);
    if (n == 0) {
        report_idle("PositionAgent", key, config.remote_port, "no axis count from the board");
        return;
    }

    encoder_values.resize(static_cast<std::size_t>(n), 0.0);
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void PositionAgent::sense_select_act(int /*id*/)
{
    // A client fails the read until it has the board's first state, leaving the buffer
    // unwritten: publish nothing rather than values that were never read.
    if (!encoder_view->getEncoders(encoder_values.data())) {
        return;
    }
    space_write(config.encoder_key, encoder_values, 0, 1.0f);
}
