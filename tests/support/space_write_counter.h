#pragma once
// Counts the Space writes under one key, as an agent's trigger would see them.
#include <string>

#include "core/agentspace.h"

namespace ac_test {

class SpaceWriteCounter {
public:
    explicit SpaceWriteCounter(const std::string& key, Space& space = *Space::getSpace()) : watcher(new Watcher)
    {
        space.trigger_attach(key, &watcher->proxy, 1);
    }
    unsigned long writes() const { return watcher->proxy.triggers(); }

private:
    struct Watcher {
        Monitor monitor;
        Proxy proxy{monitor};
    };
    // The Space keeps its registrations for the whole run, so the watcher must outlive
    // this object: it is never freed, like an agent's proxies.
    Watcher* watcher;
};

} // namespace ac_test
