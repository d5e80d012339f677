#include "support/child_process.h"

#include "support/captured_stream.h"
#include "support/wait.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ac_test {

ChildProcess::ChildProcess(const std::vector<std::string>& args, Output output)
{
    if (output == Output::captured || output == Output::captured_with_errors) {
        capture_fd_ = anonymous_file();
        if (capture_fd_ < 0) {
            return;
        }
    }
    spawn(args, output);
}

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::string& log_path)
{
    capture_fd_ = ::open(log_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (capture_fd_ < 0) {
        return;
    }
    spawn(args, Output::captured_with_errors);
}

void ChildProcess::spawn(const std::vector<std::string>& args, Output output)
{
    if (args.empty()) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output == Output::discarded) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    } else if (output != Output::inherited) {
        posix_spawn_file_actions_adddup2(&actions, capture_fd_, STDOUT_FILENO);
        if (output == Output::captured_with_errors) {
            posix_spawn_file_actions_adddup2(&actions, capture_fd_, STDERR_FILENO);
        }
    }
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    started_ = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    if (!started_) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess()
{
    kill();
    if (capture_fd_ >= 0) {
        ::close(capture_fd_);
    }
}

bool ChildProcess::running()
{
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        pid_ = -1;
        return false;
    }
    return true;
}

void ChildProcess::signal(int signal_number)
{
    if (pid_ > 0) {
        ::kill(pid_, signal_number);
    }
}

int ChildProcess::stop(int signal_number, Duration timeout)
{
    signal(signal_number);
    return wait_for_exit(timeout);
}

int ChildProcess::wait_for_exit(Duration timeout)
{
    if (!started_) {
        return -1;
    }
    poll_until([this] { return !running(); }, timeout, std::chrono::milliseconds(10));
    return pid_ > 0 ? -1 : status_;
}

void ChildProcess::kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        if (::waitpid(pid_, &status, 0) == pid_) {
            status_ = status;
        }
        pid_ = -1;
    }
}

std::string ChildProcess::output() const
{
    return file_text(capture_fd_);
}

std::string ChildProcess::tail(std::size_t bytes) const
{
    const std::string all = output();
    return all.size() > bytes ? "..." + all.substr(all.size() - bytes) : all;
}

bool ChildProcess::wait_for_output(const std::function<bool(const std::string&)>& condition, Duration timeout)
{
    // One last look after the end: the child may have written its last words as it ended.
    poll_until([&] { return condition(output()) || !running(); }, timeout, std::chrono::milliseconds(10));
    return condition(output());
}

bool ChildProcess::wait_for_output(const std::string& text, Duration timeout)
{
    return wait_for_output([&](const std::string& out) { return out.find(text) != std::string::npos; }, timeout);
}

int exit_code(int status)
{
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace ac_test
