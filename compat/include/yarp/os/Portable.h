#pragma once
#include <yarp/os/PortReader.h>
#include <yarp/os/PortWriter.h>

namespace yarp::os {

/// A type that travels both ways: Bottle, Vector and images are Portables.
class Portable : public PortWriter, public PortReader {};

} // namespace yarp::os
