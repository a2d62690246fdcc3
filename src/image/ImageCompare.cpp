#include "image/ImageCompare.h"

namespace velmo {

ImageDifference CompareImages(const FlashImage& expected, const FlashImage& actual) {
    ImageDifference difference;
    for (std::size_t a = 0; a < FLASH_SIZE; ++a) {
        if (expected[a] == actual[a]) continue;
        if (difference.count == 0) {
            difference.firstAddress = static_cast<std::uint16_t>(a);
            difference.expected = expected[a];
            difference.actual = actual[a];
        }
        ++difference.count;
    }
    return difference;
}

std::vector<AddressRange> SuppliedRanges(const SuppliedBytes& supplied) {
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

}  // namespace velmo
