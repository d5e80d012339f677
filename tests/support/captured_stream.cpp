#include "support/captured_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace ac_test {

CapturedStream::CapturedStream(Stream stream, bool echo) : fd_(static_cast<int>(stream)), echo_(echo)
{
    flush();
    file_ = anonymous_file();
    if (file_ < 0) {
        return;
    }
    saved_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    ::dup2(file_, fd_);
}

CapturedStream::~CapturedStream()
{
    restore();
    if (file_ >= 0) {
        ::close(file_);
    }
}

void CapturedStream::flush() const
{
    std::fflush(fd_ == 1 ? stdout : stderr);
}

std::string CapturedStream::text() const
{
    flush();
    return file_text(file_);
}

void CapturedStream::restore()
{
    if (saved_ < 0) {
        return;
    }
    const std::string captured = echo_ ? text() : std::string();
    flush();
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
    if (echo_) {
        std::fputs(captured.c_str(), fd_ == 1 ? stdout : stderr);
        flush();
    }
}

int anonymous_file()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/ac-test-output-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(path.c_str());
    }
    return fd;
}

std::string file_text(int fd)
{
    std::string out;
    char buffer[4096];
    for (off_t at = 0; fd >= 0;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    return out;
}

} // namespace ac_test
