#pragma once
// The path every motor agent that drives joints shares: bind the board and set the control
// mode up, check the board once a second, command only while bound, and the two steps of the
// shutdown release. A driving agent says what it needs of the board and what a command is.
#include <chrono>
#include <memory>
#include <string>

#include "agents/robot/board_link.h"
#include "agents/robot/control_modes.h"
#include "agents/robot/robot_release.h"
#include "core/agentspace.h"

/// The base of MotorAgent and VelocityMotorAgent. Every device call runs under the agent's
/// device lock, and waits for the board at most BoardCaller::kBound; after the release's
/// first step the agent commands nothing more.
class BoardDrivingAgent : public Agent, public RobotReleaser {
public:
    /// Each step takes the device lock within `patience`, or says the agent is stuck.
    bool release_stop(std::chrono::milliseconds patience) override;
    bool release_restore(std::chrono::milliseconds patience) override;

    /// The wake-up number of the once-a-second board check (set by init), so that an
    /// observer can tell those wake-ups from the ones that carry commands.
    int board_check_id() const { return check_timer; }

    /// Checks the board on the check timer's wake-ups; on every other one, commands while
    /// the board is bound.
    void sense_select_act(int id) override;

protected:
    /// `agent_class` names the agent in its lines; `control_mode` is the mode its commands
    /// need; `modes` is the book shared with the other agents on the same board.
    BoardDrivingAgent(std::string key, const char* agent_class, int control_mode,
                      std::shared_ptr<ControlModeBook> modes);

    /// For init: configures the link, binds the board if it is there, and starts the
    /// once-a-second check.
    void start_board(const std::string& key, const std::string& device, const std::string& local,
                     const std::string& remote);

    /// Takes the views the agent commands through from the board just opened; returns why
    /// the board will not do (e.g. "no position-controlled board"), or nullptr.
    virtual const char* take_views() = 0;
    /// Sizes the agent for `axes` joints once the views are taken and the mode guard is set.
    virtual void set_up(int axes) = 0;
    /// One command to the bound board, under the device lock.
    virtual void command() = 0;
    /// Stops the joints the agent drove, under the device lock, for the release.
    virtual void stop_joints() = 0;

    BoardLink link;
    ControlModeGuard mode_guard;
    DeviceLock device_lock;   ///< held over every device call
    bool released = false;    ///< stopped for shutdown: commands nothing more

private:
    void bind_board();
    /// Tells the book that this agent no longer holds a board it has lost.
    void let_go_if_lost();

    const char* agent_class;
    int control_mode;
    std::shared_ptr<ControlModeBook> modes;
    int check_timer = -1;   ///< the proxy number of the once-a-second board check
    bool holding = false;   ///< counted among the board's holders in the book
};
