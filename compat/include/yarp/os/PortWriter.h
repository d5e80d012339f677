#pragma once
#include <yarp/os/ConnectionWriter.h>

namespace yarp::os {

/// Anything that can be sent through a port.
class PortWriter {
public:
    virtual ~PortWriter() = default;
    /// Appends the object's wire form; false when it cannot be encoded.
    virtual bool write(ConnectionWriter& writer) const = 0;
};

} // namespace yarp::os
