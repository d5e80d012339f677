#pragma once
// A program run as a child process with its standard output read through a pipe, for the
// suites that start the controllers and the simulator stand-in.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    /// Starts `args[0]` with the remaining arguments and this process's environment. With
    /// `capture`, its standard output goes into a pipe that output() collects; otherwise to
    /// /dev/null. Standard error is inherited.
    explicit ChildProcess(const std::vector<std::string>& args, bool capture = true) {
        int fds[2] = {-1, -1};
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (capture) {
            posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_fd = fds[0];
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    /// Kills a child still running (SIGKILL) and reaps it.
    ~ChildProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out_fd >= 0) close(out_fd);
    }

    bool started() const { return pid > 0; }
    const std::string& output() const { return text; }

    /// Collects output until `condition(output())` holds, the output ends, or `timeout`
    /// passes. Returns whether the condition holds.
    bool read_until(const std::function<bool(const std::string&)>& condition,
                    std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!condition(text)) {
            if (!read_some(deadline)) return condition(text);
        }
        return true;
    }

    /// Sends `signal_number` and waits up to `timeout` for the child to end, collecting its
    /// output meanwhile (so that a full pipe cannot hold it up). Returns the wait status,
    /// or -1 when it did not end in time.
    int signal_and_wait(int signal_number, std::chrono::milliseconds timeout) {
        if (pid <= 0) return -1;
        kill(pid, signal_number);
        return wait_for_exit(timeout);
    }

    /// Waits up to `timeout` for the child to end, collecting its output. The wait status,
    /// or -1.
    int wait_for_exit(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            int status = 0;
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                pid = -1;
                while (read_some(Clock::now())) {
                }
                return status;
            }
            if (Clock::now() > deadline) return -1;
            // Drain the pipe; when it has nothing, poll the exit again shortly.
            if (!read_some(std::min(deadline, Clock::now() + std::chrono::milliseconds(20)))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }

private:
    // Reads what is available before `deadline`; false at end of output or when the deadline
    // passed with nothing to read.
    bool read_some(Clock::time_point deadline) {
        if (out_fd < 0) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{out_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count()))) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t n = read(out_fd, buffer, sizeof buffer);
        if (n <= 0) {
            close(out_fd);
            out_fd = -1;
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
        return true;
    }

    pid_t pid = -1;
    int out_fd = -1;
    std::string text;
};
