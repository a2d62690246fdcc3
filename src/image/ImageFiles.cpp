#include "image/ImageFiles.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "image/InputFile.h"
#include "image/IntelHex.h"

namespace velmo {
namespace {

constexpr const char* kOpenFailed = "Fehler beim Öffnen der Datei!";
constexpr const char* kOpened = "Datei erfolgreich geöffnet!";
constexpr const char* kTooLarge = "Datei ist größer als Flash-Speicher des Controllers!";

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

LoadOutcome LoadHexImage(const std::string& path, FlashImage& image, const CCrc16& crc) {
    LoadOutcome outcome;
    switch (ReadIntelHex(path, image)) {
        case HexReadResult::OpenFailed:
            outcome.statusText = kOpenFailed;
            return outcome;
        case HexReadResult::TooLarge:
            // Refused like a binary file that is too large: the user sees which file it was
            // and why, and nothing of it is programmed. A HEX load has no success text.
            ClearImage(image);
            outcome.fileName = FileNameFromPath(path);
            outcome.tooltipPath = path;
            outcome.messageBox = kTooLarge;
            return outcome;
        case HexReadResult::Ok:
            break;
    }
    outcome.fileName = FileNameFromPath(path);
    outcome.crc = crc.Compute(image.data(), FLASH_SIZE);
    outcome.tooltipPath = path;
    outcome.loaded = true;
    return outcome;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
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
    const std::size_t slash = target.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::string FileNameFromPath(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos) return path.substr(separator + 1);
    if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) return path.substr(2);
    return path;
}

LoadOutcome LoadImageFile(const std::string& path, FlashImage& image, const CCrc16& crc) {
    ClearImage(image);
    if (IsIntelHexFile(path)) return LoadHexImage(path, image, crc);
    return LoadBinaryImage(path, image, crc);
}

LoadOutcome LoadBinaryImage(const std::string& path, FlashImage& image, const CCrc16& crc) {
    LoadOutcome outcome;
    // One byte more than fits tells a file that is too large without trusting its size.
    std::array<char, FLASH_SIZE + 1> bytes{};
    InputFile file;
    const long got = file.Open(path) ? file.Read(bytes.data(), bytes.size()) : -1;
    if (got < 0) {
        outcome.statusText = kOpenFailed;
        return outcome;
    }
    outcome.fileName = FileNameFromPath(path);
    outcome.statusText = kOpened;
    outcome.tooltipPath = path;
    const auto length = static_cast<std::size_t>(got);
    if (length > FLASH_SIZE) {
        outcome.messageBox = kTooLarge;
        return outcome;
    }
    std::copy_n(bytes.begin(), length, image.begin());
    outcome.loaded = true;
    outcome.crc = crc.Compute(image.data(), FLASH_SIZE);
    return outcome;
}

bool ReplaceFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (path.empty() || path.back() == '/' || path.find('\0') != std::string::npos) {
        return false;
    }
    std::string target = path;
    // Replacing a symbolic link would cut it; save into the file it names instead.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            ::free(real);
        }
    }
    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) return false;
    bool ok = true;
    // Replacing an existing file keeps its permissions, as overwriting it in place would.
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ok = ::fchmod(fd, info.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, data, size) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(target);
    return true;
}

bool SaveImageFile(const std::string& path, const FlashImage& image) {
    return ReplaceFile(path, image.data(), image.size());
}

}  // namespace velmo
