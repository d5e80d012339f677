#pragma once
#include <yarp/os/ConnectionReader.h>

namespace yarp::os {

/// Anything that can be filled from a message received on a port.
class PortReader {
public:
    virtual ~PortReader() = default;
    /// Decodes one message; false (object left valid, typically empty) on malformed input.
    virtual bool read(ConnectionReader& reader) = 0;
};

} // namespace yarp::os
