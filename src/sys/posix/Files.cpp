#include "sys/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace velmo::sys {

const ErrorCode kNoSuchFile = ENOENT;
const ErrorCode kAccessDenied = EACCES;
const ErrorCode kNoReader = ENXIO;
const ErrorCode kNoSpace = ENOSPC;
const ErrorCode kBusy = EWOULDBLOCK;

namespace {

// The kernel's own limit on links followed while resolving one path.
constexpr int kMaxLinks = 40;

int Fd(const FileHandle& file) {
    return static_cast<int>(file.Native());
}

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISCHR(mode)) return FileKind::CharDevice;
    if (S_ISFIFO(mode)) return FileKind::Fifo;
    if (S_ISDIR(mode)) return FileKind::Directory;
    if (S_ISSOCK(mode)) return FileKind::Socket;
    return FileKind::Other;
}

FileInfo InfoOf(const struct stat& status) {
    FileInfo info;
    info.kind = KindOf(status.st_mode);
    info.id = {static_cast<std::uint64_t>(status.st_dev),
               static_cast<std::uint64_t>(status.st_ino)};
    info.permissions = status.st_mode & 07777;
    info.size = static_cast<std::uint64_t>(status.st_size);
    return info;
}

std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    return real ? std::string(real.get()) : std::string();
}

std::string CurrentDirectory() {
    const std::unique_ptr<char, decltype(&::free)> cwd(::getcwd(nullptr, 0), &::free);
    return cwd ? std::string(cwd.get()) : std::string(".");
}

std::string Joined(const std::string& directory, const std::string& name) {
    return directory == "/" ? "/" + name : directory + "/" + name;
}

std::string ReadLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// A path that names a descriptor of this process: /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N.
int DescriptorNamed(const std::string& path) {
    const std::string pid = std::to_string(::getpid());
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
          std::string("/proc/thread-self/fd/"), "/proc/" + pid + "/fd/"}) {
        if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size()) continue;
        const std::string number = path.substr(prefix.size());
        if (number.find_first_not_of("0123456789") != std::string::npos || number.size() > 9) {
            return -1;
        }
        return std::stoi(number);
    }
    return -1;
}

// The descriptor a path names itself, or through its chain of links (/dev/stdout).
int DescriptorNamedAlong(std::string path) {
    for (int hop = 0; hop < kMaxLinks && !path.empty(); ++hop) {
        if (const int fd = DescriptorNamed(path); fd >= 0) return fd;
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return -1;
        const std::string target = ReadLink(path);
        if (target.empty()) return -1;
        path = target.front() == '/' ? target : Joined(DirectoryOf(path), target);
    }
    return -1;
}

// Descriptors the program was started with stay open across exec; every one it opens itself
// is closed on exec, so these are the ones the caller handed over.
bool HandedOver(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0 || (flags & FD_CLOEXEC) != 0) return false;
    const int access = ::fcntl(fd, F_GETFL) & O_ACCMODE;
    return access == O_WRONLY || access == O_RDWR;
}

std::vector<int> OpenDescriptors() {
    std::vector<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) {
        for (int fd = 0; fd < 256; ++fd) fds.push_back(fd);
        return fds;
    }
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != own) fds.push_back(fd);
    }
    ::closedir(dir);
    return fds;
}

// A write to a pipe or socket whose reader has gone away raises SIGPIPE, which would end the
// program without a word and leave the port's lines wherever they stood. While it is blocked
// the write fails with EPIPE instead; a SIGPIPE that this write raised is taken back before
// the old mask returns.
class SigpipeBlocked {
  public:
    SigpipeBlocked() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        m_wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~SigpipeBlocked() {
        if (!m_wasPending) {
            const timespec now{};
            while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked&) = delete;
    SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

  private:
    bool m_wasPending = false;
    sigset_t m_pipe{};
    sigset_t m_old{};
};

OpenResult Opened(int fd) {
    OpenResult result;
    if (fd < 0) {
        result.error = errno;
    } else {
        result.file = FileHandle(fd);
    }
    return result;
}

}  // namespace

std::string ErrorText(ErrorCode code) {
    return std::strerror(code);
}

FileInfo Inspect(const std::string& path) {
    struct stat status {};
    if (!path.empty() && path.find('\0') == std::string::npos &&
        ::stat(path.c_str(), &status) == 0) {
        return InfoOf(status);
    }
    FileInfo info;
    if (!path.empty() && errno != ENOENT) info.error = errno;
    return info;
}

FileInfo InspectOpen(const FileHandle& file) {
    struct stat status {};
    if (::fstat(Fd(file), &status) == 0) return InfoOf(status);
    FileInfo info;
    info.error = errno;
    return info;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CreationTarget(const std::string& path) {
    if (path.empty()) return {};
    std::string current = path.front() == '/' ? path : Joined(CurrentDirectory(), path);
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        const std::string name = NameOf(current);
        const std::string folder = RealPath(DirectoryOf(current));
        if (folder.empty()) return current;  // a folder that is not there: nothing resolves
        const std::string candidate = Joined(folder, name);
        if (name.empty() || name == "." || name == "..") {
            const std::string real = RealPath(candidate);
            return real.empty() ? candidate : real;
        }
        struct stat link {};
        if (::lstat(candidate.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return candidate;
        const std::string target = ReadLink(candidate);
        if (target.empty()) return candidate;
        current = target.front() == '/' ? target : Joined(folder, target);
    }
    return current;
}

bool SameFile(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty()) return false;
    const FileInfo a = Inspect(first);
    const FileInfo b = Inspect(second);
    if (a.kind != FileKind::Missing && b.kind != FileKind::Missing) return a.id == b.id;
    return CreationTarget(first) == CreationTarget(second);
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

bool MayWrite(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool MayReplace(const std::string& path) {
    const std::string folder = DirectoryOf(path);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return false;
    struct stat directory {};
    struct stat file {};
    if (::stat(folder.c_str(), &directory) != 0) return false;
    if ((directory.st_mode & S_ISVTX) == 0 || ::lstat(path.c_str(), &file) != 0) return true;
    // In a sticky folder only the file's owner, the folder's owner or root may replace it.
    const uid_t user = ::geteuid();
    return user == 0 || file.st_uid == user || directory.st_uid == user;
}

ErrorCode FileHandle::Close() {
    if (m_native == -1) return 0;
    const int result = ::close(static_cast<int>(m_native));
    m_native = -1;
    return result == 0 ? 0 : errno;
}

OpenResult OpenDeviceForWriting(const std::string& path, FileKind kind) {
    // Without O_NONBLOCK a pipe nobody reads from would hold the open for ever (and a serial
    // line would wait for its carrier).
    OpenResult result = Opened(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!result.ok()) return result;
    if (InspectOpen(result.file).kind != kind) {
        result.file.Close();
        result.error = ENODEV;
        return result;
    }
    // From here on a slow reader may slow the writer down, as with any pipe.
    const int flags = ::fcntl(Fd(result.file), F_GETFL);
    if (flags >= 0) ::fcntl(Fd(result.file), F_SETFL, flags & ~O_NONBLOCK);
    return result;
}

OpenResult OpenFileForWriting(const std::string& path) {
    OpenResult result = Opened(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (result.ok() && InspectOpen(result.file).kind != FileKind::Regular) {
        result.file.Close();
        result.error = EINVAL;
    }
    return result;
}

OpenResult OpenFileForReading(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return {FileHandle(), ENOENT};
    // O_NONBLOCK keeps a named pipe from waiting for a writer; it is refused just below. A
    // directory opens on Linux but has no bytes to give, and a device could never end.
    OpenResult result = Opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (result.ok() && InspectOpen(result.file).kind != FileKind::Regular) {
        result.file.Close();
        result.error = EINVAL;
    }
    return result;
}

OpenResult CreateNewFile(const std::string& path) {
    // Mode 0666 lets the user's umask decide, as for any newly created file.
    return Opened(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

UpdateResult OpenFileForUpdate(const std::string& path) {
    UpdateResult result;
    const int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | flags);
    result.writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = ::open(path.c_str(), O_RDONLY | flags);
    }
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    result.file = FileHandle(fd);
    if (InspectOpen(result.file).kind != FileKind::Regular) {
        result.file.Close();
        result.notRegular = true;
    }
    return result;
}

FileHandle InheritedDescriptorFor(const std::string& path) {
    const FileInfo target = Inspect(path);
    if (target.kind == FileKind::Missing || target.kind == FileKind::Directory) return {};
    const int named = DescriptorNamedAlong(path);
    int chosen = -1;
    for (const int fd : OpenDescriptors()) {
        struct stat status {};
        if (!HandedOver(fd) || ::fstat(fd, &status) != 0 || !(InfoOf(status).id == target.id)) {
            continue;
        }
        if (fd == named) {
            chosen = fd;
            break;
        }
        if (chosen < 0 || fd < chosen) chosen = fd;
    }
    return chosen < 0 ? FileHandle() : FileHandle(::fcntl(chosen, F_DUPFD_CLOEXEC, 3));
}

bool LeadsToStandardOutput(const std::string& path) {
    struct stat out {};
    if (!HandedOver(STDOUT_FILENO) || ::fstat(STDOUT_FILENO, &out) != 0) return false;
    const FileInfo target = Inspect(path);
    return target.kind != FileKind::Missing && target.id == InfoOf(out).id;
}

ErrorCode WriteAll(FileHandle& file, const void* data, std::size_t size) {
    SigpipeBlocked blocked;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(Fd(file), bytes + done, size - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

ErrorCode WriteAt(FileHandle& file, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written =
            ::pwrite(Fd(file), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

ErrorCode ReadAt(FileHandle& file, std::uint64_t offset, void* data, std::size_t size,
                 std::size_t& got) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    got = 0;
    while (got < size) {
        const ssize_t n =
            ::pread(Fd(file), bytes + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

ErrorCode Truncate(FileHandle& file, std::uint64_t size) {
    return ::ftruncate(Fd(file), static_cast<off_t>(size)) == 0 ? 0 : errno;
}

ErrorCode Sync(FileHandle& file) {
    return ::fsync(Fd(file)) == 0 ? 0 : errno;
}

ErrorCode SetPermissions(FileHandle& file, std::uint32_t permissions) {
    return ::fchmod(Fd(file), static_cast<mode_t>(permissions)) == 0 ? 0 : errno;
}

ErrorCode Rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

ErrorCode RenameOpenFile(FileHandle&, const std::string& from, const std::string& to) {
    // The descriptor follows the file to its new name by itself.
    return Rename(from, to);
}

ErrorCode Remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

void SyncDirectoryOf(const std::string& path) {
    const int fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

long ProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long id) {
    return id > 0 && (::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM);
}

}  // namespace velmo::sys
