#include <yarp/os/Network.h>

#include "os/port_core.h"
#include "os/registry.h"
#include "os/wire.h"

#include <atomic>

namespace yarp::os {

namespace {

std::atomic<int> initCount{0};

/// Connecting asks `src` to reach `dest`, which includes the destination's acceptance.
constexpr int connectTimeoutMs = 10000;

bool report(bool quiet, const std::string& line)
{
    if (!quiet) {
        impl::diagnostic("%s", line.c_str());
    }
    return false;
}

} // namespace

bool NetworkBase::connect(const std::string& src, const std::string& dest, const std::string& /*carrier*/, bool quiet)
{
    std::string why;
    if (!impl::registry::validName(dest, &why)) {
        return report(quiet, "Cannot connect " + src + " to \"" + dest + "\": " + why);
    }
    std::string answer;
    if (!impl::adminCall(src, "connect " + dest, answer, connectTimeoutMs)) {
        return report(quiet, "Cannot connect " + src + " to " + dest + ": " + answer);
    }
    return true;
}

bool NetworkBase::disconnect(const std::string& src, const std::string& dest, bool quiet)
{
    std::string answer;
    if (!impl::adminCall(src, "disconnect " + dest, answer)) {
        return report(quiet, "Cannot disconnect " + src + " from " + dest + ": " + answer);
    }
    return true;
}

bool NetworkBase::exists(const std::string& port, bool quiet)
{
    std::string answer;
    if (!impl::adminCall(port, "ping", answer)) {
        return report(quiet, "Port " + port + " does not exist: " + answer);
    }
    return true;
}

bool NetworkBase::isConnected(const std::string& src, const std::string& dest, bool quiet)
{
    std::string answer;
    if (!impl::adminCall(src, "connected " + dest, answer)) {
        return report(quiet, "No connection from " + src + " to " + dest);
    }
    return true;
}

bool NetworkBase::checkNetwork()
{
    std::string why;
    if (impl::registry::directory(&why).empty()) {
        impl::diagnostic("%s", why.c_str());
        return false;
    }
    return true;
}

bool NetworkBase::checkNetwork(double /*timeout*/)
{
    return checkNetwork();
}

void NetworkBase::initMinimum()
{
    ++initCount;
}

void NetworkBase::finiMinimum()
{
    if (initCount > 0) {
        --initCount;
    }
}

Network::Network()
{
    init();
}

Network::~Network()
{
    fini();
}

void Network::init()
{
    initMinimum();
}

void Network::fini()
{
    finiMinimum();
}

} // namespace yarp::os
