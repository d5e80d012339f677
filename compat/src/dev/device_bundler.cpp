#include "dev/device_bundler.h"

#include "os/wire.h"

#include <yarp/os/Property.h>
#include <yarp/os/Value.h>

namespace yarp::dev::impl {

namespace {

/// `config` with "device" set to `device` and the bundler's own keys removed.
yarp::os::Property configFor(const yarp::os::Searchable& config, const std::string& device)
{
    yarp::os::Property p(config.toString());
    p.unput("wrapper_device");
    p.unput("attached_device");
    p.unput("doNotAttach");
    p.put("device", device);
    return p;
}

/// A flag given as true, 1 or a non-zero number.
bool isSet(const yarp::os::Value& v)
{
    return v.isString() ? v.asString() == "true" || v.asString() == "1" : v.asFloat64() != 0.0;
}

} // namespace

bool DeviceBundler::open(yarp::os::Searchable& config)
{
    close();
    const std::string wrapperName = config.find("wrapper_device").asString();
    const std::string attachedName = config.find("attached_device").asString();
    if (wrapperName.empty() || attachedName.empty()) {
        yarp::os::impl::diagnostic("deviceBundler: the configuration needs \"wrapper_device\" and \"attached_device\"");
        return false;
    }
    yarp::os::Property wrapperConfig = configFor(config, wrapperName);
    yarp::os::Property attachedConfig = configFor(config, attachedName);
    if (!wrapper_.open(wrapperConfig) || !attached_.open(attachedConfig)) {
        close();
        return false; // PolyDriver or the device printed why
    }
    if (isSet(config.find("doNotAttach"))) {
        return true;
    }
    if (!wrapper_.view(iwrapper_)) {
        yarp::os::impl::diagnostic("deviceBundler: %s is not a network wrapper", wrapperName.c_str());
        close();
        return false;
    }
    if (!iwrapper_->attach(&attached_)) {
        yarp::os::impl::diagnostic("deviceBundler: %s refused to serve %s", wrapperName.c_str(), attachedName.c_str());
        iwrapper_ = nullptr;
        close();
        return false;
    }
    return true;
}

bool DeviceBundler::close()
{
    if (iwrapper_) {
        iwrapper_->detach();
        iwrapper_ = nullptr;
    }
    wrapper_.close();
    attached_.close();
    return true;
}

} // namespace yarp::dev::impl
