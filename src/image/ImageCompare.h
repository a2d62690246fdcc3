#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/FlashImage.h"

namespace velmo {

// The result of comparing all 12288 bytes, not just a checksum: two images with the same
// CRC-16 still differ here.
struct ImageDifference {
    std::size_t count = 0;  // differing bytes
    std::uint16_t firstAddress = 0;
    std::uint8_t expected = 0;  // the first image's byte at firstAddress
    std::uint8_t actual = 0;    // the second one's
    bool Equal() const { return count == 0; }
};

ImageDifference CompareImages(const FlashImage& expected, const FlashImage& actual);

// A consecutive run of addresses, both ends included.
struct AddressRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    bool operator==(const AddressRange&) const = default;
};

// The runs of addresses a file supplies, in address order.
std::vector<AddressRange> SuppliedRanges(const SuppliedBytes& supplied);

}  // namespace velmo
