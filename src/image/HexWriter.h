#pragma once

#include <string>

#include "image/FlashImage.h"

namespace velmo {

// Intel HEX of the whole image: data records of 16 bytes at their addresses (all below
// 0x10000, so no extended address records), then the end record. A record whose 16 bytes are
// all 0xFF is left out: those cells are erased, and a reader fills what is missing with 0xFF
// anyway. Lines end in CR LF, as most tools write them.
std::string FormatIntelHex(const FlashImage& image);

// Writes the text beside the target and renames it over it only when all of it is written,
// so a failed save never destroys an existing file. False when it could not be written.
bool SaveTextFile(const std::string& path, const std::string& text);

}  // namespace velmo
