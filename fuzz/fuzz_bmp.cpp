// The bitmap reader against arbitrary bytes: whatever a .bmp file beside the program holds,
// reading it must neither crash nor read outside the file, and what it accepts must be whole.
#include "bitmap/DibBitmap.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto dib = velmo::DibBitmap::FromFileBytes(std::span<const std::uint8_t>(data, size));
    if (!dib) {
        return 0;
    }
    // A width or height of 0 is a picture without pixels; nothing is ever negative.
    if (dib->Width() < 0 || dib->Height() < 0 || dib->Width() > velmo::DibBitmap::kMaxSide ||
        dib->Height() > velmo::DibBitmap::kMaxSide || dib->PixelStart() > size) {
        std::abort();
    }
    const auto pixels = dib->ToArgb32();
    if (pixels.size() != static_cast<std::size_t>(dib->Width()) * dib->Height()) {
        std::abort();
    }
    // Corners and one step outside: outside is black, never a read.
    (void)dib->PixelAt(dib->Width() - 1, dib->Height() - 1);
    (void)dib->PixelAt(dib->Width(), 0);
    (void)dib->PixelAt(-1, -1);
    return 0;
}
