#include "image/OutputFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmo {
namespace {

OutputTarget KindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return OutputTarget::RegularFile;
    if (S_ISCHR(info.st_mode)) return OutputTarget::CharDevice;
    if (S_ISFIFO(info.st_mode)) return OutputTarget::Fifo;
    if (S_ISDIR(info.st_mode)) return OutputTarget::Directory;
    return OutputTarget::Other;
}

// A pipe whose reader has gone away raises SIGPIPE, which would end the program without a
// word and leave the port's lines wherever they stood. While it is blocked the write fails
// with EPIPE instead; a SIGPIPE that this write raised is taken back before the old mask
// returns.
class SigpipeBlocked {
  public:
    explicit SigpipeBlocked(bool active) : m_active(active) {
        if (!m_active) return;
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        m_wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~SigpipeBlocked() {
        if (!m_active) return;
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
    bool m_active;
    bool m_wasPending = false;
    sigset_t m_pipe{};
    sigset_t m_old{};
};

std::string DirectoryOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : target.substr(0, slash);
}

// Creates a new file that no one else uses, beside the target. Opening with O_EXCL and
// mode 0666 lets the user's umask decide the permissions, as for any newly created file.
int CreateTemporary(const std::string& target, std::string& name) {
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    // Keep the name well inside the usual 255-byte limit of a file name.
    const std::string base = target.substr(directory.size(), 200);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = directory + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
               std::to_string(++counter);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void SyncDirectoryOf(const std::string& target) {
    const int fd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

OutputTarget ClassifyOutput(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return OutputTarget::Missing;
    return KindOf(info);
}

std::string DescribeOutputError(const OutputResult& result) {
    const std::string reason = result.systemError != 0 ? std::strerror(result.systemError) : "";
    switch (result.error) {
        case OutputError::None:
            return {};
        case OutputError::CannotCreate:
            return reason.empty() ? "sie kann nicht angelegt werden" : reason;
        case OutputError::NoReader:
            return "es ist eine benannte Pipe, aus der niemand liest";
        case OutputError::Directory:
            return "es ist ein Verzeichnis";
        case OutputError::NotAFile:
            return "es ist weder eine Datei noch ein Zeichengerät oder eine benannte Pipe";
        case OutputError::NotRegular:
            return "es ist keine gewöhnliche Datei";
        case OutputError::Incomplete:
            return "nicht vollständig geschrieben" + (reason.empty() ? "" : " (" + reason + ")");
    }
    return {};
}

OutputFile::~OutputFile() {
    Discard();
}

void OutputFile::Fail(OutputError error, int systemError) {
    if (m_status.ok()) m_status = {error, systemError};
}

void OutputFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

OutputResult OutputFile::Open(const std::string& path, OutputKinds kinds) {
    Discard();
    m_status = {};
    m_inPlace = false;
    m_isFifo = false;
    if (path.empty() || path.find('\0') != std::string::npos) {
        Fail(OutputError::CannotCreate, ENOENT);
        return m_status;
    }
    struct stat info {};
    OutputTarget kind = OutputTarget::Missing;
    if (::stat(path.c_str(), &info) == 0) {
        kind = KindOf(info);
    } else if (errno != ENOENT) {
        Fail(OutputError::CannotCreate, errno);
        return m_status;
    }
    switch (kind) {
        case OutputTarget::Directory:
            Fail(OutputError::Directory, 0);
            return m_status;
        case OutputTarget::Other:
            Fail(OutputError::NotAFile, 0);
            return m_status;
        case OutputTarget::CharDevice:
        case OutputTarget::Fifo: {
            if (kinds == OutputKinds::RegularOnly) {
                Fail(OutputError::NotRegular, 0);
                return m_status;
            }
            // Without O_NONBLOCK a pipe nobody reads from would hold the open for ever (and a
            // serial line would wait for its carrier).
            const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0) {
                Fail(errno == ENXIO && kind == OutputTarget::Fifo ? OutputError::NoReader
                                                                  : OutputError::CannotCreate,
                     errno);
                return m_status;
            }
            struct stat opened {};
            if (::fstat(fd, &opened) != 0 || KindOf(opened) != kind) {
                ::close(fd);
                Fail(OutputError::NotAFile, 0);
                return m_status;
            }
            // From here on a slow reader may slow the writer down, as with any pipe.
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            m_fd = fd;
            m_inPlace = true;
            m_isFifo = kind == OutputTarget::Fifo;
            m_target = path;
            return m_status;
        }
        case OutputTarget::RegularFile:
        case OutputTarget::Missing:
            break;
    }
    if (path.back() == '/') {
        Fail(OutputError::CannotCreate, ENOENT);
        return m_status;
    }
    m_target = path;
    // Replacing a symbolic link would cut it; save into the file it names instead.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            m_target = real;
            ::free(real);
        }
    }
    const bool exists = kind == OutputTarget::RegularFile;
    // A file its owner made read-only stays: a rename would go round its mode.
    if (exists && ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0) {
        Fail(OutputError::CannotCreate, errno);
        return m_status;
    }
    const int fd = CreateTemporary(m_target, m_temporary);
    if (fd < 0) {
        const int error = errno;
        m_temporary.clear();
        Fail(OutputError::CannotCreate, error);
        return m_status;
    }
    m_fd = fd;
    // Replacing an existing file keeps its permissions, as overwriting it in place would.
    if (exists && ::fchmod(fd, info.st_mode & 07777) != 0) {
        Fail(OutputError::CannotCreate, errno);
        Discard();
    }
    return m_status;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (m_fd < 0 || !m_status.ok()) return false;
    SigpipeBlocked blocked(m_isFifo);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(m_fd, bytes + done, size - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail(OutputError::Incomplete, errno);
            return false;
        }
        if (written == 0) {
            Fail(OutputError::Incomplete, ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

OutputResult OutputFile::Publish() {
    if (m_fd < 0 || m_inPlace) return m_status;
    if (!m_status.ok()) {
        Discard();
        return m_status;
    }
    if (m_temporary.empty()) return m_status;  // published before
    if (::fsync(m_fd) != 0) {
        Fail(OutputError::Incomplete, errno);
        Discard();
        return m_status;
    }
    // The target was a file or nothing when it was opened; whatever came there since is
    // replaced only if it is a file again.
    struct stat now {};
    if (::lstat(m_target.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
        Fail(S_ISDIR(now.st_mode) ? OutputError::Directory : OutputError::NotRegular, 0);
        Discard();
        return m_status;
    }
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        Fail(OutputError::CannotCreate, errno);
        Discard();
        return m_status;
    }
    m_temporary.clear();
    SyncDirectoryOf(m_target);
    return m_status;
}

OutputResult OutputFile::Close() {
    Publish();
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) Fail(OutputError::Incomplete, errno);
        m_fd = -1;
    }
    return m_status;
}

OutputResult WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                             OutputKinds kinds) {
    OutputFile file;
    if (!file.Open(path, kinds).ok()) return file.Status();
    file.Write(data, size);
    return file.Close();
}

}  // namespace velmo
