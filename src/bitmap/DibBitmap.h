#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmo {

struct DibColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const DibColour&) const = default;
};

// One Windows device-independent bitmap as it follows the 14-byte file header of a .bmp
// file: the header, the colour table and the pixel rows in one block.
//
// What is read:
// - the file must start with "BM"; its size field says how many bytes belong to the picture,
//   and the file must hold at least that many (trailing bytes are ignored);
// - the header is the 12-byte core header or a header of at least 16 bytes laid out like the
//   40-byte one; sizes below 12 and from 13 to 15 are refused;
// - the pixels start right after the colour table; the file header's pixel-offset field is
//   not used, so a gap between table and pixels is read as pixels;
// - 1, 4, 8 and 24 bits per pixel, uncompressed, bottom-up or top-down (negative height).
//
// A width or height of 0 is read as a picture without pixels.
//
// Refused, because they cannot be read safely or would be drawn wrongly: 16 and 32 bits per
// pixel, compressed pixels, a negative width, a width or height beyond 32767, more than
// kMaxPixels pixels, and every file whose header, colour table and pixel rows need more bytes
// than its size field leaves. A header of 16 to 35 bytes holds no colour-count field; it is
// taken as 0.
class DibBitmap {
  public:
    static constexpr int kMaxSide = 32767;
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;
    // The file is read in pieces of this size, so a lying size field costs no memory.
    static constexpr std::size_t kReadPiece = 32768;

    // Reads a .bmp file; nothing when the file cannot be read or is refused.
    static std::optional<DibBitmap> FromFile(const std::string& path);
    // The same rules for a whole file already in memory (file header included).
    static std::optional<DibBitmap> FromFileBytes(std::span<const std::uint8_t> file);
    // An 8-bit grey picture of width x height (negative sizes count as 0) with a grey-ramp
    // colour table of 256 entries; row y from the bottom gets the grey level
    // "v increases by one whenever v * (height / 255) < y", so a 255 x 100 picture runs from
    // black at the bottom to grey 99 at the top.
    static DibBitmap Placeholder(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitsPerPixel() const { return m_bitsPerPixel; }
    int HeaderSize() const { return m_headerSize; }
    bool TopDown() const { return m_topDown; }
    // Offset of the first pixel row inside the block (header plus colour table).
    std::size_t PixelStart() const { return m_pixelStart; }
    // The colour table: as many entries as the colour count says (none for 24 bits per pixel
    // unless the file names a count).
    const std::vector<DibColour>& Palette() const { return m_palette; }

    // Colour of a pixel, y counted from the top row. Outside the picture, or an index past
    // the colour table: black.
    DibColour PixelAt(int x, int y) const;
    // Every pixel as 0xFFRRGGBB, rows from the top, Width() values per row.
    std::vector<std::uint32_t> ToArgb32() const;

  private:
    static std::optional<DibBitmap> FromBlock(std::vector<std::uint8_t> block);

    std::vector<std::uint8_t> m_block;
    int m_headerSize = 0;
    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 8;
    bool m_topDown = false;
    std::size_t m_pixelStart = 0;
    std::size_t m_rowBytes = 0;
    std::vector<DibColour> m_palette;
};

}  // namespace velmo
