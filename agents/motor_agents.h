#pragma once
// Motor agents: bind one control board of the robot to entries of the Space.
//
//  - MotorAgent sends joint targets, reference speeds and reference accelerations (position
//    control) whenever one of its three keys is written.
//  - VelocityMotorAgent sends the joint velocity vector in force whenever its key is written.
//  - PositionAgent publishes the joint encoders periodically.
//
// Every control-board call of the controller is made here, so that a change of the device
// API stays in this one pair of files.
#include <string>
#include <vector>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/IEncoders.h>
#include <yarp/dev/IPositionControl.h>
#include <yarp/dev/IVelocityControl.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/sig/Vector.h>

#include "core/agentspace.h"

/// The joint values as the motor agents print them: for each element one space and the
/// element in the default notation of an output stream (six significant digits, no trailing
/// zeros, exponent form for very large or small magnitudes), e.g. " 0 30 -12.5 1.23457e+06".
std::string joint_vector_text(const yarp::sig::Vector& values);

/// The line a motor agent prints after each command: "read: " + joint_vector_text + " \n".
/// Six zeros give "read:  0 0 0 0 0 0 \n".
std::string read_line(const yarp::sig::Vector& values);

/// Refuses vectors whose length is not the board's axis count, so that the device never
/// reads past the end of a short vector. Prints one diagnostic line per offending vector:
/// the same wrong vector seen again (re-read by a later activation) is refused silently,
/// and the first vector of the right length re-arms the message.
class AxisCountCheck {
public:
    /// `agent` and `key` name the source in the diagnostic line.
    AxisCountCheck(std::string agent, std::string key, int axes);

    /// True when `values` has exactly the board's axis count; otherwise prints (once per
    /// offending vector) "<agent>: refused <m> values under <key>, the board has <n> axes"
    /// and returns false.
    [[nodiscard]] bool accept(const yarp::sig::Vector& values);

private:
    std::string agent;
    std::string key;
    int axes;
    bool refused_last = false;        // the previous call refused a vector
    yarp::sig::Vector last_refused;   // the vector it refused
};

/// Puts the joints of a board in one control mode before a command that the board would
/// silently ignore in any other mode. Switches only the joints found in another mode, so a
/// command to joints already in the mode costs one query and no switch. Without an
/// IControlMode view (the board offers none) it does nothing.
class ControlModeGuard {
public:
    ControlModeGuard() = default;
    ControlModeGuard(yarp::dev::IControlMode* modes, int axes, int wanted_mode);

    /// Makes sure every joint is in the wanted mode. When the board cannot report its modes,
    /// all joints are set in one request.
    void ensure();

private:
    yarp::dev::IControlMode* modes = nullptr;
    int axes = 0;
    int wanted = 0;
    std::vector<int> current;
};

/// Drives the joints of one control board in position mode: whenever the joint targets, the
/// reference speeds or the reference accelerations are written in the Space, sends all three.
/// The move of an activation runs with the references of the previous activation (30 on
/// every axis before the first).
class MotorAgent : public Agent {
public:
    /// Prints the creation line; opens nothing.
    explicit MotorAgent(std::string key);
    /// Stops the motion (when the board was bound) and closes the device.
    ~MotorAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

private:
    yarp::dev::PolyDriver driver;
    yarp::dev::IPositionControl* position_control = nullptr;
    yarp::dev::IEncoders* encoder_view = nullptr;
    yarp::sig::Vector targets;         ///< joint targets last sent
    yarp::sig::Vector speeds;          ///< reference speeds last sent
    yarp::sig::Vector accelerations;   ///< reference accelerations last sent
    yarp::sig::Vector zero_targets;    ///< fallback for the joint targets: all 0
    yarp::sig::Vector default_refs;    ///< fallback for speeds and accelerations: all 30
    ConfBlock config;

    ControlModeGuard position_mode;
    AxisCountCheck joints_check{"", "", 0};
    AxisCountCheck speed_check{"", "", 0};
    AxisCountCheck acc_check{"", "", 0};
};

/// Drives the joints of one control board in velocity mode: whenever the velocity key is
/// written (a refused lower-priority write included) sends the vector in force, or zeros
/// when none is valid.
class VelocityMotorAgent : public Agent {
public:
    /// Prints the creation line; opens nothing.
    explicit VelocityMotorAgent(std::string key);
    /// Stops the motion (when the board was bound) and closes the device.
    ~VelocityMotorAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

private:
    yarp::dev::PolyDriver driver;
    yarp::dev::IVelocityControl* velocity_control = nullptr;
    yarp::dev::IEncoders* encoder_view = nullptr;
    yarp::sig::Vector velocities;        ///< the command last sent
    yarp::sig::Vector zero_velocities;   ///< fallback: all 0
    VelocityBlock config;

    ControlModeGuard velocity_mode;
    AxisCountCheck velocity_check{"", "", 0};
};

/// Publishes the joint encoders of one control board under its encoder key once per period.
class PositionAgent : public Agent {
public:
    /// Prints the creation line; opens nothing.
    explicit PositionAgent(std::string key);
    /// Closes the device.
    ~PositionAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

private:
    yarp::dev::PolyDriver driver;
    yarp::dev::IEncoders* encoder_view = nullptr;
    yarp::sig::Vector encoder_values;   ///< readings of the last activation, one per axis
    PositionBlock config;
};
