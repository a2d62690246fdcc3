#include "sys/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

extern char** environ;

namespace velmo::sys {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Programs that outlived their wait; their ends are collected later so no zombie stays for
// the rest of the program's life.
std::mutex& PendingLock() {
    static std::mutex lock;
    return lock;
}

std::vector<pid_t>& Pending() {
    static std::vector<pid_t> pids;
    return pids;
}

void CollectEndedPrograms() {
    const std::lock_guard<std::mutex> guard(PendingLock());
    auto& pids = Pending();
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [](pid_t pid) {
                                  int status = 0;
                                  const pid_t result = ::waitpid(pid, &status, WNOHANG);
                                  return result == pid || (result < 0 && errno == ECHILD);
                              }),
               pids.end());
}

void KeepForLater(pid_t pid) {
    const std::lock_guard<std::mutex> guard(PendingLock());
    Pending().push_back(pid);
}

// posix_spawn's attribute and file-action objects, released whatever happens.
class SpawnSetup {
  public:
    SpawnSetup()
        : m_haveAttributes(::posix_spawnattr_init(&m_attributes) == 0),
          m_haveActions(::posix_spawn_file_actions_init(&m_actions) == 0) {
        if (!m_haveAttributes || !m_haveActions) return;
        // Its own session: a Ctrl+C in our terminal does not reach the browser it starts.
        // No blocked signals and default handlers, whatever this program has set up.
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        m_ready =
            ::posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                          POSIX_SPAWN_SETSIGDEF) == 0 &&
            ::posix_spawnattr_setsigmask(&m_attributes, &none) == 0 &&
            ::posix_spawnattr_setsigdefault(&m_attributes, &all) == 0 &&
            ::posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY,
                                               0) == 0;
    }
    ~SpawnSetup() {
        if (m_haveActions) ::posix_spawn_file_actions_destroy(&m_actions);
        if (m_haveAttributes) ::posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool Ready() const { return m_ready; }
    const posix_spawnattr_t* Attributes() const { return &m_attributes; }
    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }

  private:
    posix_spawnattr_t m_attributes{};
    posix_spawn_file_actions_t m_actions{};
    bool m_haveAttributes = false;
    bool m_haveActions = false;
    bool m_ready = false;
};

ProgramOutcome Ended(int status) {
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        return {code == 0 ? ProgramState::Succeeded : ProgramState::Failed, code};
    }
    return {ProgramState::Failed, -1};
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string ProgramName() {
    return program_invocation_short_name;
}

std::string EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

ProgramOutcome RunProgram(const std::vector<std::string>& command, int waitMs) {
    CollectEndedPrograms();
    if (command.empty() || command.front().empty()) return {};
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    const SpawnSetup setup;
    if (!setup.Ready()) return {};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv.front(), setup.Actions(), setup.Attributes(), argv.data(),
                       environ) != 0) {
        return {};
    }

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    while (true) {
        int status = 0;
        const pid_t result = ::waitpid(pid, &status, WNOHANG);
        if (result == pid) return Ended(status);
        if (result < 0 && errno != EINTR) {
            // Someone else collected it: it did start, and what it answered is lost.
            return {ProgramState::StillRunning, -1};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            KeepForLater(pid);
            return {ProgramState::StillRunning, -1};
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace velmo::sys
