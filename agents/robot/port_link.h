#pragma once
// The connection of one sensor agent's port to the simulator's port.
#include <string>

#include "agents/robot/retrying_link.h"

/// Keeps the connection between a sensor agent's port and the simulator's port: made at start
/// and, while it is missing or after it was lost, again about once a second. Prints one line
/// per change of state, never one per attempt.
class PortLink {
public:
    /// `agent` and `key` name the source in the lines printed. The connection runs from
    /// `from` to `to`; `remote` is the simulator's end of it.
    void configure(std::string agent, std::string key, std::string from, std::string to,
                   std::string remote);

    /// Called on every tick with the port's current number of connections in the link's
    /// direction. Connects when there is none and the last attempt is about a second old.
    /// True when connected after the call.
    bool keep(int connections);

private:
    std::string from, to, remote;
    RetryingLink state;
};
