#pragma once
// Shared by the port suites and their helper process: the helper run as a child process, the
// standard error of this one captured, and a raw peer that speaks the bundled layer's wire
// protocol. Waiting, child processes, captures and the numbered image pattern are the shared
// ones of tests/support.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "support/captured_stream.h"
#include "support/child_process.h"
#include "support/image_pattern.h"
#include "support/text.h"
#include "support/wait.h"

namespace ports_test {

using ac_test::poll_until;

/// The helper program run as a child process, its output shared with the suite's.
class Child : public ac_test::ChildProcess {
public:
    explicit Child(const std::vector<std::string>& args) : ChildProcess(args, Output::inherited) {}
    /// Waits (bounded) for the exit; the exit status, or -1.
    int wait() { return ac_test::exit_code(wait_for_exit()); }
};

/// Raw connection to a port whose name needs no escaping beyond '/' ("/raw/x"), as a
/// hostile peer that knows the registry's file layout would make it; -1 on failure.
inline int rawConnect(const std::string& name)
{
    std::string key;
    for (char c : name) {
        key += c == '/' ? std::string("%2F") : std::string(1, c);
    }
    const char* registry = std::getenv("AGENT_CONTROLLER_PORTS");
    if (registry == nullptr) {
        return -1;
    }
    const std::string path = std::string(registry) + "/" + key + ".sock";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return -1;
    }
    std::strcpy(addr.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline void sendBytes(int fd, const void* data, std::size_t len)
{
    (void)!::send(fd, data, len, MSG_NOSIGNAL);
}

/// Frame header as the transport writes it: magic, kind, sequence, length.
inline void sendHeader(int fd, std::uint32_t kind, std::uint64_t length, std::uint64_t seq = 0)
{
    struct {
        std::uint32_t magic = 0x31504341;
        std::uint32_t kind;
        std::uint64_t seq;
        std::uint64_t length;
    } h;
    h.kind = kind;
    h.seq = seq;
    h.length = length;
    sendBytes(fd, &h, sizeof h);
}

/// Frame kinds a raw peer sends.
constexpr std::uint32_t helloFrame = 1;
constexpr std::uint32_t dataFrame = 3;
constexpr std::uint32_t requestFrame = 4;

/// The first frame of a data connection from `source` to `destination`.
inline void helloFrom(int fd, const std::string& source, const std::string& destination)
{
    const std::string hello = source + "\n" + destination;
    sendHeader(fd, helloFrame, hello.size());
    sendBytes(fd, hello.data(), hello.size());
}

/// True when the peer closed the connection (reads up to the end of the stream). A peer that
/// closes with our bytes still unread resets the connection instead.
inline bool closedByPeer(int fd)
{
    char buf[256];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return errno == ECONNRESET;
        }
    }
}

/// Collects what the process writes to standard error while it exists.
class StderrCapture : public ac_test::CapturedStream {
public:
    StderrCapture() : CapturedStream(Stream::errors) {}
};

#ifdef PORTS_TEST_HELPER
inline std::string helperPath()
{
    return PORTS_TEST_HELPER;
}
#endif

} // namespace ports_test
