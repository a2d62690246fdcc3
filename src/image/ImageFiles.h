#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "image/Crc16.h"
#include "image/FlashImage.h"

namespace velmo {

// The last component of a path: after the last '\' or '/', or after a leading drive prefix
// such as "C:". A path ending in a separator gives "".
std::string FileNameFromPath(const std::string& path);

// What a load changes on screen and in the state, in the order the window shows it:
// file label and tooltip, status text, message box, CRC field. An empty optional leaves
// that element as it was.
struct LoadOutcome {
    bool loaded = false;                     // a usable image is in place (m_noFileLoaded = 0)
    std::optional<std::string> fileName;     // new text of the file label
    std::optional<std::string> tooltipPath;  // new text of the file label's tooltip
    std::optional<std::string> statusText;
    std::optional<std::string> messageBox;
    std::optional<std::uint16_t> crc;        // new m_imageCrc, shown as FormatCrc(*crc)
};

// Clears image to 0xFF, decides HEX or binary by content and fills it.
LoadOutcome LoadImageFile(const std::string& path, FlashImage& image, const CCrc16& crc);

// The binary half of LoadImageFile alone, for an image the caller has cleared: raw bytes from
// address 0, at most 12288 of them.
LoadOutcome LoadBinaryImage(const std::string& path, FlashImage& image, const CCrc16& crc);

// Writes exactly 12288 bytes beside the target and replaces it only when all are written,
// so a failed save never destroys an existing file. False when it could not be written.
bool SaveImageFile(const std::string& path, const FlashImage& image);

// The same for any content: written beside the target, synced, then renamed over it. An
// existing file keeps its permissions; a symbolic link is written through, not replaced.
bool ReplaceFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace velmo
