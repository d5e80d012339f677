#include "sim/serve/registration_canary.h"

#include <utility>

#include <yarp/os/Network.h>

namespace sim {

namespace {
// A name server started again hands out numbers from the start of its range, and some of
// them are still held by ports that were open before (in this and other programs): an open
// given one fails and uses it up. A name that met one is given it again and again while its
// holder lives (the server keeps numbers per name). So once the server was restarted, the
// canary walks past the numbers in use, with a fresh name per attempt, until kClearRun opens
// in a row succeed; every port registered after that gets a free number. A server that is
// down refuses kDownRun attempts in a row (a run of numbers in use may too: the walk then
// goes on at the next check).
constexpr int kClearRun = 10;
constexpr int kDownRun = 8;
constexpr int kMostAttempts = 128;
} // namespace

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
    walking_ = !walk(kClearRun);
    return walking_ ? Seen::Down : Seen::Restarted;
}

bool RegistrationCanary::walk(int clearRun)
{
    int opened = 0;
    int refused = 0;
    for (int attempt = 0; attempt < kMostAttempts && opened < clearRun && refused < kDownRun; ++attempt) {
        // The canary keeps the name it is open under: a refused name may stay registered
        // with the number of another program's live port, which would answer for it.
        const std::string name = base_ + "/" + std::to_string(++renamed_);
        port_.close();
        if (port_.open(name)) {
            ++opened;
            refused = 0;
            current_ = name;
        } else {
            opened = 0;
            ++refused;
        }
    }
    return opened >= clearRun;
}

} // namespace sim
