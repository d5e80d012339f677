#include "app/name_server_canary.h"

#include <utility>

#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include "core/registration_walk.h"

namespace {

/// The canary: its plain name at the first registration, a walk past the numbers in use after
/// a restart (core/registration_walk.h).
class CanaryPort {
public:
    // Every port of the controller registers again after a restart: its old canaries may go.
    explicit CanaryPort(std::string name) : canary(std::move(name), false) {}

    bool known() const
    {
        return !walking && !canary.name().empty() && yarp::os::NetworkBase::exists(canary.name(), true);
    }

    bool register_again()
    {
        if (canary.name().empty()) return canary.open_first();
        walking = !canary.walk();
        return !walking;
    }

private:
    WalkingCanary<yarp::os::Port> canary;
    bool walking = false;    // a walk after a restart has not got past the numbers in use yet
};

}  // namespace

std::shared_ptr<RegistrationWatch> watch_name_server(const std::string& prefix)
{
    auto canary = std::make_shared<CanaryPort>(prefix + "/registration");
    RegistrationWatch::Canary calls{[canary] { return canary->known(); },
                                    [canary] { return canary->register_again(); }};
    return std::make_shared<RegistrationWatch>(prefix.substr(1), std::move(calls));
}
