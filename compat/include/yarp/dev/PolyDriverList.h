#pragma once
// Named devices handed to a wrapper's attachAll().
#include <string>
#include <vector>

#include <yarp/dev/PolyDriver.h>

namespace yarp::dev {

class PolyDriverDescriptor {
public:
    PolyDriverDescriptor() = default;
    PolyDriverDescriptor(PolyDriver* np, const char* k) : poly(np), key(k ? k : "") {}

    PolyDriver* poly = nullptr;
    std::string key;
};

class PolyDriverList {
public:
    PolyDriverDescriptor* operator[](int k) { return valid(k) ? &items_[static_cast<std::size_t>(k)] : nullptr; }
    const PolyDriverDescriptor* operator[](int k) const
    {
        return valid(k) ? &items_[static_cast<std::size_t>(k)] : nullptr;
    }
    int size() const { return static_cast<int>(items_.size()); }
    void push(PolyDriver* p, const char* k) { items_.emplace_back(p, k); }
    void push(PolyDriverDescriptor& v) { items_.push_back(v); }

private:
    bool valid(int k) const { return k >= 0 && static_cast<std::size_t>(k) < items_.size(); }
    std::vector<PolyDriverDescriptor> items_;
};

} // namespace yarp::dev
