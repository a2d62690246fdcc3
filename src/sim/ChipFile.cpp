#include "sim/ChipFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "image/OutputFile.h"

namespace velmo {

namespace {

constexpr auto kLockPoll = std::chrono::milliseconds(50);

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string CannotRead(const std::string& path, const std::string& reason) {
    return "Die Chip-Datei " + Quoted(path) +
           " (VELMO_SIM_CHIP) kann nicht gelesen werden: " + reason + ".";
}

// Opens for reading without waiting for a writer of a named pipe; anything but a regular
// file is refused. -1 with the message in error; missing tells a file that does not exist.
int OpenChipFile(const std::string& path, std::string& error, bool* missing = nullptr) {
    if (missing) *missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (missing) *missing = errno == ENOENT;
        error = CannotRead(path, std::strerror(errno));
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = CannotRead(path, "sie ist keine gewöhnliche Datei");
        return -1;
    }
    return fd;
}

// Exactly FLASH_SIZE bytes from the start of the open file.
std::string ReadChipFile(int fd, const std::string& path, FlashImage& flash) {
    FlashImage content;
    std::size_t got = 0;
    char extra = 0;
    while (true) {
        const bool inImage = got < content.size();
        const ssize_t n = inImage ? ::pread(fd, content.data() + got, content.size() - got,
                                            static_cast<off_t>(got))
                                  : ::pread(fd, &extra, 1, static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return CannotRead(path, std::strerror(errno));
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        if (!inImage) break;
    }
    if (got != content.size()) {
        return "Die Chip-Datei " + Quoted(path) +
               " (VELMO_SIM_CHIP) ist keine Chip-Datei: sie muss genau " +
               std::to_string(FLASH_SIZE) + " Bytes lang sein.";
    }
    flash = content;
    return {};
}

bool SameInode(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

std::string LoadChipFile(const std::string& path, FlashImage& flash) {
    std::string error;
    bool missing = false;
    const int fd = OpenChipFile(path, error, &missing);
    if (fd < 0) {
        if (!missing) return error;
        FlashImage erased;
        ClearImage(erased);
        if (std::string saved = SaveChipFile(path, erased); !saved.empty()) return saved;
        flash = erased;
        return {};
    }
    error = ReadChipFile(fd, path, flash);
    ::close(fd);
    return error;
}

std::string SaveChipFile(const std::string& path, const FlashImage& flash, ChipFileLock* lock) {
    auto failure = [&](const OutputResult& result) {
        return "Die Chip-Datei " + Quoted(path) + " (VELMO_SIM_CHIP) kann nicht geschrieben " +
               "werden: " + DescribeOutputError(result) + ".";
    };
    OutputFile file;
    if (const OutputResult opened = file.Open(path, OutputKinds::RegularOnly); !opened.ok()) {
        return failure(opened);
    }
    const bool moveLock = lock && lock->Held();
    // Nobody else knows the new file yet, so its lock is free.
    if (moveLock && ::flock(file.Descriptor(), LOCK_EX | LOCK_NB) != 0) {
        return failure({OutputError::CannotCreate, errno});
    }
    file.Write(flash.data(), flash.size());
    if (const OutputResult published = file.Publish(); !published.ok()) return failure(published);
    if (moveLock) lock->MoveTo(::dup(file.Descriptor()));
    if (const OutputResult closed = file.Close(); !closed.ok()) return failure(closed);
    return {};
}

std::string ChipFileLock::Acquire(const std::string& path, unsigned waitSeconds,
                                  const std::function<void(const std::string&)>& notice,
                                  FlashImage& flash) {
    Release();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    bool told = false;
    while (true) {
        std::string error;
        const int fd = OpenChipFile(path, error);
        if (fd < 0) return error;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The run before may have replaced the file while this one waited on the old one.
            if (!SameInode(fd, path)) {
                ::close(fd);
                continue;
            }
            error = ReadChipFile(fd, path, flash);
            if (!error.empty()) {
                ::close(fd);
                return error;
            }
            m_fd = fd;
            return {};
        }
        const int reason = errno;
        ::close(fd);
        if (reason != EWOULDBLOCK && reason != EINTR) {
            return "Die Chip-Datei " + Quoted(path) + " (VELMO_SIM_CHIP) kann nicht gesperrt " +
                   "werden: " + std::strerror(reason) + ".";
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return "Die Chip-Datei " + Quoted(path) +
                   " (VELMO_SIM_CHIP) wird von einem anderen Lauf benutzt; nach " +
                   std::to_string(waitSeconds) + " s Warten aufgegeben.";
        }
        if (!told && notice) {
            notice("Die Chip-Datei " + Quoted(path) +
                   " (VELMO_SIM_CHIP) wird von einem anderen Lauf benutzt; warte bis zu " +
                   std::to_string(waitSeconds) + " s darauf.");
        }
        told = true;
        std::this_thread::sleep_for(kLockPoll);
    }
}

void ChipFileLock::Release() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void ChipFileLock::MoveTo(int fd) {
    Release();
    m_fd = fd;
}

}  // namespace velmo
