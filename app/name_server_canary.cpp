#include "app/name_server_canary.h"

#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

namespace {

/// The canary port. A name that met a number still held by another program's port keeps
/// getting that number from the server as long as the other port lives (the server keeps
/// numbers stable per name), so every attempt after a failed one takes a fresh name; each
/// such attempt uses up one number, and the canary gets past the ports still open.
class CanaryPort {
public:
    explicit CanaryPort(std::string name) : base(std::move(name)) {}
    ~CanaryPort() { port.close(); }

    bool known() const { return yarp::os::NetworkBase::exists(current, true); }

    bool register_again()
    {
        port.close();
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            current = fresh ? base : base + "/" + std::to_string(++renamed);
            fresh = false;
            if (port.open(current)) return true;
        }
        return false;
    }

private:
    // A server that is down refuses every attempt at once; one that hands out numbers in
    // use refuses one per number.
    static constexpr int kAttempts = 8;
    const std::string base;
    std::string current = base;
    bool fresh = true;       // the base name was not tried yet
    unsigned renamed = 0;
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
