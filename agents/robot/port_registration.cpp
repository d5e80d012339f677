#include "agents/robot/port_registration.h"

#include <utility>

void PortRegistration::configure(std::shared_ptr<const RegistrationWatch> w, std::string agent_name,
                                 std::string config_key, std::string port_name)
{
    watch = std::move(w);
    agent = std::move(agent_name);
    key = std::move(config_key);
    name = std::move(port_name);
}

bool PortRegistration::registered()
{
    if (link.is_up() && generation() != registered_in) {
        link.mark_down();   // the name server forgot it: open it again at once
        restarted = true;
    }
    return link.is_up();
}

void PortRegistration::begin()
{
    // Read before the open: a restart during it makes the next tick open the port again.
    attempt_in = generation();
}

void PortRegistration::say(const std::string& what) const
{
    print_line(agent + " " + key + ": " + what + "\n");
}

void PortRegistration::opened(bool ok)
{
    if (!ok) {
        link.mark_down();
        failure.say(agent + " " + key + ": cannot open " + name + ", trying again every second\n");
        return;
    }
    link.mark_up();
    registered_in = attempt_in;
    if (restarted) {
        say("the name server was restarted; registered " + name + " again");
    } else if (failure.pending()) {
        say("opened " + name);
    }
    restarted = false;
    failure.clear();
}
