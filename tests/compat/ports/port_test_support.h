#pragma once
// Shared by the port suites and their helper process: child processes, polling, and a
// numbered image pattern whose corruption is detectable.
#include <yarp/sig/Image.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <cstdio>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ports_test {

/// Polls `condition` every few milliseconds until it holds or `timeout` passes.
template <class F>
bool pollUntil(F condition, std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

/// Fills the image with a pattern derived from `frame`; the frame number sits in the first
/// four bytes.
inline void paintFrame(yarp::sig::ImageOf<yarp::sig::PixelRgb>& image, int frame)
{
    unsigned char* raw = image.getRawImage();
    const std::size_t size = image.getRawImageSize();
    for (std::size_t i = 4; i < size; ++i) {
        raw[i] = static_cast<unsigned char>((i * 7 + static_cast<std::size_t>(frame)) & 0xff);
    }
    const auto f = static_cast<std::uint32_t>(frame);
    std::memcpy(raw, &f, size < 4 ? size : 4);
}

/// The frame number of a painted image, or -1 when any byte breaks the pattern.
inline int frameOf(const yarp::sig::ImageOf<yarp::sig::PixelRgb>& image)
{
    const unsigned char* raw = image.getRawImage();
    const std::size_t size = image.getRawImageSize();
    if (size < 4) {
        return -1;
    }
    std::uint32_t f = 0;
    std::memcpy(&f, raw, 4);
    for (std::size_t i = 4; i < size; ++i) {
        if (raw[i] != static_cast<unsigned char>((i * 7 + f) & 0xff)) {
            return -1;
        }
    }
    return static_cast<int>(f);
}

/// A child process running the helper program; killed (SIGKILL) when destroyed.
class Child {
public:
    explicit Child(const std::vector<std::string>& args)
    {
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { kill(); }

    bool started() const { return pid_ > 0; }
    /// Kills the process at once (no clean-up runs in it) and reaps it.
    void kill()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    /// Waits for a normal exit; the exit status, or -1.
    int wait()
    {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

/// Raw connection to a port whose name needs no escaping beyond '/' ("/raw/x"), as a
/// hostile peer that knows the registry's file layout would make it; -1 on failure.
inline int rawConnect(const std::string& name)
{
    std::string key;
    for (char c : name) {
        key += c == '/' ? std::string("%2F") : std::string(1, c);
    }
    const std::string path = std::string(std::getenv("AGENT_CONTROLLER_PORTS")) + "/" + key + ".sock";
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
class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        saved_ = ::dup(2);
        file_ = std::tmpfile();
        if (file_) {
            ::dup2(fileno(file_), 2);
        }
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    ~StderrCapture()
    {
        restore();
        if (file_) {
            std::fclose(file_);
        }
    }
    /// Everything written so far (standard error stays captured).
    std::string text()
    {
        std::fflush(stderr);
        std::string out;
        if (!file_) {
            return out;
        }
        char buf[4096];
        ssize_t n = 0;
        off_t at = 0;
        while ((n = ::pread(fileno(file_), buf, sizeof buf, at)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            at += n;
        }
        return out;
    }
    void restore()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, 2);
            ::close(saved_);
            saved_ = -1;
        }
    }

private:
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

/// Lines of `text` that contain `needle`.
inline int countLines(const std::string& text, const std::string& needle)
{
    int n = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        n += text.substr(start, end - start).find(needle) != std::string::npos ? 1 : 0;
        start = end + 1;
    }
    return n;
}

#ifdef PORTS_TEST_HELPER
inline std::string helperPath()
{
    return PORTS_TEST_HELPER;
}
#endif

} // namespace ports_test
