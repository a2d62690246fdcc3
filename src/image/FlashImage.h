#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

namespace velmo {

// The AT89S53's whole flash, index = address. Bytes no file supplies stay 0xFF, the
// value of an erased cell; every consumer covers all of it.
inline constexpr std::size_t FLASH_SIZE = 0x3000;
using FlashImage = std::array<std::uint8_t, FLASH_SIZE>;

inline void ClearImage(FlashImage& image) {
    image.fill(0xFF);
}

// Which addresses a file gives a byte for.
using SuppliedBytes = std::bitset<FLASH_SIZE>;

inline std::size_t CountNotBlank(const FlashImage& image) {
    return static_cast<std::size_t>(
        std::count_if(image.begin(), image.end(), [](std::uint8_t b) { return b != 0xFF; }));
}

}  // namespace velmo
