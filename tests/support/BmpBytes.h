#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

// Builds Windows bitmap files byte by byte, so each test states exactly what the file holds.
struct BmpSpec {
    std::uint32_t headerSize = 40;
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::uint16_t bitsPerPixel = 8;
    std::uint32_t compression = 0;
    std::uint32_t colourCountField = 0;
    // Table entries as 0xRRGGBB, written in the header's entry format.
    std::vector<std::uint32_t> table;
    // Bytes written after the table and before the pixels (the pixel-offset field points
    // past them).
    std::size_t gap = 0;
    // Pixel rows as stored in the file (bottom row first for positive heights), padding
    // included.
    std::vector<std::uint8_t> pixels;
    // Bytes after the picture that the size field does not count.
    std::size_t trailing = 0;
    // Replaces the size field; otherwise it counts every byte up to the pixels' end.
    std::optional<std::uint32_t> sizeField;
    char mark[2] = {'B', 'M'};
};

inline void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

inline std::vector<std::uint8_t> MakeBmp(const BmpSpec& s) {
    std::vector<std::uint8_t> dib;
    PutU32(dib, s.headerSize);
    if (s.headerSize == 12) {
        PutU16(dib, static_cast<std::uint32_t>(s.width));
        PutU16(dib, static_cast<std::uint32_t>(s.height));
        PutU16(dib, 1);
        PutU16(dib, s.bitsPerPixel);
    } else {
        // The fields of the 40-byte header, cut to the header size (or padded with zeros).
        std::vector<std::uint8_t> h;
        PutU32(h, static_cast<std::uint32_t>(s.width));
        PutU32(h, static_cast<std::uint32_t>(s.height));
        PutU16(h, 1);
        PutU16(h, s.bitsPerPixel);
        PutU32(h, s.compression);
        PutU32(h, 0);
        PutU32(h, 2835);
        PutU32(h, 2835);
        PutU32(h, s.colourCountField);
        PutU32(h, 0);
        h.resize(s.headerSize >= 4 ? s.headerSize - 4 : 0, 0);
        dib.insert(dib.end(), h.begin(), h.end());
    }
    for (std::uint32_t rgb : s.table) {
        dib.push_back(static_cast<std::uint8_t>(rgb));
        dib.push_back(static_cast<std::uint8_t>(rgb >> 8));
        dib.push_back(static_cast<std::uint8_t>(rgb >> 16));
        if (s.headerSize != 12) {
            dib.push_back(0);
        }
    }
    dib.insert(dib.end(), s.gap, 0xEE);
    const auto pixelOffset = static_cast<std::uint32_t>(14 + dib.size());
    dib.insert(dib.end(), s.pixels.begin(), s.pixels.end());

    std::vector<std::uint8_t> file;
    file.push_back(static_cast<std::uint8_t>(s.mark[0]));
    file.push_back(static_cast<std::uint8_t>(s.mark[1]));
    PutU32(file, s.sizeField.value_or(static_cast<std::uint32_t>(14 + dib.size())));
    PutU32(file, 0);
    PutU32(file, pixelOffset);
    file.insert(file.end(), dib.begin(), dib.end());
    file.insert(file.end(), s.trailing, 0xAB);
    return file;
}

// Writes bytes to a file and returns whether that worked.
inline bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}
