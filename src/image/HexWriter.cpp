#include "image/HexWriter.h"

#include <cstdint>
#include <cstdio>

#include "image/ImageFiles.h"

namespace velmo {

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

bool SaveTextFile(const std::string& path, const std::string& text) {
    return ReplaceFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace velmo
