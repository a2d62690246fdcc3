#pragma once

#include <algorithm>
#include <string>

#include "image/FlashImage.h"

namespace velmo::testing {

inline FlashImage Filled(std::uint8_t value) {
    FlashImage image;
    image.fill(value);
    return image;
}

// The bytes from address 0, the rest erased, as a binary file of them loads.
inline FlashImage ImageOf(const std::string& bytes) {
    FlashImage image;
    ClearImage(image);
    for (std::size_t i = 0; i < bytes.size() && i < FLASH_SIZE; ++i) {
        image[i] = static_cast<std::uint8_t>(bytes[i]);
    }
    return image;
}

// Every cell holds a value other than 0xFF, so an erased cell never passes for a written one,
// and neighbouring cells differ.
inline FlashImage PatternImage(unsigned seed = 0) {
    FlashImage image;
    for (std::size_t a = 0; a < FLASH_SIZE; ++a) {
        image[a] = static_cast<std::uint8_t>((a * 7 + seed + (a >> 8)) % 0xFF);
    }
    return image;
}

// The pattern in the first count cells, the rest erased: a program that writes few bytes but
// still reads the whole chip back.
inline FlashImage PatternStart(std::size_t count, unsigned seed = 0) {
    const FlashImage pattern = PatternImage(seed);
    FlashImage image;
    ClearImage(image);
    std::copy_n(pattern.begin(), count, image.begin());
    return image;
}

}  // namespace velmo::testing
