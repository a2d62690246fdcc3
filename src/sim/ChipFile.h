#pragma once

#include <string>

#include "image/FlashImage.h"

namespace velmo {

// The simulated chip's flash kept in a file of exactly FLASH_SIZE raw bytes, so that a
// program run and a later read run see the same chip. Both return an empty string on
// success, otherwise a German message that names the file.

// A missing file is created erased (all 0xFF); a file of another size is refused rather
// than padded, since it is most likely not a chip file at all.
std::string LoadChipFile(const std::string& path, FlashImage& flash);

// Writes a temporary file beside it and renames it over the old one, so that a crash in
// the middle never leaves half a chip behind.
std::string SaveChipFile(const std::string& path, const FlashImage& flash);

}  // namespace velmo
