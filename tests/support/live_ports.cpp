#include "support/live_ports.h"

#include <yarp/os/Network.h>

#ifdef AC_BUNDLED_YARP
#include <compat/port_registry.h>

#include <dirent.h>
#else
#include <yarp/os/Bottle.h>
#include <yarp/os/Value.h>
#endif

namespace ac_test {

std::vector<std::string> registered_ports()
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

std::vector<std::string> live_ports()
{
    std::vector<std::string> live;
    for (const std::string& name : registered_ports()) {
        if (port_live(name)) {
            live.push_back(name);
        }
    }
    return live;
}

bool port_live(const std::string& name)
{
    return yarp::os::NetworkBase::exists(name);
}

bool registry_mentions(const std::string& fragment)
{
#ifdef AC_BUNDLED_YARP
    // The registry's entries, stale ones included, are files named after the ports.
    DIR* dir = ::opendir(compat::portRegistryDirectory().c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string(entry->d_name).find(fragment) != std::string::npos) {
            found = true;
        }
    }
    ::closedir(dir);
    return found;
#else
    for (const std::string& name : registered_ports()) {
        if (name.find(fragment) != std::string::npos) {
            return true;
        }
    }
    return false;
#endif
}

} // namespace ac_test
