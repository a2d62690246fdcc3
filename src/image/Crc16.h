#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmo {

// Table-driven CRC-16, polynomial 0x1021, initial value 0, most significant bit first, no
// final XOR (the CRC-16/XMODEM parameters).
class CCrc16 {
  public:
    virtual ~CCrc16() = default;
    void BuildTable();
    // BuildTable must have run. A length of 0 gives 0.
    std::uint16_t Compute(const std::uint8_t* data, std::uint16_t length) const;

    std::array<std::uint16_t, 256> m_table{};
};

// "0x%.4X": 0x followed by at least four upper-case hexadecimal digits.
std::string FormatCrc(std::uint16_t crc);

}  // namespace velmo
