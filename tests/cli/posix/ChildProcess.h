#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmo::testing {

inline const std::string kCliBinary = VELMO_BINARY_DIR "/bin/velmo-cli";

struct ChildResult {
    bool exited = false;    // ended by exit() rather than by a signal
    int status = -1;        // the exit status when exited
    bool timedOut = false;  // killed after ChildSetup::timeoutSeconds
    std::string out;
    std::string err;
};

// How the child starts beyond its arguments and environment.
struct ChildSetup {
    std::vector<std::string> prefix;  // a command that runs velmo-cli (setpriv ...)
    std::string stdoutPath;           // standard output goes to this file instead of a pipe
    bool stdoutReaderGone = false;    // standard output is a pipe whose reader has already left
    int timeoutSeconds = 120;         // a child that hangs is killed and the test fails
};

// Runs velmo-cli with the given arguments and environment variables (set, or removed when
// the value is empty) and collects both outputs. onErr sees standard error as it grows and
// may act on the child (send it a signal); it is called with the pid.
inline ChildResult RunCli(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env,
                          const std::function<void(pid_t, const std::string&)>& onErr = {},
                          const ChildSetup& setup = {}) {
    int outPipe[2];
    int errPipe[2];
    ChildResult result;
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    std::vector<std::string> command = setup.prefix;
    command.push_back(kCliBinary);
    command.insert(command.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        int gone[2];
        if (setup.stdoutReaderGone && ::pipe(gone) == 0) {
            ::close(gone[0]);
            ::dup2(gone[1], STDOUT_FILENO);
        } else if (setup.stdoutPath.empty()) {
            ::dup2(outPipe[1], STDOUT_FILENO);
        } else {
            const int out = ::open(setup.stdoutPath.c_str(), O_WRONLY);
            if (out < 0) ::_exit(126);
            ::dup2(out, STDOUT_FILENO);
        }
        ::dup2(errPipe[1], STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
        for (const auto& [name, value] : env) {
            if (value.empty()) {
                ::unsetenv(name.c_str());
            } else {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
        }
        std::vector<char*> argv;
        for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        ::execv(argv.front(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(setup.timeoutSeconds);
    while (open > 0) {
        if (std::chrono::steady_clock::now() > deadline && !result.timedOut) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        if (::poll(fds, 2, 200) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
            if (i == 1 && onErr) onErr(pid, result.err);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace velmo::testing
