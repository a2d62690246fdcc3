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

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::uint16_t CrcOf(const FlashImage& image) {
    CCrc16 crc;
    crc.BuildTable();
    return crc.Compute(image.data(), static_cast<std::uint16_t>(image.size()));
}

LoadedImage LoadHexImage(const std::string& path) {
    LoadedImage loaded;
    loaded.format = ImageFormat::IntelHex;
    ClearImage(loaded.image);
    switch (ReadIntelHex(path, loaded.image, &loaded.supplied)) {
        case HexReadResult::OpenFailed:
            loaded.error = LoadError::CannotOpen;
            return loaded;
        case HexReadResult::TooLarge:
            // A record beyond the flash means the file is for a larger chip: programming only
            // the part that fits would leave a broken program in the chip.
            loaded.error = LoadError::TooLarge;
            return loaded;
        case HexReadResult::Ok:
            break;
    }
    loaded.crc = CrcOf(loaded.image);
    return loaded;
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

LoadedImage LoadImageFile(const std::string& path) {
    if (IsIntelHexFile(path)) return LoadHexImage(path);
    return LoadBinaryImage(path);
}

LoadedImage LoadBinaryImage(const std::string& path) {
    LoadedImage loaded;
    loaded.format = ImageFormat::Binary;
    ClearImage(loaded.image);
    // One byte more than fits tells a file that is too large without trusting its size.
    std::array<char, FLASH_SIZE + 1> bytes{};
    InputFile file;
    const long got = file.Open(path) ? file.Read(bytes.data(), bytes.size()) : -1;
    if (got < 0) {
        loaded.error = LoadError::CannotOpen;
        return loaded;
    }
    const auto length = static_cast<std::size_t>(got);
    if (length > FLASH_SIZE) {
        loaded.error = LoadError::TooLarge;
        return loaded;
    }
    std::copy_n(bytes.begin(), length, loaded.image.begin());
    for (std::size_t a = 0; a < length; ++a) loaded.supplied.set(a);
    loaded.crc = CrcOf(loaded.image);
    return loaded;
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
