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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    // A directory opens on Linux but has no bytes to give: treat it like a missing file.
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
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
