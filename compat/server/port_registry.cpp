#include <compat/port_registry.h>

#include "os/port_core.h"
#include "os/registry.h"

#include <algorithm>
#include <sstream>

namespace compat {

std::string portRegistryDirectory()
{
    return yarp::os::impl::registry::directory();
}

std::vector<PortInfo> listPorts()
{
    std::vector<PortInfo> ports;
    for (const std::string& name : yarp::os::impl::registry::entryNames()) {
        std::string answer;
        if (!yarp::os::impl::adminCall(name, "info", answer, 2000)) {
            continue;
        }
        // "<inputs> <outputs> <target>..."
        std::istringstream in(answer);
        PortInfo info;
        info.name = name;
        int outputs = 0;
        in >> info.inputs >> outputs;
        std::string target;
        while (in >> target) {
            info.outputs.push_back(target);
        }
        ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) { return a.name < b.name; });
    return ports;
}

} // namespace compat
