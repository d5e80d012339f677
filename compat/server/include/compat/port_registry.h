#pragma once
// Inspection of the port registry (internal API of the bundled YARP layer, for operator
// tools; a real YARP installation has its name server for this).
#include <string>
#include <vector>

namespace compat {

struct PortInfo {
    std::string name;
    int inputs = 0;                   ///< data connections coming in
    std::vector<std::string> outputs; ///< ports this one sends to
};

/// The registry directory in use (AGENT_CONTROLLER_PORTS or the per-user default).
std::string portRegistryDirectory();

/// Every live port of this user's registry, sorted by name. Entries left by dead processes
/// are skipped (and reclaimed by whoever opens their name next).
std::vector<PortInfo> listPorts();

} // namespace compat
