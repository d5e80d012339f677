#pragma once
#include <yarp/dev/PolyDriverList.h>

namespace yarp::dev {

/// A network wrapper that serves several attached devices.
class IMultipleWrapper {
public:
    virtual ~IMultipleWrapper() = default;
    virtual bool attachAll(const PolyDriverList& drivers) = 0;
    virtual bool detachAll() = 0;
};

} // namespace yarp::dev
