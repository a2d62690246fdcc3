#include "image/ImageFiles.h"

#include <algorithm>
#include <array>

#include "image/InputFile.h"
#include "image/IntelHex.h"
#include "image/OutputFile.h"

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
    return WriteOutputFile(path, data, size).ok();
}

bool SaveImageFile(const std::string& path, const FlashImage& image) {
    return ReplaceFile(path, image.data(), image.size());
}

}  // namespace velmo
