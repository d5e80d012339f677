#include "support/captured_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace ac_test {

CapturedStream::CapturedStream(Stream stream, bool echo) : fd_(static_cast<int>(stream)), echo_(echo)
{
    flush();
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/ac-captured-XXXXXX";
    file_ = ::mkostemp(path.data(), O_CLOEXEC);
    if (file_ < 0) {
        return;
    }
    ::unlink(path.c_str());
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
    std::string out;
    if (file_ < 0) {
        return out;
    }
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(file_, buffer, sizeof buffer, at);
        if (got <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    return out;
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

} // namespace ac_test
