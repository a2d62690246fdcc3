#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/Crc16.h"
#include "image/FlashImage.h"

namespace velmo {

// The last component of a path: after the last '\' or '/', or after a leading drive prefix
// such as "C:". A path ending in a separator gives "".
std::string FileNameFromPath(const std::string& path);

// The two kinds of image file; which one a file is, its content decides, never its name.
enum class ImageFormat : std::uint8_t { IntelHex, Binary };

enum class LoadError : std::uint8_t {
    None,
    CannotOpen,  // missing, unreadable, or not a regular file
    TooLarge,    // more than 12288 bytes, or a HEX record beyond the flash
};

// A file read into an image. The image is all 0xFF unless the load succeeded; the format is
// known also when the file was then refused as too large.
struct LoadedImage {
    LoadError error = LoadError::None;
    ImageFormat format = ImageFormat::Binary;
    FlashImage image{};
    SuppliedBytes supplied;  // the addresses the file gives a byte for
    std::uint16_t crc = 0;   // CRC-16 of all 12288 bytes, 0xFF where nothing was supplied
    bool Loaded() const { return error == LoadError::None; }
};

// Decides Intel HEX or binary by content and reads the file into a fresh image.
LoadedImage LoadImageFile(const std::string& path);

// The binary reading alone: raw bytes from address 0, at most 12288 of them.
LoadedImage LoadBinaryImage(const std::string& path);

// Writes exactly 12288 bytes beside the target and replaces it only when all are written,
// so a failed save never destroys an existing file (devices and pipes: see ReplaceFile).
// False when it could not be written.
bool SaveImageFile(const std::string& path, const FlashImage& image);

// The same for any content, by the rules of OutputFile: a file is written beside the target,
// synced, then renamed over it (an existing file keeps its permissions; a symbolic link is
// written through, not replaced); a character device or a named pipe with a reader is written
// in place; nothing else is written.
bool ReplaceFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace velmo
