#pragma once
// Whether a sensor agent's own port is registered with the name server, and opening it again
// when it is not.
#include <cstdint>
#include <memory>
#include <string>

#include "agents/robot/retrying_link.h"
#include "core/registration_watch.h"

/// Keeps one port of an agent registered: a port whose open failed (a name server that is
/// down, or that handed out a number still in use) is opened again about once a second, and
/// so is a port registered before the name server was started again (the watch's generation
/// moved on). Opening a port again drops its connections; the agent's PortLink then makes
/// them again. Lines read "<agent> <key>: <what>": a failed open once, the open that follows
/// it once, and every registration after a restart.
class PortRegistration {
public:
    /// `watch` may be null: then only a failed open is tried again.
    void configure(std::shared_ptr<const RegistrationWatch> watch, std::string agent,
                   std::string key, std::string port_name);

    /// The first open of `port`, at the agent's start.
    template <class PortType>
    void open(PortType& port)
    {
        begin();
        opened(port.open(name));
    }

    /// Called on every tick, before the port is used: opens it again when that is due. True
    /// when the port is registered after the call.
    template <class PortType>
    bool keep(PortType& port)
    {
        if (registered()) return true;
        if (!link.attempt_due()) return false;
        begin();
        port.close();
        opened(port.open(name));
        return registered();
    }

private:
    bool registered();
    void begin();
    void opened(bool ok);
    std::uint64_t generation() const { return watch ? watch->generation() : 0; }

    void say(const std::string& what) const;

    std::shared_ptr<const RegistrationWatch> watch;
    std::string agent, key, name;
    RetryingLink link;           // "up" while the port is registered; spaces the attempts
    ReportOnce<> failure;
    std::uint64_t registered_in = 0;
    std::uint64_t attempt_in = 0;
    bool restarted = false;      // the open in progress follows a restart of the server
};
