#pragma once

#include "port/Cable.h"
#include "port/PortIo.h"

namespace velmo {

// Pins of the 25-pin connector, with the standard port's hardware inversions folded in:
// level 1 is electrically high. Only the low 8 bits of pin and level count; any nonzero
// level is 1. Every write reads the register first (no copy of any register is kept);
// input pins and unknown pins cause no port access at all.
void SetPin(PortIo& port, unsigned pin, unsigned level);
int GetPin(PortIo& port, unsigned pin);

inline void SetLine(PortIo& port, IspLine line, unsigned level) {
    SetPin(port, CableOf(line).connectorPin, level);
}
inline int GetLine(PortIo& port, IspLine line) {
    return GetPin(port, CableOf(line).connectorPin);
}

}  // namespace velmo
