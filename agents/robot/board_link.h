#pragma once
// The control-board client of one motor agent.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/IEncoders.h>
#include <yarp/dev/IPositionControl.h>
#include <yarp/dev/IVelocityControl.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/sig/Vector.h>

#include "agents/robot/board_caller.h"
#include "agents/robot/control_modes.h"
#include "agents/robot/retrying_link.h"

/// An open control-board client and the views the agents command it through (nullptr for
/// one the board does not offer). Shared with the call in flight, so that a client whose call
/// overran is closed by the caller's thread once that call returns.
struct BoardClient {
    yarp::dev::PolyDriver driver;
    yarp::dev::IEncoders* encoders = nullptr;
    yarp::dev::IPositionControl* position = nullptr;
    yarp::dev::IVelocityControl* velocity = nullptr;
    yarp::dev::IControlMode* modes = nullptr;
};

/// What an open of a client on the caller's thread finds (board_link.cpp).
struct BoardOpening;

/// Opens a control-board client at start and, while the board is missing or after it was
/// lost, again about once a second; checks that a bound board still answers. Every call to
/// the board, the open and the close included, runs on the link's BoardCaller: an agent
/// waits at most BoardCaller::kBound for it, and a board that does not answer within that
/// is reported lost and bound again once it answers. Prints one line per change of state,
/// never one per attempt.
class BoardLink : public ControlModeAccess {
public:
    BoardLink() = default;
    /// Closes the client.
    ~BoardLink() override;
    BoardLink(const BoardLink&) = delete;
    BoardLink& operator=(const BoardLink&) = delete;

    /// `agent` and `key` name the source in the lines printed; the rest is the device
    /// configuration.
    void configure(std::string agent, std::string key, std::string device, std::string local,
                   std::string remote);

    /// When no board is bound and the last attempt is about a second old (or there was
    /// none), opens the device; true when this call bound it. The caller then checks what
    /// the board offers and calls `accept` once set up, or `refuse` if a view it needs is
    /// missing.
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

    /// Runs `call` on the bound client within the bound. False when no board is bound or the
    /// call fails; a call that overruns leaves the board lost (reported, bound again later).
    /// `call` runs on another thread and may outlive this one: it must own what it touches.
    bool call(std::function<bool(BoardClient&)> call);
    /// The encoder readings of the bound board into `values` (one per axis); left as they
    /// were when the board gives none.
    bool read_encoders(yarp::sig::Vector& values);
    /// For a release step of `agent`: waits up to `patience` for a call to the board that
    /// overran to return; when one is still in the board (it does not answer), prints the
    /// release's line for an agent left in a call and returns false.
    bool settled_for_release(std::chrono::milliseconds patience, const char* agent);

    bool bound() const { return state.is_up(); }
    int axes() const { return axis_count; }
    const std::string& remote() const { return remote_port; }
    bool offers_position() const { return client && client->position != nullptr; }
    bool offers_velocity() const { return client && client->velocity != nullptr; }

    // ControlModeAccess: the board's control modes, within the bound.
    bool offers_modes() const override { return client && client->modes != nullptr; }
    bool read_modes(std::vector<int>& modes) override;
    bool set_mode(int joint, int mode) override;
    bool set_modes(const std::vector<int>& modes) override;

private:
    /// Takes a client whose open outlasted the bound once that open has ended: a loaded
    /// machine can take longer than the bound to open one, and every later attempt would.
    bool adopt_late_open();
    bool bind_opened(std::shared_ptr<BoardClient> opened, int axes);
    void drop();
    void lose(const std::string& why);

    std::string device, local_port, remote_port;
    RetryingLink state;
    int axis_count = 0;
    BoardCaller caller;
    std::shared_ptr<BoardClient> client;   ///< the bound client; null while down
    std::shared_ptr<BoardClient> late_client;   ///< being opened past the bound
    std::shared_ptr<BoardOpening> late_opening; ///< what that open finds
};
