#include "image/ImageSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "image/Crc16.h"
#include "image/ImageFiles.h"
#include "image/IntelHex.h"

namespace velmo::cli {

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

}  // namespace

bool HasHexExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "hex" || extension == "ihx";
}

ImageSource LoadImageSource(const std::string& path) {
    ImageSource source;
    CCrc16 crc;
    crc.BuildTable();

    const LoadOutcome outcome = LoadImageFile(path, source.image, crc);
    if (!outcome.loaded) {
        if (outcome.messageBox) {
            source.error = "Datei " + Quoted(path) + " ist größer als der Flash des Controllers " +
                           "(12288 Bytes).";
        } else {
            source.error = "Datei " + Quoted(path) + " kann nicht geöffnet werden.";
        }
        return source;
    }
    source.crc = outcome.crc.value_or(0);
    source.format = IsIntelHexFile(path) ? ImageFormat::IntelHex : ImageFormat::Binary;

    if (source.format == ImageFormat::IntelHex) {
        // The reader only stores what the records supply. Read once more over a background of
        // 0x00: an address the file supplies holds the same byte on both backgrounds, one it
        // leaves out holds 0xFF on one and 0x00 on the other.
        FlashImage zeroed;
        zeroed.fill(0x00);
        if (ReadIntelHex(path, zeroed) != HexReadResult::Ok) {
            source.error = "Datei " + Quoted(path) + " kann nicht geöffnet werden.";
            return source;
        }
        for (std::size_t a = 0; a < FLASH_SIZE; ++a) {
            source.supplied[a] = zeroed[a] == source.image[a];
        }
    } else {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            source.error = "Datei " + Quoted(path) + " kann nicht geöffnet werden.";
            return source;
        }
        const auto length =
            std::min<std::size_t>(static_cast<std::size_t>(info.st_size), FLASH_SIZE);
        for (std::size_t a = 0; a < length; ++a) source.supplied[a] = true;
        source.hexNameButBinary = HasHexExtension(path);
    }
    source.ok = true;
    return source;
}

std::vector<AddressRange> SuppliedRanges(const std::bitset<FLASH_SIZE>& supplied) {
    std::vector<AddressRange> ranges;
    std::size_t a = 0;
    while (a < FLASH_SIZE) {
        if (!supplied[a]) {
            ++a;
            continue;
        }
        const std::size_t first = a;
        while (a < FLASH_SIZE && supplied[a]) ++a;
        ranges.push_back({static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(a - 1)});
    }
    return ranges;
}

std::size_t CountNotBlank(const FlashImage& image) {
    return static_cast<std::size_t>(
        std::count_if(image.begin(), image.end(), [](std::uint8_t b) { return b != 0xFF; }));
}

}  // namespace velmo::cli
