#include "bitmap/DibBitmap.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace velmo {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
// Headers shorter than this hold no colour-count field.
constexpr std::size_t kHeaderWithColourCount = 36;
constexpr std::size_t kHeaderWithCompression = 20;

std::uint32_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t ReadU32(const std::uint8_t* p) {
    return ReadU16(p) | ReadU16(p + 2) << 16;
}

void WriteU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void WriteU32(std::uint8_t* p, std::uint32_t v) {
    WriteU16(p, v);
    WriteU16(p + 2, v >> 16);
}

std::size_t RowBytes(std::int64_t width, int bitsPerPixel) {
    // Rows are padded to whole 32-bit words.
    return static_cast<std::size_t>((width * bitsPerPixel + 31) / 32 * 4);
}

// The two fields of the file header that decide how much follows; nothing when the bytes
// are no bitmap file.
std::optional<std::size_t> DibSizeFromFileHeader(const std::uint8_t* header) {
    if (header[0] != 'B' || header[1] != 'M') {
        return std::nullopt;
    }
    const std::uint32_t fileSize = ReadU32(header + 2);
    if (fileSize < kFileHeaderSize) {
        return std::nullopt;
    }
    return fileSize - kFileHeaderSize;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::optional<DibBitmap> DibBitmap::FromFile(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    std::uint8_t header[kFileHeaderSize];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
        return std::nullopt;
    }
    const auto dibSize = DibSizeFromFileHeader(header);
    if (!dibSize) {
        return std::nullopt;
    }
    // Grow the block piece by piece: a size field far beyond the file's end then fails at
    // the first short read instead of reserving gigabytes first.
    std::vector<std::uint8_t> block;
    while (block.size() < *dibSize) {
        const std::size_t piece = std::min(kReadPiece, *dibSize - block.size());
        const std::size_t at = block.size();
        block.resize(at + piece);
        if (std::fread(block.data() + at, 1, piece, file.get()) != piece) {
            return std::nullopt;
        }
    }
    return FromBlock(std::move(block));
}

std::optional<DibBitmap> DibBitmap::FromFileBytes(std::span<const std::uint8_t> file) {
    if (file.size() < kFileHeaderSize) {
        return std::nullopt;
    }
    const auto dibSize = DibSizeFromFileHeader(file.data());
    if (!dibSize || *dibSize > file.size() - kFileHeaderSize) {
        return std::nullopt;
    }
    const auto dib = file.subspan(kFileHeaderSize, *dibSize);
    return FromBlock(std::vector<std::uint8_t>(dib.begin(), dib.end()));
}

std::optional<DibBitmap> DibBitmap::FromBlock(std::vector<std::uint8_t> block) {
    if (block.size() < 4) {
        return std::nullopt;
    }
    const std::uint32_t headerSize = ReadU32(block.data());
    if (headerSize < kCoreHeaderSize || (headerSize > kCoreHeaderSize && headerSize < 16) ||
        headerSize > block.size()) {
        return std::nullopt;
    }
    const std::uint8_t* h = block.data();

    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitsPerPixel = 0;
    std::uint64_t colourCountField = 0;
    std::size_t entrySize = 4;
    bool topDown = false;
    if (headerSize == kCoreHeaderSize) {
        width = ReadU16(h + 4);
        height = ReadU16(h + 6);
        bitsPerPixel = static_cast<int>(ReadU16(h + 10));
        entrySize = 3;
    } else {
        width = static_cast<std::int32_t>(ReadU32(h + 4));
        height = static_cast<std::int32_t>(ReadU32(h + 8));
        bitsPerPixel = static_cast<int>(ReadU16(h + 14));
        if (headerSize >= kHeaderWithCompression && ReadU32(h + 16) != 0) {
            return std::nullopt;  // run-length or bit-field pixels would be drawn as garbage
        }
        if (headerSize >= kHeaderWithColourCount) {
            colourCountField = ReadU32(h + 32);
        }
        if (height < 0) {
            topDown = true;
            height = -height;
        }
    }
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) {
        return std::nullopt;
    }
    // A width or height of 0 is a picture without pixels: it replaces what was shown and
    // draws nothing.
    if (width < 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
        return std::nullopt;
    }

    std::uint64_t colourCount = 0;
    if (colourCountField != 0) {
        colourCount = colourCountField;
    } else if (bitsPerPixel <= 8) {
        colourCount = std::uint64_t{1} << bitsPerPixel;
    }
    const std::uint64_t pixelStart = headerSize + colourCount * entrySize;
    const std::size_t rowBytes = RowBytes(width, bitsPerPixel);
    const std::uint64_t needed = pixelStart + std::uint64_t{rowBytes} * height;
    if (needed > block.size()) {
        return std::nullopt;
    }

    DibBitmap dib;
    dib.m_headerSize = static_cast<int>(headerSize);
    dib.m_width = static_cast<int>(width);
    dib.m_height = static_cast<int>(height);
    dib.m_bitsPerPixel = bitsPerPixel;
    dib.m_topDown = topDown;
    dib.m_pixelStart = static_cast<std::size_t>(pixelStart);
    dib.m_rowBytes = rowBytes;
    dib.m_palette.reserve(static_cast<std::size_t>(colourCount));
    for (std::uint64_t i = 0; i < colourCount; ++i) {
        const std::uint8_t* entry = h + headerSize + i * entrySize;
        dib.m_palette.push_back(DibColour{entry[2], entry[1], entry[0]});
    }
    dib.m_block = std::move(block);
    return dib;
}

DibBitmap DibBitmap::Placeholder(int width, int height) {
    width = std::clamp(width, 0, kMaxSide);
    height = std::clamp(height, 0, kMaxSide);
    const std::size_t rowBytes = RowBytes(width, 8);
    const std::size_t tableBytes = 256 * 4;

    DibBitmap dib;
    dib.m_headerSize = static_cast<int>(kInfoHeaderSize);
    dib.m_width = width;
    dib.m_height = height;
    dib.m_bitsPerPixel = 8;
    dib.m_pixelStart = kInfoHeaderSize + tableBytes;
    dib.m_rowBytes = rowBytes;
    dib.m_block.assign(dib.m_pixelStart + rowBytes * static_cast<std::size_t>(height), 0);

    std::uint8_t* h = dib.m_block.data();
    WriteU32(h, kInfoHeaderSize);
    WriteU32(h + 4, static_cast<std::uint32_t>(width));
    WriteU32(h + 8, static_cast<std::uint32_t>(height));
    WriteU16(h + 12, 1);
    WriteU16(h + 14, 8);
    WriteU32(h + 20, static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(height)));
    WriteU32(h + 32, 256);
    dib.m_palette.reserve(256);
    for (int i = 0; i < 256; ++i) {
        const auto grey = static_cast<std::uint8_t>(i);
        std::uint8_t* entry = h + kInfoHeaderSize + 4 * i;
        entry[0] = entry[1] = entry[2] = grey;
        dib.m_palette.push_back(DibColour{grey, grey, grey});
    }

    // One grey level per row, rising from black at the bottom row; the level never passes
    // 255 because it only rises while it stays below y * 255 / height.
    int level = 0;
    const double rowsPerLevel = height / 255.0;
    for (int y = 0; y < height; ++y) {
        if (level * rowsPerLevel < y) {
            ++level;
        }
        std::uint8_t* row = h + dib.m_pixelStart + rowBytes * static_cast<std::size_t>(y);
        std::fill(row, row + width, static_cast<std::uint8_t>(level));
    }
    return dib;
}

DibColour DibBitmap::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return {};
    }
    const int storedRow = m_topDown ? y : m_height - 1 - y;
    const std::uint8_t* row =
        m_block.data() + m_pixelStart + m_rowBytes * static_cast<std::size_t>(storedRow);
    std::size_t index = 0;
    switch (m_bitsPerPixel) {
        case 1:
            index = (row[x / 8] >> (7 - x % 8)) & 0x01;
            break;
        case 4:
            index = (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
            break;
        case 8:
            index = row[x];
            break;
        default: {
            const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
            return DibColour{p[2], p[1], p[0]};
        }
    }
    return index < m_palette.size() ? m_palette[index] : DibColour{};
}

std::vector<std::uint32_t> DibBitmap::ToArgb32() const {
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            const DibColour c = PixelAt(x, y);
            pixels.push_back(0xFF000000u | std::uint32_t{c.red} << 16 |
                             std::uint32_t{c.green} << 8 | c.blue);
        }
    }
    return pixels;
}

}  // namespace velmo
