#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmo {

inline constexpr std::size_t kMaxInstructionBytes = 4;

// One serial programming instruction as it goes over the wire: its bytes, most significant
// bit first, every bit with the half-period halfPeriodUs; gapUs of waiting between two bytes
// and afterUs once the last byte has gone out. A reading instruction sends its last byte as
// given (0x00: MOSI stays low) and samples MISO before each of that byte's rising edges; what
// came in is its answer. The waits are data, so that a link that cannot wait between its
// bits itself (a USB adapter) still keeps them.
// How a chip takes its bits: mode 0 samples MOSI on SCK's rising edge and changes MISO after
// the falling one (the AT89S53); mode 1 samples on the falling edge and changes MISO after the
// rising one.
enum class SpiMode : std::uint8_t { Mode0, Mode1 };

struct Instruction {
    std::array<std::uint8_t, kMaxInstructionBytes> bytes{};
    std::uint8_t length = 3;
    bool readsLast = false;
    std::uint32_t halfPeriodUs = 0;
    std::uint32_t gapUs = 0;
    std::uint32_t afterUs = 0;
    SpiMode mode = SpiMode::Mode0;

    bool operator==(const Instruction&) const = default;
};

}  // namespace velmo
