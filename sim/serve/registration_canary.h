#pragma once
// Whether the name server was started again since robot_sim registered its ports.
//
// On an installed YARP a name server that is killed and started again knows none of the
// ports still open: the controller's connections to the simulator keep working, but a
// controller or tool that connects anew finds no /icubSim port, and the server hands the
// ports' numbers out again. robot_sim finds out with a port of its own, the canary, and then
// opens every port and board again (which registers them). On the bundled layer opening a
// port registers it, so the canary is always known.
#include <string>

#include <yarp/os/Port.h>

#include "core/registration_walk.h"

namespace sim {

class RegistrationCanary {
public:
    enum class Seen {
        Known,       ///< the name server knows the canary: nothing changed
        Down,        ///< it does not, and the canary cannot be registered (yet): the server is down,
                     ///< or still hands out numbers in use
        Restarted,   ///< it did not, and the canary was registered again: a new server
    };

    /// Opens the canary under `name` (a failure shows at the first check).
    explicit RegistrationCanary(std::string name);
    RegistrationCanary(const RegistrationCanary&) = delete;
    RegistrationCanary& operator=(const RegistrationCanary&) = delete;

    /// Asks the name server about the canary and registers it again when it is not known
    /// (core/registration_walk.h: the canaries of earlier restarts stay open).
    /// A canary whose first open failed reports Known once it opens: the server did not
    /// forget anything then.
    Seen check();

private:
    WalkingCanary<yarp::os::Port> canary_;
    bool walking_ = false;   ///< a walk after a restart has not got past the numbers in use yet
};

} // namespace sim
