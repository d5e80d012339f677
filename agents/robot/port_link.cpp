#include "agents/robot/port_link.h"

#include <utility>

#include <yarp/os/Network.h>

void PortLink::configure(std::string agent_name, std::string config_key, std::string source,
                         std::string destination, std::string remote_name)
{
    state.name(std::move(agent_name), std::move(config_key));
    from = std::move(source);
    to = std::move(destination);
    remote = std::move(remote_name);
}

bool PortLink::keep(int connections)
{
    if (connections > 0) {
        state.mark_up();
        return true;
    }
    if (state.is_up()) {
        state.lost("lost " + remote + ", trying again every second");
    }
    if (!state.attempt_due()) {
        return false;
    }
    // Asking first keeps a missing port from being reported by the connect itself.
    if (yarp::os::NetworkBase::exists(remote, true)
        && yarp::os::NetworkBase::connect(from, to, "", true)) {
        state.recovered("connected " + from + " to " + to);
        return true;
    }
    state.failed("no " + remote + " to connect " + from + " to " + to
                 + ", trying again every second");
    return false;
}
