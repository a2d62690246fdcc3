#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/FlashImage.h"

namespace velmo::cli {

enum class ImageFormat { IntelHex, Binary };

// A consecutive run of addresses, both ends included.
struct AddressRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    bool operator==(const AddressRange&) const = default;
};

// An input file as the programmer will use it: the 12288-byte image (0xFF where the file
// supplies nothing) and which bytes the file does supply.
struct ImageSource {
    bool ok = false;
    std::string error;  // one German line when !ok
    ImageFormat format = ImageFormat::Binary;
    FlashImage image{};
    std::bitset<FLASH_SIZE> supplied;
    std::uint16_t crc = 0;  // CRC-16 of all 12288 bytes
    // The name promises Intel HEX but the content fails the HEX test, so it is read as raw
    // bytes: almost surely a damaged HEX file rather than a binary one.
    bool hexNameButBinary = false;
};

// Loads through the same content test, HEX reader and binary load as the window.
ImageSource LoadImageSource(const std::string& path);

// The runs of set bits.
std::vector<AddressRange> SuppliedRanges(const std::bitset<FLASH_SIZE>& supplied);

std::size_t CountNotBlank(const FlashImage& image);

// ".hex" or ".ihx" at the end, in any case.
bool HasHexExtension(const std::string& path);

}  // namespace velmo::cli
