#pragma once
// What is registered and live, asked the same way on every YARP: the bundled layer's port
// registry (built with AC_BUNDLED_YARP), or an installed YARP's name server. For suites that
// check which ports a program leaves behind.
#include <yarp/os/Network.h>

#include <string>
#include <vector>

#ifdef AC_BUNDLED_YARP
#include <compat/port_registry.h>
#else
#include <yarp/os/Bottle.h>
#include <yarp/os/Value.h>
#endif

namespace ac_test {

/// Every port name registered, live or left behind by a process that died (the name server's
/// own port excepted).
inline std::vector<std::string> registeredPorts()
{
    std::vector<std::string> names;
#ifdef AC_BUNDLED_YARP
    for (const compat::PortInfo& p : compat::listPorts()) {
        names.push_back(p.name);
    }
#else
    const std::string server = yarp::os::NetworkBase::getNameServerName();
    yarp::os::Bottle request("bot list");
    yarp::os::Bottle reply;
    if (!yarp::os::NetworkBase::write(server, request, reply)) {
        return names;
    }
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const yarp::os::Bottle* entry = reply.get(i).asList();
        const std::string name = entry ? entry->check("name", yarp::os::Value("")).asString() : "";
        // The name server registers itself and its multicast fallback.
        if (!name.empty() && name[0] == '/' && name != server && name != "/fallback") {
            names.push_back(name);
        }
    }
#endif
    return names;
}

/// The registered ports that answer.
inline std::vector<std::string> livePorts()
{
    std::vector<std::string> live;
    for (const std::string& name : registeredPorts()) {
        if (yarp::os::NetworkBase::exists(name)) {
            live.push_back(name);
        }
    }
    return live;
}

}  // namespace ac_test
