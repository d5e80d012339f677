#pragma once
// Objects kept until the process ends. Agents, Spaces and watchers of a suite go this way:
// timers and Space registrations keep pointers to an agent's proxies (and so to its monitor)
// for good, as they do in the programs.
#include <mutex>
#include <utility>
#include <vector>

namespace ac_test {

/// Creates a T that is never destroyed (it stays reachable, so leak checkers are quiet).
template <class T, class... Args>
T& make_kept(Args&&... args)
{
    static std::mutex guard;
    static auto* kept = new std::vector<void*>; // reachable to the end, never freed
    T* object = new T(std::forward<Args>(args)...);
    std::lock_guard<std::mutex> lock(guard);
    kept->push_back(object);
    return *object;
}

} // namespace ac_test
