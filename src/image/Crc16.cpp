#include "image/Crc16.h"

#include <cstdio>

namespace velmo {

void CCrc16::BuildTable() {
    for (unsigned i = 0; i < m_table.size(); ++i) {
        std::uint16_t v = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            const bool top = (v & 0x8000) != 0;
            v = static_cast<std::uint16_t>(v << 1);
            if (top) v ^= 0x1021;
        }
        m_table[i] = v;
    }
}

std::uint16_t CCrc16::Compute(const std::uint8_t* data, std::uint16_t length) const {
    std::uint16_t crc = 0;
    for (std::uint16_t i = 0; i < length; ++i) {
        const std::uint8_t index = static_cast<std::uint8_t>((crc >> 8) ^ data[i]);
        crc = static_cast<std::uint16_t>(m_table[index] ^ (crc << 8));
    }
    return crc;
}

std::string FormatCrc(std::uint16_t crc) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%.4X", static_cast<unsigned>(crc));
    return text;
}

}  // namespace velmo
