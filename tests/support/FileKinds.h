#pragma once

// Named pipes, device nodes, sockets and another user, made inside a test's own folder: no
// test ever names a device node of the system, not even through a link.

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace velmo::testing {

// Linux's memory devices: null swallows everything, full refuses every write with ENOSPC.
inline constexpr unsigned kMemMajor = 1;
inline constexpr unsigned kNullMinor = 3;
inline constexpr unsigned kFullMinor = 7;

inline bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0666) == 0;
}

// A character device node of our own at path. Empty on success, else why it could not be
// made (only root may, and a container may forbid it), for GTEST_SKIP.
inline std::string MakeCharDevice(const std::string& path, unsigned major, unsigned minor) {
    if (::geteuid() != 0) return "making a device node needs root";
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(major, minor)) != 0) {
        return std::string("mknod: ") + std::strerror(errno);
    }
    return {};
}

// A listening Unix socket at path, open while the object lives.
class SocketFile {
  public:
    explicit SocketFile(const std::string& path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_fd < 0 || path.size() >= sizeof address.sun_path) return;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        m_ok = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
               ::listen(m_fd, 1) == 0;
    }
    ~SocketFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    SocketFile(const SocketFile&) = delete;
    SocketFile& operator=(const SocketFile&) = delete;
    bool Ok() const { return m_ok; }

  private:
    int m_fd = -1;
    bool m_ok = false;
};

// Reads a named pipe on a thread from construction on, so that a writer finds a reader.
class FifoReader {
  public:
    explicit FifoReader(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
          m_thread([this] { Run(); }) {}
    ~FifoReader() { Take(); }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    bool Ok() const { return m_fd >= 0; }
    // Everything the pipe got; call once the writer has ended.
    std::string Take() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        return m_data;
    }

  private:
    // Reads until stopped, then whatever is still in the pipe.
    void Run() {
        if (m_fd < 0) return;
        char buffer[4096];
        while (true) {
            const bool last = m_stop;
            pollfd entry{m_fd, POLLIN, 0};
            ::poll(&entry, 1, last ? 0 : 20);
            while (true) {
                const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
                if (got <= 0) break;
                m_data.append(buffer, static_cast<std::size_t>(got));
            }
            if (last) return;
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    std::string m_data;
    std::thread m_thread;
};

// How to run a program as a user for whom file modes count. As root: through setpriv as
// nobody (prefix holds the command); as anyone else: directly (prefix empty). possible is
// false, with the reason, where root cannot drop its rights here.
struct Unprivileged {
    bool possible = false;
    std::vector<std::string> prefix;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string reason;
};

inline Unprivileged UnprivilegedRunner() {
    Unprivileged runner;
    if (::geteuid() != 0) {
        runner.possible = true;
        runner.uid = ::geteuid();
        runner.gid = ::getegid();
        return runner;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody || nobody->pw_uid == 0) {
        runner.reason = "running as root and there is no user nobody to drop to";
        return runner;
    }
    for (const char* setpriv : {"/usr/bin/setpriv", "/bin/setpriv"}) {
        if (::access(setpriv, X_OK) != 0) continue;
        runner.possible = true;
        runner.uid = nobody->pw_uid;
        runner.gid = nobody->pw_gid;
        runner.prefix = {setpriv, "--reuid=" + std::to_string(runner.uid),
                         "--regid=" + std::to_string(runner.gid), "--clear-groups", "--"};
        return runner;
    }
    runner.reason = "running as root and setpriv (util-linux) is not installed to drop to nobody";
    return runner;
}

inline bool IsCharDevice(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}
inline bool IsFifo(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}
inline bool IsSocket(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}
inline bool IsSymlink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace velmo::testing
