#pragma once

#include <cstdint>

#include "isp/PortIo.h"

namespace velmo {

// Pins of the 25-pin connector, with the standard port's hardware inversions folded in:
// level 1 is electrically high. Only the low 8 bits of pin and level count; any nonzero
// level is 1. Every write reads the register first (no copy of any register is kept);
// input pins and unknown pins cause no port access at all.
void SetPin(PortIo& port, unsigned pin, unsigned level);
int GetPin(PortIo& port, unsigned pin);

// The programming lines, the same in both modes.
enum class IspLine : std::uint8_t {
    Mosi = 2,     // data bit 0, output
    Sck = 3,      // data bit 1, output
    Rst = 4,      // data bit 2, output
    Enable = 5,   // data bit 3, output
    Miso = 12,    // status bit 5, input
    Ready = 15,   // status bit 3, input
};

inline void SetLine(PortIo& port, IspLine line, unsigned level) {
    SetPin(port, static_cast<unsigned>(line), level);
}
inline int GetLine(PortIo& port, IspLine line) { return GetPin(port, static_cast<unsigned>(line)); }

}  // namespace velmo
