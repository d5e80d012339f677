#pragma once
// Creates a device by name from a configuration and hands out its interfaces.
#include <memory>

#include <yarp/dev/DeviceDriver.h>
#include <yarp/os/Searchable.h>

namespace yarp::dev {

/**
 * open() reads "device" from the configuration and opens that device with the whole
 * configuration. The bundled layer offers one device, "remote_controlboard": the client of
 * a control board served by another process, configured with "remote" (the board's name,
 * e.g. "/icubSim/head") and "local" (a name of this client's own, e.g. "/agent/head").
 */
class PolyDriver : public DeviceDriver {
public:
    PolyDriver();
    /// Opens at once (see open()); check isValid().
    explicit PolyDriver(yarp::os::Searchable& config);
    PolyDriver(const PolyDriver&) = delete;
    PolyDriver& operator=(const PolyDriver&) = delete;
    ~PolyDriver() override;

    /// False, with one diagnostic line, when the device is unknown or cannot be opened
    /// (for remote_controlboard: when no board is served under "remote").
    bool open(yarp::os::Searchable& config) override;
    bool close() override;
    bool isValid() const;

    /// Sets `x` to the device's interface T, or nullptr; returns whether it is offered.
    template <class T>
    bool view(T*& x)
    {
        x = device_ ? dynamic_cast<T*>(device_.get()) : nullptr;
        return x != nullptr;
    }

private:
    std::unique_ptr<DeviceDriver> device_;
};

} // namespace yarp::dev
