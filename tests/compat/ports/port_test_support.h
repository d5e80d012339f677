#pragma once
// Shared by the port suites and their helper process: child processes, polling, and a
// numbered image pattern whose corruption is detectable.
#include <yarp/sig/Image.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <spawn.h>
#include <string>
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

#ifdef PORTS_TEST_HELPER
inline std::string helperPath()
{
    return PORTS_TEST_HELPER;
}
#endif

} // namespace ports_test
