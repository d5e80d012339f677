#pragma once
// Control modes of the boards the motor agents drive: the bookkeeping the agents of one
// program share, and the guard each agent puts its joints in the mode it commands with.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <yarp/dev/IControlMode.h>

/// The control-mode calls of one bound board, as its link makes them (within the link's
/// bound on a call). Vectors hold one mode per axis.
class ControlModeAccess {
public:
    virtual ~ControlModeAccess() = default;
    virtual bool offers_modes() const = 0;
    virtual bool read_modes(std::vector<int>& modes) = 0;
    virtual bool set_mode(int joint, int mode) = 0;
    virtual bool set_modes(const std::vector<int>& modes) = 0;
};

/// What the motor agents of one program know together about the control modes of the boards
/// they share. The program's wiring makes one and hands it to every agent it starts; agents
/// on one board must share one book, or each takes the other's switches for the robot's.
/// Boards are told apart by their remote port name. Thread-safe.
///
/// - Recent switches: a YARP client reads the modes from the board's state stream, so for a
///   stream period or so after a switch, by this agent or another agent of the program on
///   its own client, a reading still shows the old mode; taken at its word, an agent would
///   skip a switch that is needed or repeat one just made. A switch counts until a reading
///   shows it, or for at most `kTrust` (someone outside the program may have switched the
///   joint again since).
/// - Found modes: the modes each board's joints had when the agents bound it, so that
///   quitting can put them back whichever agent switched a joint since. The first agent to
///   bind a board records its modes; the record stays while any agent holds the board, so
///   that a joint switched by one agent is never taken for a mode the robot started in.
class ControlModeBook {
public:
    static constexpr std::chrono::milliseconds kTrust{500};

    /// This program set `joint` of `board` to `mode`.
    void switch_made(const std::string& board, int joint, int mode);
    /// Replaces in `modes`, a reading of `board`, the modes of the switches it does not show
    /// yet; forgets the switches it shows and those older than `kTrust`.
    void overlay_recent(const std::string& board, std::vector<int>& modes);

    /// An agent bound `board`; `view` reads its modes when no agent held it yet.
    void bound(const std::string& board, ControlModeAccess* view, int axes);
    /// The modes of a held `board` read before this program switched any joint: recorded
    /// when the read at binding failed (a client may have no state yet right after opening).
    void note_found(const std::string& board, const std::vector<int>& modes);
    /// Joints of a held `board` were switched before its modes could be read: a later read
    /// shows this program's own modes, so nothing is recorded any more (a restore then puts
    /// the joints in position mode, the robot's start mode).
    void switched_unread(const std::string& board);
    /// An agent let go of `board` (lost or closed it).
    void unbound(const std::string& board);
    /// The modes recorded for `board`; empty when none could be read.
    std::vector<int> found(const std::string& board);

private:
    struct ModeSwitch {
        int mode;
        std::chrono::steady_clock::time_point at;
    };
    struct BoardRecord {
        int holders = 0;          // agents of this program that hold the board
        std::vector<int> modes;   // as found by the first of them
        bool switched = false;    // joints switched while `modes` was still unknown
    };

    std::mutex mutex;
    std::map<std::string, std::map<int, ModeSwitch>> recent;   // per board, per joint
    std::map<std::string, BoardRecord> records;
};

/// Puts the joints of a board in one control mode before a command that the board would
/// silently ignore in any other mode. Switches only the joints found in another mode, so a
/// command to joints already in the mode costs one query and no switch. Without a view (the
/// board offers no control modes) it does nothing.
class ControlModeGuard {
public:
    ControlModeGuard() = default;
    /// `board` names the board in `book`, where the switches are recorded and the modes read
    /// before the first switch are noted when none could be read when the board was bound.
    ControlModeGuard(ControlModeBook& book, ControlModeAccess* modes, int axes,
                     int wanted_mode, std::string board);

    /// Makes sure every joint is in the wanted mode. When the board cannot report its modes,
    /// all joints are set in one request.
    void ensure();

    /// Puts every joint back in the mode given for it in `modes` (one per axis), switching
    /// only the joints found in another mode; position mode for every joint when `modes` is
    /// empty (the modes found could never be read). Does nothing without the view.
    void restore(std::vector<int> modes);

private:
    /// Sets the mode of joint `j`, or of every joint in one request (`all`, one per axis),
    /// and records the switch in the book.
    void switch_joint(int j, int mode);
    void switch_all(std::vector<int> all);

    ControlModeBook* book = nullptr;
    ControlModeAccess* modes = nullptr;
    int axes = 0;
    int wanted = 0;
    std::vector<int> current;
    std::string board;
};
