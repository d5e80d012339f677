#pragma once

namespace yarp::dev {

class PolyDriver;

/// A network wrapper: serves the device attached to it.
class IWrapper {
public:
    virtual ~IWrapper() = default;
    /// Starts serving `driver`'s device, which must stay open until detach().
    virtual bool attach(PolyDriver* driver) = 0;
    virtual bool detach() = 0;
};

} // namespace yarp::dev
