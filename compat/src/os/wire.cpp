#include "os/wire.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>

namespace yarp::os::impl {

void FrameBuffer::resize(std::size_t n)
{
    if (n > capacity_) {
        // Grow geometrically so a stream of slowly growing messages does not reallocate
        // every time.
        std::size_t cap = capacity_ == 0 ? 4096 : capacity_;
        while (cap < n) {
            cap *= 2;
        }
        data_.reset(new char[cap]);
        capacity_ = cap;
    }
    size_ = n;
}

bool sendFrame(int fd, FrameKind kind, std::uint64_t seq, const char* data, std::size_t len)
{
    FrameHeader header;
    header.magic = frameMagic;
    header.kind = static_cast<std::uint32_t>(kind);
    header.seq = seq;
    header.length = len;
    iovec iov[2];
    iov[0].iov_base = &header;
    iov[0].iov_len = sizeof header;
    iov[1].iov_base = const_cast<char*>(data);
    iov[1].iov_len = len;
    int first = 0;
    const int count = len > 0 ? 2 : 1;
    while (first < count) {
        msghdr msg{};
        msg.msg_iov = iov + first;
        msg.msg_iovlen = static_cast<decltype(msg.msg_iovlen)>(count - first);
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false; // EAGAIN here means the send timeout expired: the reader is stuck
        }
        auto left = static_cast<std::size_t>(n);
        while (first < count && left >= iov[first].iov_len) {
            left -= iov[first].iov_len;
            ++first;
        }
        if (first < count) {
            iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
    }
    return true;
}

RecvStatus waitReadable(int fd, int timeoutMs, int wakeFd)
{
    pollfd fds[2];
    fds[0] = {fd, POLLIN, 0};
    fds[1] = {wakeFd, POLLIN, 0};
    const nfds_t n = wakeFd >= 0 ? 2 : 1;
    for (;;) {
        const int r = ::poll(fds, n, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) {
                continue; // a signal; the wait restarts with the full timeout, which only errs long
            }
            return RecvStatus::Failed;
        }
        if (r == 0) {
            return RecvStatus::TimedOut;
        }
        if (n == 2 && (fds[1].revents & POLLIN)) {
            return RecvStatus::Interrupted;
        }
        return RecvStatus::Ok;
    }
}

namespace {

RecvStatus recvAll(int fd, char* out, std::size_t len)
{
    std::size_t got = 0;
    while (got < len) {
        const ssize_t n = ::recv(fd, out + got, len - got, MSG_WAITALL);
        if (n == 0) {
            return RecvStatus::Closed;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK ? RecvStatus::TimedOut : RecvStatus::Failed;
        }
        got += static_cast<std::size_t>(n);
    }
    return RecvStatus::Ok;
}

} // namespace

RecvStatus recvFrame(int fd, FrameHeader& header, FrameBuffer& payload, int timeoutMs, int wakeFd,
                     std::uint64_t maxLength)
{
    if (timeoutMs >= 0 || wakeFd >= 0) {
        const RecvStatus ready = waitReadable(fd, timeoutMs, wakeFd);
        if (ready != RecvStatus::Ok) {
            return ready;
        }
    }
    RecvStatus s = recvAll(fd, reinterpret_cast<char*>(&header), sizeof header);
    if (s != RecvStatus::Ok) {
        // A timeout in the middle of a frame leaves the stream unusable.
        return s == RecvStatus::TimedOut ? RecvStatus::Failed : s;
    }
    if (header.magic != frameMagic || header.kind < static_cast<std::uint32_t>(FrameKind::Hello)
        || header.kind > static_cast<std::uint32_t>(FrameKind::AdminReply)) {
        return RecvStatus::Failed;
    }
    if (header.length > maxLength) {
        return RecvStatus::TooLarge;
    }
    payload.resize(static_cast<std::size_t>(header.length));
    if (header.length > 0) {
        s = recvAll(fd, payload.data(), payload.size());
        if (s != RecvStatus::Ok) {
            return RecvStatus::Failed; // the peer went away or stalled in the middle of a frame
        }
    }
    return RecvStatus::Ok;
}

namespace {
void setTimeoutOption(int fd, int option, int ms)
{
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    (void)::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}
} // namespace

void setSendTimeout(int fd, int ms) { setTimeoutOption(fd, SO_SNDTIMEO, ms); }
void setRecvTimeout(int fd, int ms) { setTimeoutOption(fd, SO_RCVTIMEO, ms); }

void setLargeBuffers(int fd)
{
    const int size = socketBufferBytes;
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void diagnostic(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
}

} // namespace yarp::os::impl
