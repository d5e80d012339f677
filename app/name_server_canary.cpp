#include "app/name_server_canary.h"

#include <utility>

#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

namespace {

/// The canary port. A name server started again hands out numbers from the start of its
/// range, and some are still held by ports opened before (in this and other programs): an
/// open given one fails and uses it up, and a name that met one is given it again and again
/// while its holder lives (the server keeps numbers per name). So after a restart the canary
/// walks past the numbers in use, with a fresh name per attempt, until kClearRun opens in a
/// row succeed; the ports registered again after that get free numbers. A server that is down
/// refuses kDownRun attempts in a row (so may a run of numbers in use: the walk then goes on
/// at the next check).
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
    static constexpr int kClearRun = 10;
    static constexpr int kDownRun = 8;
    static constexpr int kMostAttempts = 128;

    bool walk()
    {
        int opened = 0;
        int refused = 0;
        for (int attempt = 0; attempt < kMostAttempts && opened < kClearRun && refused < kDownRun; ++attempt) {
            // The canary keeps the name it is open under: a refused name may stay registered
            // with the number of another program's live port, which would answer for it.
            const std::string name = base + "/" + std::to_string(++renamed);
            port.close();
            if (port.open(name)) {
                ++opened;
                refused = 0;
                current = name;
            } else {
                opened = 0;
                ++refused;
            }
        }
        return opened >= kClearRun;
    }

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
