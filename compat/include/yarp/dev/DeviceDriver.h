#pragma once
#include <yarp/os/Searchable.h>

namespace yarp::dev {

/// A device: opened from a configuration, closed when done; its capabilities are the
/// interfaces it implements (reached with PolyDriver::view).
class DeviceDriver {
public:
    virtual ~DeviceDriver() = default;
    virtual bool open(yarp::os::Searchable& config)
    {
        (void)config;
        return true;
    }
    virtual bool close() { return true; }
};

} // namespace yarp::dev
