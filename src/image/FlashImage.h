#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmo {

// The AT89S53's whole flash, index = address. Bytes no file supplies stay 0xFF, the
// value of an erased cell; every consumer covers all of it.
inline constexpr std::size_t FLASH_SIZE = 0x3000;
using FlashImage = std::array<std::uint8_t, FLASH_SIZE>;

inline void ClearImage(FlashImage& image) { image.fill(0xFF); }

}  // namespace velmo
