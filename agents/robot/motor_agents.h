#pragma once
// Motor agents: bind one control board of the robot to entries of the Space.
//
//  - MotorAgent sends joint targets, reference speeds and reference accelerations (position
//    control) whenever one of its three keys is written.
//  - VelocityMotorAgent sends the joint velocity vector in force whenever its key is written.
//  - PositionAgent publishes the joint encoders periodically.
//
// Every control-board call of the controller is made by these agents and their pieces in
// this folder, so that a change of the device API stays here. The pieces they are made of
// sit beside them: the board client and its retries
// (board_link.h, retrying_link.h), the control-mode bookkeeping (control_modes.h), the
// length check of commands (axis_count_check.h) and the path the two driving agents share
// (board_driving_agent.h).
#include <chrono>
#include <memory>
#include <string>

#include <yarp/dev/IPositionControl.h>
#include <yarp/dev/IVelocityControl.h>
#include <yarp/sig/Vector.h>

#include "agents/robot/axis_count_check.h"
#include "agents/robot/board_driving_agent.h"
#include "agents/robot/board_link.h"
#include "agents/robot/control_modes.h"
#include "agents/robot/robot_release.h"
#include "core/agentspace.h"

/// The joint values as the motor agents print them: for each element one space and the
/// element in the default notation of an output stream (six significant digits, no trailing
/// zeros, exponent form for very large or small magnitudes), e.g. " 0 30 -12.5 1.23457e+06".
std::string joint_vector_text(const yarp::sig::Vector& values);

/// The line a motor agent prints after each command: "read: " + joint_vector_text + " \n".
/// Six zeros give "read:  0 0 0 0 0 0 \n".
std::string read_line(const yarp::sig::Vector& values);

/// Drives the joints of one control board in position mode: whenever the joint targets, the
/// reference speeds or the reference accelerations are written in the Space, sends all three.
/// The move of an activation runs with the references of the previous activation (30 on
/// every axis before the first). Binds the board again when it comes back after a loss.
class MotorAgent : public BoardDrivingAgent {
public:
    /// Prints the creation line; opens nothing. Agents of one program on the same board
    /// share `modes` (a lone agent may keep a book of its own).
    explicit MotorAgent(std::string key, std::shared_ptr<ControlModeBook> modes = nullptr);
    /// Stops the motion (when the board was bound) and closes the device. A started agent
    /// must not be deleted: its board check timer keeps a pointer to it for good (the
    /// programs never delete agents; release_robot_agents stops the joints at shutdown).
    ~MotorAgent() override;

    void init(std::string key) override;

private:
    const char* take_views() override;
    void set_up(int axes) override;
    void command() override;
    void stop_joints() override;

    yarp::sig::Vector targets;         ///< joint targets last sent
    yarp::sig::Vector speeds;          ///< reference speeds last sent
    yarp::sig::Vector accelerations;   ///< reference accelerations last sent
    yarp::sig::Vector zero_targets;    ///< fallback for the joint targets: all 0
    yarp::sig::Vector default_refs;    ///< fallback for speeds and accelerations: all 30
    ConfBlock config;

    AxisCountCheck joints_check{"", "", 0};
    AxisCountCheck speed_check{"", "", 0};
    AxisCountCheck acc_check{"", "", 0};
};

/// Drives the joints of one control board in velocity mode: whenever the velocity key is
/// written (a refused lower-priority write included) sends the vector in force, or zeros
/// when none is valid. Binds the board again when it comes back after a loss.
class VelocityMotorAgent : public BoardDrivingAgent {
public:
    /// Prints the creation line; opens nothing. `modes` as for MotorAgent.
    explicit VelocityMotorAgent(std::string key, std::shared_ptr<ControlModeBook> modes = nullptr);
    /// Stops the motion (when the board was bound) and closes the device. Like MotorAgent,
    /// a started agent must not be deleted.
    ~VelocityMotorAgent() override;

    void init(std::string key) override;

private:
    const char* take_views() override;
    void set_up(int axes) override;
    void command() override;
    void stop_joints() override;

    yarp::sig::Vector velocities;        ///< the command last sent
    yarp::sig::Vector zero_velocities;   ///< fallback: all 0
    VelocityBlock config;

    AxisCountCheck velocity_check{"", "", 0};
    bool drove = false;   ///< sent a velocity since the board was bound
};

/// Publishes the joint encoders of one control board under its encoder key once per period.
/// Binds the board again when it comes back after a loss.
class PositionAgent : public Agent, public QuietOnRelease {
public:
    /// Prints the creation line; opens nothing.
    explicit PositionAgent(std::string key);
    /// Closes the device.
    ~PositionAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

    /// Ends the readings; false while a call is still in a board that stopped answering.
    bool release_stop(std::chrono::milliseconds patience) override;
    /// Closes the client (after the first step, which ended the readings).
    bool release_restore(std::chrono::milliseconds patience) override;

private:
    void bind_board();

    BoardLink link;
    yarp::sig::Vector encoder_values;   ///< readings of the last activation, one per axis
    PositionBlock config;
    std::chrono::steady_clock::time_point last_check{};
};
