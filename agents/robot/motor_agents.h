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
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/IEncoders.h>
#include <yarp/dev/IPositionControl.h>
#include <yarp/dev/IVelocityControl.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/sig/Vector.h>

#include "agents/robot/robot_release.h"
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
    /// `board` names the board for FoundModes: the modes read before the first switch are
    /// noted there when none could be read when the board was bound.
    ControlModeGuard(yarp::dev::IControlMode* modes, int axes, int wanted_mode,
                     std::string board = "");

    /// Makes sure every joint is in the wanted mode. When the board cannot report its modes,
    /// all joints are set in one request.
    void ensure();

    /// Puts every joint back in the mode given for it in `modes` (one per axis), switching
    /// only the joints found in another mode; position mode for every joint when `modes` is
    /// empty (the modes found could never be read). Does nothing without the view.
    void restore(std::vector<int> modes);

private:
    /// Sets the mode of joint `j`, or of every joint in one request (`all`, one per axis),
    /// and records the switch in RecentModeSwitches.
    void switch_joint(int j, int mode);
    void switch_all(std::vector<int> all);

    yarp::dev::IControlMode* modes = nullptr;
    int axes = 0;
    int wanted = 0;
    std::vector<int> current;
    std::string board;
};

/// The control-mode switches this program made on each board that a reading has not shown
/// yet. A YARP client reads the modes from the board's state stream, so for a stream period
/// or so after a switch, by this agent or another agent of the program on its own client, a
/// reading still shows the old mode; taken at its word, an agent would skip a switch that is
/// needed or repeat one just made. A switch counts until a reading shows it, or for at most
/// `kTrust` (someone outside the program may have switched the joint again since).
class RecentModeSwitches {
public:
    static constexpr std::chrono::milliseconds kTrust{500};

    /// This program set `joint` of `board` to `mode`.
    static void made(const std::string& board, int joint, int mode);
    /// Replaces in `modes`, a reading of `board`, the modes of the switches it does not show
    /// yet; forgets the switches it shows and those older than `kTrust`.
    static void overlay(const std::string& board, std::vector<int>& modes);
};

/// The control modes each board's joints had when the motor agents of this program bound it,
/// so that quitting can put them back whichever agent switched a joint since. Boards are
/// told apart by their remote port name. The first agent to bind a board records its modes;
/// the record stays while any agent of the program holds the board, so that a joint switched
/// by one agent is never taken for a mode that the robot started in.
class FoundModes {
public:
    /// An agent bound `board`; `view` reads its modes when no agent held it yet.
    static void bound(const std::string& board, yarp::dev::IControlMode* view, int axes);
    /// The modes of a held `board` read before this program switched any joint: recorded
    /// when the read at binding failed (a client may have no state yet right after opening).
    static void note(const std::string& board, const std::vector<int>& modes);
    /// Joints of a held `board` were switched before its modes could be read: a later read
    /// shows this program's own modes, so nothing is recorded any more (a restore then puts
    /// the joints in position mode, the robot's start mode).
    static void switched_unread(const std::string& board);
    /// An agent let go of `board` (lost or closed it).
    static void unbound(const std::string& board);
    /// The modes recorded for `board`; empty when none could be read.
    static std::vector<int> of(const std::string& board);
};

/// The control-board client of one motor agent: opens it at start and, while the board is
/// missing or after it was lost, again about once a second; checks that a bound board still
/// answers. Prints one line per change of state, never one per attempt.
class BoardLink {
public:
    /// `agent` and `key` name the source in the lines printed; the rest is the device
    /// configuration.
    void configure(std::string agent, std::string key, std::string device, std::string local,
                   std::string remote);

    /// When no board is bound and the last attempt is about a second old (or there was
    /// none), opens the device; true when this call bound it. The caller then takes its
    /// views and calls `accept` once set up, or `refuse` if a view it needs is missing.
    bool open_if_due();
    /// The agent has set itself up on the board just opened: reports the board bound when
    /// it had been reported missing or lost.
    void accept();
    /// Gives up a board just opened that lacks what the agent needs (`why`, e.g. "no
    /// velocity-controlled board"); it is tried again later, and reported only once.
    void refuse(const char* why);
    /// Asks the bound board for its axis count (one request); when it does not answer, or
    /// answers another count, closes the client and reports the board lost. True while bound.
    bool still_there();
    /// Closes the client for good (no line printed).
    void close();

    bool bound() const { return is_bound; }
    int axes() const { return axis_count; }
    const std::string& remote() const { return remote_port; }

    yarp::dev::PolyDriver driver;
    yarp::dev::IEncoders* encoders = nullptr;

private:
    void report(const std::string& what);
    void drop();

    std::string agent, key, device, local_port, remote_port;
    bool is_bound = false;
    bool ever_tried = false;
    bool unbound_reported = false;   // the line about the current unbound state was printed
    int axis_count = 0;
    std::chrono::steady_clock::time_point last_attempt{};
};

/// Drives the joints of one control board in position mode: whenever the joint targets, the
/// reference speeds or the reference accelerations are written in the Space, sends all three.
/// The move of an activation runs with the references of the previous activation (30 on
/// every axis before the first). Binds the board again when it comes back after a loss.
class MotorAgent : public Agent, public RobotReleaser {
public:
    /// Prints the creation line; opens nothing.
    explicit MotorAgent(std::string key);
    /// Stops the motion (when the board was bound) and closes the device. A started agent
    /// must not be deleted: its board check timer keeps a pointer to it for good (the
    /// programs never delete agents; release_robot_agents stops the joints at shutdown).
    ~MotorAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

    bool release_stop(std::chrono::milliseconds patience) override;
    bool release_restore(std::chrono::milliseconds patience) override;

    /// The wake-up number of the once-a-second board check (set by init), so that an
    /// observer can tell those wake-ups from the ones that carry commands.
    int board_check_id() const { return check_timer; }

private:
    void bind_board();

    BoardLink link;
    yarp::dev::IPositionControl* position_control = nullptr;
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

    DeviceLock device_lock;   ///< held over every device call
    bool released = false;          ///< stopped for shutdown: commands nothing more
    int check_timer = -1;           ///< the proxy number of the once-a-second board check
};

/// Drives the joints of one control board in velocity mode: whenever the velocity key is
/// written (a refused lower-priority write included) sends the vector in force, or zeros
/// when none is valid. Binds the board again when it comes back after a loss.
class VelocityMotorAgent : public Agent, public RobotReleaser {
public:
    /// Prints the creation line; opens nothing.
    explicit VelocityMotorAgent(std::string key);
    /// Stops the motion (when the board was bound) and closes the device. Like MotorAgent,
    /// a started agent must not be deleted.
    ~VelocityMotorAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

    bool release_stop(std::chrono::milliseconds patience) override;
    bool release_restore(std::chrono::milliseconds patience) override;

    /// The wake-up number of the once-a-second board check (set by init), so that an
    /// observer can tell those wake-ups from the ones that carry commands.
    int board_check_id() const { return check_timer; }

private:
    void bind_board();

    BoardLink link;
    yarp::dev::IVelocityControl* velocity_control = nullptr;
    yarp::sig::Vector velocities;        ///< the command last sent
    yarp::sig::Vector zero_velocities;   ///< fallback: all 0
    VelocityBlock config;

    ControlModeGuard velocity_mode;
    AxisCountCheck velocity_check{"", "", 0};

    DeviceLock device_lock;
    bool released = false;
    bool drove = false;             ///< sent a velocity since the board was bound
    int check_timer = -1;
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

    /// Closes the client (after the first step, which ended the readings).
    bool release_restore(std::chrono::milliseconds patience) override;

private:
    void bind_board();

    BoardLink link;
    yarp::sig::Vector encoder_values;   ///< readings of the last activation, one per axis
    PositionBlock config;
    std::chrono::steady_clock::time_point last_check{};
};
