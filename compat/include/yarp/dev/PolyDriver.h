#pragma once
// Creates a device by name from a configuration (through the driver factory, see
// Drivers.h) and hands out its interfaces.
#include <yarp/dev/DeviceDriver.h>
#include <yarp/dev/Drivers.h>
#include <yarp/os/Searchable.h>

namespace yarp::dev {

/**
 * open() reads "device" from the configuration and opens that device with the whole
 * configuration. Devices of the bundled layer:
 * - "remote_controlboard": the client of a control board served by another process,
 *   configured with "remote" (the board's name, e.g. "/icubSim/head") and "local" (a name
 *   of this client's own, e.g. "/agent/head");
 * - "controlBoard_nws_yarp": serves the control board attached to it (IWrapper::attach)
 *   under "name" to remote_controlboard clients;
 * - "deviceBundler": opens "wrapper_device" and "attached_device" with the same
 *   configuration and attaches the second to the first.
 * Programs add their own devices with Drivers::factory().add().
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
    /// Closes the held device (and deletes it when owned).
    bool close() override;
    bool isValid() const;

    /// Holds an already opened device; with `own` the device is closed and deleted by
    /// close(), otherwise it is only let go (its owner closes it). False for nullptr.
    bool give(DeviceDriver* dd, bool own);

    DeviceDriver* getImplementation() override { return device_ ? device_->getImplementation() : nullptr; }

private:
    DeviceDriver* device_ = nullptr;
    bool owned_ = false;
};

} // namespace yarp::dev
