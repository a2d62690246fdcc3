#include "image/ImageCompare.h"

#include <cstdio>

namespace velmo::cli {

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

std::string DescribeDifference(const ImageDifference& difference) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "erste Abweichung an Adresse 0x%04X: Datei 0x%02X, Chip 0x%02X; %zu %s ab",
                  static_cast<unsigned>(difference.firstAddress),
                  static_cast<unsigned>(difference.expected),
                  static_cast<unsigned>(difference.actual), difference.count,
                  difference.count == 1 ? "Byte weicht" : "Bytes weichen");
    return text;
}

}  // namespace velmo::cli
