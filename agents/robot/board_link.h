#pragma once
// The control-board client of one motor agent.
#include <string>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/IEncoders.h>
#include <yarp/dev/PolyDriver.h>

#include "agents/robot/retrying_link.h"

/// Opens a control-board client at start and, while the board is missing or after it was
/// lost, again about once a second; checks that a bound board still answers. Prints one line
/// per change of state, never one per attempt.
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

    bool bound() const { return state.is_up(); }
    int axes() const { return axis_count; }
    const std::string& remote() const { return remote_port; }
    /// The board's control-mode view, or nullptr when it offers none.
    yarp::dev::IControlMode* control_modes();

    yarp::dev::PolyDriver driver;
    yarp::dev::IEncoders* encoders = nullptr;

private:
    void drop();

    std::string device, local_port, remote_port;
    RetryingLink state;
    int axis_count = 0;
};
