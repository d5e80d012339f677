#include "sim/serve/registration_canary.h"

#include <utility>

#include <yarp/os/Network.h>

#include "core/registration_walk.h"

namespace sim {

RegistrationCanary::RegistrationCanary(std::string name) : base_(std::move(name)), current_(base_)
{
    registered_ = port_.open(current_);
}

RegistrationCanary::~RegistrationCanary() { port_.close(); }

RegistrationCanary::Seen RegistrationCanary::check()
{
    if (!registered_) {
        registered_ = walk(1);
        return Seen::Known;
    }
    // Asked twice: one lost answer must not make every port open again.
    if (!walking_ && (yarp::os::NetworkBase::exists(current_, true) || yarp::os::NetworkBase::exists(current_, true))) {
        return Seen::Known;
    }
    walking_ = !walk(registration_walk::kClearRun);
    return walking_ ? Seen::Down : Seen::Restarted;
}

bool RegistrationCanary::walk(int clearRun)
{
    return registration_walk::walk(port_, base_, renamed_, current_, clearRun);
}

} // namespace sim
