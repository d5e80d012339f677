#pragma once
// Device "deviceBundler": opens a network wrapper and the device it serves from one
// configuration, and attaches them.
#include <yarp/dev/DeviceDriver.h>
#include <yarp/dev/IWrapper.h>
#include <yarp/dev/PolyDriver.h>

namespace yarp::dev::impl {

/**
 * Configuration: "wrapper_device" and "attached_device" (required device names),
 * "doNotAttach" (optional, true: open both, attach neither). Both devices are opened with
 * the whole configuration, their own name put under "device". close() detaches, then
 * closes the wrapper before the device it served.
 */
class DeviceBundler : public DeviceDriver {
public:
    ~DeviceBundler() override { close(); }
    bool open(yarp::os::Searchable& config) override;
    bool close() override;

private:
    PolyDriver wrapper_;
    PolyDriver attached_;
    IWrapper* iwrapper_ = nullptr;
};

} // namespace yarp::dev::impl
