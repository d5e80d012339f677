#include "sim/serve/registration_canary.h"

#include <utility>

#include <yarp/os/Network.h>

namespace sim {

// The retired boards stay open for good: the canaries of earlier walks are kept.
RegistrationCanary::RegistrationCanary(std::string name) : canary_(std::move(name), true)
{
    canary_.open_first();
}

RegistrationCanary::Seen RegistrationCanary::check()
{
    if (canary_.name().empty()) {
        canary_.open_first();
        return Seen::Known;
    }
    // Asked twice: one lost answer must not make every port open again.
    if (!walking_
        && (yarp::os::NetworkBase::exists(canary_.name(), true) || yarp::os::NetworkBase::exists(canary_.name(), true))) {
        return Seen::Known;
    }
    walking_ = !canary_.walk();
    return walking_ ? Seen::Down : Seen::Restarted;
}

} // namespace sim
