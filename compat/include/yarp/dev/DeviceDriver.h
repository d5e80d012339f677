#pragma once
#include <string>

#include <yarp/os/Searchable.h>

namespace yarp::dev {

/// A device: opened from a configuration, closed when done; its capabilities are the
/// interfaces it implements, reached with view().
class DeviceDriver {
public:
    DeviceDriver() = default;
    DeviceDriver(const DeviceDriver&) = delete;
    DeviceDriver& operator=(const DeviceDriver&) = delete;
    virtual ~DeviceDriver() = default;

    virtual bool open(yarp::os::Searchable& config)
    {
        (void)config;
        return true;
    }
    virtual bool close() { return true; }

    /// A label for diagnostics (the bundled layer leaves it empty unless set).
    virtual std::string id() const { return id_; }
    virtual void setId(const std::string& id) { id_ = id; }

    /// Sets `x` to this device's interface T (for a PolyDriver: the held device's), or to
    /// nullptr; returns whether it is offered.
    template <class T>
    bool view(T*& x)
    {
        DeviceDriver* implementation = getImplementation();
        x = implementation ? dynamic_cast<T*>(implementation) : nullptr;
        return x != nullptr;
    }

    /// The object that implements the interfaces: the device itself, or what it holds.
    virtual DeviceDriver* getImplementation() { return this; }

private:
    std::string id_;
};

} // namespace yarp::dev
