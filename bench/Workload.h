#pragma once

#include <cstdint>

#include "image/FlashImage.h"

namespace velmo::bench {

// The same random bytes in every bench, so their figures compare: the first size cells from a
// xorshift generator, the rest erased.
inline FlashImage RandomImage(std::uint32_t size = FLASH_SIZE) {
    FlashImage image;
    ClearImage(image);
    std::uint32_t state = 0x2545F491;
    for (std::uint32_t a = 0; a < size; ++a) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[a] = static_cast<std::uint8_t>(state);
    }
    return image;
}

}  // namespace velmo::bench
