#include <yarp/dev/PolyDriver.h>

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
    DeviceDriver* device = Drivers::factory().open(config);
    return device && give(device, true);
}

bool PolyDriver::give(DeviceDriver* dd, bool own)
{
    close();
    if (!dd) {
        return false;
    }
    device_ = dd;
    owned_ = own;
    return true;
}

bool PolyDriver::close()
{
    if (!device_) {
        return false;
    }
    bool ok = true;
    if (owned_) {
        ok = device_->close();
        delete device_;
    }
    device_ = nullptr;
    owned_ = false;
    return ok;
}

bool PolyDriver::isValid() const
{
    return device_ != nullptr;
}

} // namespace yarp::dev
