#include "cli/HexWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace velmo::cli {

namespace {

constexpr std::size_t kRecordLength = 16;

void AppendRecord(std::string& out, std::uint16_t address, std::uint8_t type,
                  const std::uint8_t* data, std::size_t length) {
    char field[4];
    std::uint8_t sum = static_cast<std::uint8_t>(length + (address >> 8) + (address & 0xFF) + type);
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(length));
    out += ':';
    out += field;
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(address >> 8));
    out += field;
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(address & 0xFF));
    out += field;
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(type));
    out += field;
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(data[i]));
        out += field;
        sum = static_cast<std::uint8_t>(sum + data[i]);
    }
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>((0x100 - sum) & 0xFF));
    out += field;
    out += "\r\n";
}

bool WriteAll(int fd, const char* data, std::size_t size) {
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

}  // namespace

std::string FormatIntelHex(const FlashImage& image) {
    std::string out;
    for (std::size_t address = 0; address < FLASH_SIZE; address += kRecordLength) {
        const std::uint8_t* record = image.data() + address;
        bool blank = true;
        for (std::size_t i = 0; i < kRecordLength; ++i) blank = blank && record[i] == 0xFF;
        if (!blank) {
            AppendRecord(out, static_cast<std::uint16_t>(address), 0x00, record, kRecordLength);
        }
    }
    AppendRecord(out, 0, 0x01, nullptr, 0);
    return out;
}

bool SaveTextFile(const std::string& requested, const std::string& text) {
    if (requested.empty() || requested.back() == '/') return false;
    std::string path = requested;
    // Replacing a symbolic link would cut it; write into the file it names instead.
    struct stat link {};
    if (::lstat(requested.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* real = ::realpath(requested.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = true;
    // Replacing an existing file keeps its permissions, as overwriting it in place would.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        ok = ::fchmod(fd, info.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

}  // namespace velmo::cli
