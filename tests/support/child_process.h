#pragma once
// A program run as a child process: the controllers, the simulator stand-in, the suites' own
// helper programs. It starts with this process's environment, is stopped with a signal and
// waited for with a deadline, and is killed (SIGKILL) and reaped when it goes out of scope,
// so a failed test leaves nothing running.
//
// Captured output goes to a file, never a pipe: a child that prints more than a pipe holds
// while the test is busy elsewhere would block in its write.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ac_test {

/// How long a suite waits for a stopped program to end.
constexpr std::chrono::seconds kExitTimeout{30};

class ChildProcess {
public:
    using Duration = std::chrono::steady_clock::duration;

    /// Where the child's standard output and standard error go.
    enum class Output {
        inherited,            ///< both shared with this process
        discarded,            ///< output to /dev/null; errors shared with this process
        captured,             ///< output kept for output(); errors shared with this process
        captured_with_errors, ///< output and errors kept for output(), interleaved
    };

    /// Starts the program at the path `args[0]` with the remaining arguments.
    explicit ChildProcess(const std::vector<std::string>& args, Output output = Output::captured);
    /// Starts it with its output and errors written to `log_path` (created or emptied), which
    /// stays after the run for a look at a failure.
    ChildProcess(const std::vector<std::string>& args, const std::string& log_path);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    /// Whether the program was started (also once it has ended).
    bool started() const { return started_; }
    /// The child's process id while it has not been reaped, else -1.
    pid_t pid() const { return pid_; }
    /// True while the child has not ended (an ended child is reaped here).
    bool running();

    /// Sends `signal_number` to a child that has not been reaped.
    void signal(int signal_number);
    /// Sends `signal_number` and waits up to `timeout` for the child to end. The wait status,
    /// or -1 when it did not end in time.
    int stop(int signal_number, Duration timeout = kExitTimeout);
    /// Waits up to `timeout` for the child to end; the wait status, or -1.
    int wait_for_exit(Duration timeout = kExitTimeout);
    /// Kills the child at once (no clean-up runs in it) and reaps it.
    void kill();

    /// Everything the child has written so far to its captured output (empty when it is not
    /// captured).
    std::string output() const;
    /// The last `bytes` of the output, for failure messages.
    std::string tail(std::size_t bytes = 2000) const;
    /// Waits until `condition(output())` holds, the child has ended, or `timeout` passes;
    /// whether the condition holds.
    bool wait_for_output(const std::function<bool(const std::string&)>& condition, Duration timeout);
    /// Waits until the output contains `text`.
    bool wait_for_output(const std::string& text, Duration timeout);

private:
    void spawn(const std::vector<std::string>& args, Output output);

    bool started_ = false;
    pid_t pid_ = -1;
    int status_ = -1;
    int capture_fd_ = -1; ///< the file the captured output goes to, open for reading
};

/// The exit code in a wait status, or -1 when the child was ended by a signal or the status
/// is -1 (still running).
int exit_code(int status);

} // namespace ac_test
