#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/FlashImage.h"

namespace velmo::cli {

// The result of comparing all 12288 bytes, not just a checksum: two images with the same
// CRC-16 still differ here.
struct ImageDifference {
    std::size_t count = 0;  // differing bytes
    std::uint16_t firstAddress = 0;
    std::uint8_t expected = 0;  // the file's byte at firstAddress
    std::uint8_t actual = 0;    // the chip's byte there
    bool Equal() const { return count == 0; }
};

ImageDifference CompareImages(const FlashImage& expected, const FlashImage& actual);

// "erste Abweichung an 0x0123: Datei 0x12, Chip 0x34; 5 Bytes weichen ab"
std::string DescribeDifference(const ImageDifference& difference);

}  // namespace velmo::cli
