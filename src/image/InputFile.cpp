#include "image/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmo {

InputFile::~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool InputFile::Open(const std::string& path) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    // O_NONBLOCK keeps a named pipe from waiting for a writer; it is refused just below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    // Only a regular file is an image file. A directory opens on Linux but has no bytes to
    // give, and a pipe or device could block or never end.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

long InputFile::Read(char* buffer, std::size_t size) {
    if (m_fd < 0) return -1;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(m_fd, buffer + done, size - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

}  // namespace velmo
