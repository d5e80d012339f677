#include <yarp/dev/Drivers.h>

#include "dev/control_board_nws.h"
#include "dev/device_bundler.h"
#include "dev/remote_control_board.h"
#include "os/wire.h"

#include <yarp/os/Property.h>
#include <yarp/os/Value.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace yarp::dev {

struct Drivers::Private {
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<DriverCreator>> creators; // in the order added

    DriverCreator* findLocked(const std::string& name) const
    {
        for (const auto& c : creators) {
            if (c->getName() == name) {
                return c.get();
            }
        }
        return nullptr;
    }
};

Drivers& Drivers::factory()
{
    static Drivers instance;
    return instance;
}

Drivers::Drivers() : p_(new Private)
{
    add(new DriverCreatorOf<impl::RemoteControlBoard>("remote_controlboard", "", "RemoteControlBoard"));
    add(new DriverCreatorOf<impl::ControlBoardNws>("controlBoard_nws_yarp", "", "ControlBoardNws"));
    add(new DriverCreatorOf<impl::DeviceBundler>("deviceBundler", "", "DeviceBundler"));
}

Drivers::~Drivers() { delete p_; }

void Drivers::add(DriverCreator* creator)
{
    if (!creator) {
        return;
    }
    std::lock_guard<std::mutex> lock(p_->mutex);
    p_->creators.emplace_back(creator);
}

DriverCreator* Drivers::find(const char* name)
{
    std::lock_guard<std::mutex> lock(p_->mutex);
    return name ? p_->findLocked(name) : nullptr;
}

bool Drivers::remove(const char* name)
{
    std::lock_guard<std::mutex> lock(p_->mutex);
    const std::size_t before = p_->creators.size();
    if (name) {
        const std::string n = name;
        auto& c = p_->creators;
        c.erase(std::remove_if(c.begin(), c.end(), [&n](const std::unique_ptr<DriverCreator>& d) { return d->getName() == n; }),
                c.end());
    }
    return p_->creators.size() != before;
}

std::string Drivers::toString() const
{
    std::lock_guard<std::mutex> lock(p_->mutex);
    std::string s;
    for (const auto& c : p_->creators) {
        s += c->getName() + "\n";
    }
    return s;
}

DeviceDriver* Drivers::open(const char* device)
{
    yarp::os::Property config;
    config.put("device", device ? device : "");
    return open(config);
}

DeviceDriver* Drivers::open(yarp::os::Searchable& config)
{
    const std::string name = config.find("device").asString();
    if (name.empty()) {
        yarp::os::impl::diagnostic("PolyDriver: the configuration names no \"device\"");
        return nullptr;
    }
    std::unique_ptr<DeviceDriver> device;
    {
        std::lock_guard<std::mutex> lock(p_->mutex);
        DriverCreator* creator = p_->findLocked(name);
        if (!creator) {
            std::string known;
            for (const auto& c : p_->creators) {
                known += (known.empty() ? "" : ", ") + c->getName();
            }
            yarp::os::impl::diagnostic("PolyDriver: unknown device \"%s\" (available: %s)", name.c_str(), known.c_str());
            return nullptr;
        }
        device.reset(creator->create());
    }
    // Opened outside the lock: a device may open others (deviceBundler does).
    if (!device || !device->open(config)) {
        return nullptr;
    }
    return device.release();
}

} // namespace yarp::dev
