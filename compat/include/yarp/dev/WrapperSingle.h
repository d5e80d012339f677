#pragma once
#include <yarp/dev/IMultipleWrapper.h>
#include <yarp/dev/IWrapper.h>

namespace yarp::dev {

/// A wrapper of exactly one device: attachAll() takes a list of one and attaches it.
class WrapperSingle : public IWrapper, public IMultipleWrapper {
public:
    bool attachAll(const PolyDriverList& drivers) final
    {
        const PolyDriverDescriptor* only = drivers.size() == 1 ? drivers[0] : nullptr;
        return only && only->poly && attach(only->poly);
    }
    bool detachAll() final { return detach(); }
};

} // namespace yarp::dev
