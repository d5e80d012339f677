#include "app/name_server_canary.h"

#include <utility>

#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include "core/registration_walk.h"

namespace {

/// The canary port: the plain name at the first registration, a walk past the numbers in use
/// after a restart (core/registration_walk.h).
class CanaryPort {
public:
    explicit CanaryPort(std::string name) : base(std::move(name)) {}
    ~CanaryPort() { port.close(); }

    bool known() const { return !walking && yarp::os::NetworkBase::exists(current, true); }

    /// The first registration takes the plain name; a later one walks.
    bool register_again()
    {
        if (current.empty()) {
            if (port.open(base)) current = base;
            return !current.empty();
        }
        walking = !walk();
        return !walking;
    }

private:
    bool walk() { return registration_walk::walk(port, base, renamed, current); }

    const std::string base;
    std::string current;     // the name the canary is open under; empty before the first open
    unsigned renamed = 0;
    bool walking = false;    // a walk after a restart has not got past the numbers in use yet
    yarp::os::Port port;
};

}  // namespace

std::shared_ptr<RegistrationWatch> watch_name_server(const std::string& prefix)
{
    auto canary = std::make_shared<CanaryPort>(prefix + "/registration");
    RegistrationWatch::Canary calls{[canary] { return canary->known(); },
                                    [canary] { return canary->register_again(); }};
    return std::make_shared<RegistrationWatch>(prefix.substr(1), std::move(calls));
}
