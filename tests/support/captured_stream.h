#pragma once
// What this process prints, read back by a test: one standard stream (file descriptor 1 or 2)
// redirected into an unlinked temporary file while a CapturedStream lives, so the lines any
// thread prints (agents, the port layer) can be checked.
#include <string>

namespace ac_test {

class CapturedStream {
public:
    enum class Stream { output = 1, errors = 2 };

    /// Starts capturing `stream`. With `echo`, the captured text is written to the real
    /// stream when the capture ends, so it still shows in the test's log.
    explicit CapturedStream(Stream stream, bool echo = false);
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;
    ~CapturedStream();

    /// Everything printed on the stream since the capture began.
    std::string text() const;
    /// Gives the stream back (echoing as asked); text() still reads what was captured.
    void restore();

private:
    void flush() const;

    const int fd_;
    const bool echo_;
    int file_ = -1;
    int saved_ = -1;
};

/// A new unlinked temporary file (in $TMPDIR or /tmp), open for reading and writing and
/// closed on exec; -1 when none can be made.
int anonymous_file();

/// Everything in the file open as `fd`, read from its start without moving its offset (a
/// capture file another process may still be writing to).
std::string file_text(int fd);

} // namespace ac_test
