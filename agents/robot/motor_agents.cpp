#include "agents/robot/motor_agents.h"

#include <sstream>

#include "core/report.h"

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

// --- MotorAgent ----------------------------------------------------------------------------

MotorAgent::MotorAgent(std::string key, std::shared_ptr<ControlModeBook> modes)
    : BoardDrivingAgent(key, "MotorAgent", VOCAB_CM_POSITION, std::move(modes))
{
}

MotorAgent::~MotorAgent()
{
    if (link.offers_position()) {
        stop_joints();
    }
    link.close();
}

void MotorAgent::init(std::string key)
{
    config = space_read(key, ConfBlock{"HeadAgent", "head_joints", "head_speed", "head_acc",
                                       "remote_controlboard", "/test/client", "/icubSim/head"});
    start_board(key, config.device, config.local_port, config.remote_port);
    trigger_attach(config.joints_key, 1);
    trigger_attach(config.acc_key, 1);
    trigger_attach(config.speed_key, 1);
}

const char* MotorAgent::take_views()
{
    return link.offers_position() ? nullptr : "no position-controlled board";
}

void MotorAgent::set_up(int n)
{
    const std::size_t axes = static_cast<std::size_t>(n);
    targets.resize(axes, 0.0);
    speeds.resize(axes, 0.0);
    accelerations.resize(axes, 0.0);
    zero_targets.resize(axes, 0.0);
    default_refs.resize(axes, 30.0);
    joints_check = AxisCountCheck("MotorAgent", config.joints_key, n);
    speed_check = AxisCountCheck("MotorAgent", config.speed_key, n);
    acc_check = AxisCountCheck("MotorAgent", config.acc_key, n);

    link.call([refs = default_refs](BoardClient& board) {
        const bool accelerations_set = board.position->setRefAccelerations(refs.data());
        return board.position->setRefSpeeds(refs.data()) && accelerations_set;
    });
}

void MotorAgent::command()
{
    // The move goes out first, so it runs with the references of the previous activation.
    yarp::sig::Vector read = space_read(config.joints_key, zero_targets);
    if (joints_check.accept(read)) {
        targets = read;
        mode_guard.ensure();   // a board drops position commands in any other mode
        link.call([move = targets](BoardClient& board) {
            return board.position->positionMove(move.data());
        });
        print_line(read_line(targets));
    }

    read = space_read(config.acc_key, default_refs);
    if (acc_check.accept(read)) {
        accelerations = read;
        link.call([refs = accelerations](BoardClient& board) {
            return board.position->setRefAccelerations(refs.data());
        });
    }

    read = space_read(config.speed_key, default_refs);
    if (speed_check.accept(read)) {
        speeds = read;
        link.call([refs = speeds](BoardClient& board) {
            return board.position->setRefSpeeds(refs.data());
        });
    }
}

void MotorAgent::stop_joints()
{
    link.call([](BoardClient& board) { return board.position->stop(); });
}

// --- VelocityMotorAgent --------------------------------------------------------------------

VelocityMotorAgent::VelocityMotorAgent(std::string key, std::shared_ptr<ControlModeBook> modes)
    : BoardDrivingAgent(key, "VelocityMotorAgent", VOCAB_CM_VELOCITY, std::move(modes))
{
}

VelocityMotorAgent::~VelocityMotorAgent()
{
    if (link.offers_velocity()) {
        link.call([](BoardClient& board) { return board.velocity->stop(); });
    }
    link.close();
}

void VelocityMotorAgent::init(std::string key)
{
    config = space_read(key, VelocityBlock{"HeadAgent", "head_vel", "head_enc",
                                           "remote_controlboard", "/test/client2",
                                           "/icubSim/head"});
    start_board(key, config.device, config.local_port, config.remote_port);
    trigger_attach(config.velocity_key, 1);
}

const char* VelocityMotorAgent::take_views()
{
    return link.offers_velocity() ? nullptr : "no velocity-controlled board";
}

void VelocityMotorAgent::set_up(int n)
{
    velocities.resize(static_cast<std::size_t>(n), 0.0);
    zero_velocities.resize(static_cast<std::size_t>(n), 0.0);
    velocity_check = AxisCountCheck("VelocityMotorAgent", config.velocity_key, n);
    drove = false;
}

void VelocityMotorAgent::command()
{
    yarp::sig::Vector read = space_read(config.velocity_key, zero_velocities);
    // A vector of the wrong length is no valid command: stop rather than keep the last one.
    velocities = velocity_check.accept(read) ? read : zero_velocities;
    mode_guard.ensure();   // a board drops velocity commands in any other mode
    link.call([move = velocities](BoardClient& board) {
        return board.velocity->velocityMove(move.data());
    });
    drove = true;
    print_line(read_line(velocities));
}

void VelocityMotorAgent::stop_joints()
{
    if (drove) {
        // Zero first, while the joints are still in velocity mode: a simulated joint keeps
        // its last velocity after its client has gone, and takes it up again whenever it is
        // put back in velocity mode.
        link.call([zero = zero_velocities](BoardClient& board) {
            const bool zeroed = board.velocity->velocityMove(zero.data());
            return board.velocity->stop() && zeroed;
        });
    }
}

// --- PositionAgent -------------------------------------------------------------------------

PositionAgent::PositionAgent(std::string key) : Agent(key)
{
    release_name = "PositionAgent";
    print_agent_created(key);
}

PositionAgent::~PositionAgent()
{
    link.close();
}

void PositionAgent::init(std::string key)
{
    config = space_read(key, PositionBlock{"HeadAgent", "head_enc", "remote_controlboard",
                                           "/test/client2", "/icubSim/head", 100, 500});
    link.configure("PositionAgent", key, config.device, config.local_port, config.remote_port);

    {
        std::lock_guard<DeviceLock> lock(device_lock);
        if (!released) {
            bind_board();
        }
    }
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

bool PositionAgent::release_stop(std::chrono::milliseconds patience)
{
    if (!QuietOnRelease::release_stop(patience)) {
        return false;
    }
    // A check still in a board that stopped answering: the robot does not answer.
    return link.settled_for_release(patience, release_name);
}

bool PositionAgent::release_restore(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, release_name)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    link.close();
    // A close that waits on its peer past the bound is still in the middleware.
    return link.settled_for_release(std::chrono::milliseconds(0), release_name);
}

void PositionAgent::bind_board()
{
    if (link.open_if_due()) {
        encoder_values.resize(static_cast<std::size_t>(link.axes()), 0.0);
        last_check = std::chrono::steady_clock::now();
        link.accept();
    }
}

void PositionAgent::sense_select_act(int /*id*/)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;
    }
    if (!link.bound()) {
        bind_board();   // no more often than about once a second, whatever the period
        if (!link.bound()) {
            return;
        }
    }
    // A board that stopped answering may still leave the last readings in its client: ask
    // it for its axis count about once a second.
    const auto now = std::chrono::steady_clock::now();
    if (now - last_check >= RetryingLink::kRetrySpacing) {
        last_check = now;
        if (!link.still_there()) {
            return;
        }
    }
    // A client fails the read until it has the board's first state, leaving the buffer
    // unwritten: publish nothing rather than values that were never read.
    if (!link.read_encoders(encoder_values)) {
        return;
    }
    space_write(config.encoder_key, encoder_values, 0, 1.0f);
}
