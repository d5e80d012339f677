#include <yarp/dev/PolyDriver.h>

#include "dev/remote_control_board.h"

#include <yarp/os/Value.h>

#include <cstdio>

namespace yarp::dev {

PolyDriver::PolyDriver() = default;

PolyDriver::PolyDriver(yarp::os::Searchable& config)
{
    open(config);
}

PolyDriver::~PolyDriver()
{
    close();
}

bool PolyDriver::open(yarp::os::Searchable& config)
{
    close();
    const std::string name = config.find("device").asString();
    std::unique_ptr<DeviceDriver> device;
    if (name == "remote_controlboard") {
        device = std::make_unique<impl::RemoteControlBoard>();
    } else if (name.empty()) {
        std::fprintf(stderr, "PolyDriver: the configuration names no \"device\"\n");
        return false;
    } else {
        std::fprintf(stderr, "PolyDriver: unknown device \"%s\" (available: remote_controlboard)\n", name.c_str());
        return false;
    }
    if (!device->open(config)) {
        return false;
    }
    device_ = std::move(device);
    return true;
}

bool PolyDriver::close()
{
    if (!device_) {
        return false;
    }
    const bool ok = device_->close();
    device_.reset();
    return ok;
}

bool PolyDriver::isValid() const
{
    return device_ != nullptr;
}

} // namespace yarp::dev
