#pragma once
// Process-wide set-up of the port layer and the operations on connections between ports.
//
// Ports live on this host only: each open port is registered in a per-user registry
// directory (default /tmp/agent-controller-ports-<uid>, or the directory named by the
// environment variable AGENT_CONTROLLER_PORTS). No name server process is needed.
#include <string>

namespace yarp::os {

class NetworkBase {
public:
    /// Asks the port `src` (in any process) to open an output connection to `dest`. True
    /// when the connection exists afterwards (also when it existed before); false when
    /// either port does not exist. `carrier` is accepted and ignored: every connection
    /// is a local stream socket. Without `quiet`, a failure prints one line.
    static bool connect(const std::string& src, const std::string& dest, const std::string& carrier = "",
                        bool quiet = true);
    /// Asks `src` to close its output connection to `dest`; false when there was none.
    static bool disconnect(const std::string& src, const std::string& dest, bool quiet = true);
    /// True when a live port is registered under `port`.
    static bool exists(const std::string& port, bool quiet = true);
    /// True when `src` has an output connection to `dest`.
    static bool isConnected(const std::string& src, const std::string& dest, bool quiet = true);

    /// True when ports can be opened: the registry directory is usable.
    static bool checkNetwork();
    static bool checkNetwork(double timeout);

    static void initMinimum();
    static void finiMinimum();
};

/// Constructing one initialises the layer for the process; destroying it shuts it down.
/// Ports also work without one.
class Network : public NetworkBase {
public:
    Network();
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;
    ~Network();

    static void init();
    static void fini();
};

} // namespace yarp::os
