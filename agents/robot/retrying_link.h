#pragma once
// What every link of a robot agent to the robot keeps, whether it binds a control board or
// connects a port: whether it is up, when it was last tried, and what was said about it.
#include <chrono>
#include <string>

#include "core/report.h"

/// The bind-and-retry state of one link of an agent to the robot. A link that is down is
/// tried again no more often than about once a second, whatever the agent's own period; a
/// missing peer is reported once, a loss every time, and a recovery only after a missing or
/// lost peer was reported. Lines read "<agent> <key>: <what>".
class RetryingLink {
public:
    /// Attempts are this far apart: the agents' checks come once a second, so a little less
    /// keeps them from skipping one.
    static constexpr std::chrono::milliseconds kRetrySpacing{900};

    /// `agent` and `key` name the source in the lines printed.
    void name(std::string agent, std::string key);

    /// True when the link is down and the last attempt is about a second old (or there was
    /// none); the caller makes the attempt now.
    bool attempt_due();
    /// The link is up (no line).
    void mark_up() { up = true; }
    /// The link is down (no line): closed, or given up by its owner.
    void mark_down() { up = false; }
    /// The link is up again: prints `what` when its absence had been reported.
    void recovered(const std::string& what);
    /// An attempt failed: the link is down, and `what` is printed unless the current down
    /// state was reported already.
    void failed(const std::string& what);
    /// A link that was up has gone: prints `what`, always.
    void lost(const std::string& what);
    /// The next attempt waits a full spacing from now.
    void hold_off() { last_attempt = std::chrono::steady_clock::now(); }

    bool is_up() const { return up; }

private:
    std::string line(const std::string& what) const;

    std::string agent, key;
    bool up = false;
    bool tried = false;
    std::chrono::steady_clock::time_point last_attempt{};
    ReportOnce<> down;
};
