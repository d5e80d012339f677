#pragma once
// Small descriptor helpers the port core and its connections share: the wake-up eventfds of
// their threads, and whether a socket's peer has gone.
#include <cstdint>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace yarp::os::impl {

/// Joins `t`, or detaches it when called on `t` itself.
inline void joinUnlessSelf(std::thread& t)
{
    if (!t.joinable()) {
        return;
    }
    if (t.get_id() == std::this_thread::get_id()) {
        t.detach(); // a port closed from inside its own callback; the thread ends right after
    } else {
        t.join();
    }
}

inline void signalFd(int fd)
{
    const std::uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
}

inline void drainFd(int fd)
{
    std::uint64_t value = 0;
    (void)!::read(fd, &value, sizeof value);
}

/// True when the peer of a connected socket has closed or reset it.
inline bool peerGone(int fd)
{
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
}


} // namespace yarp::os::impl
