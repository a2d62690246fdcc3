#pragma once

#include <array>
#include <cstdint>

#include "port/ConnectorPins.h"

namespace velmo {

// The programming lines, the same in both modes.
enum class IspLine : std::uint8_t { Mosi, Sck, Rst, Enable, Miso, Ready };
inline constexpr std::size_t kIspLineCount = 6;

// One wire of the programming cable: which connector pin carries the line, and where it
// ends on the target side.
struct CableLine {
    IspLine line;
    const char* name;
    std::uint8_t connectorPin;  // 25-pin connector
    bool output;                // driven by the program; inputs are answered by the target
    // AT89S53 pin in its 40-pin DIP package, 0 for the Velmo board's own signals.
    std::uint8_t chipPin;
};

// The cable, in IspLine order; the one place that says which line is on which pin. Every mask
// and level of a line is derived from it and the connector's pin table.
inline constexpr std::array<CableLine, kIspLineCount> kCable = {{
    {IspLine::Mosi, "MOSI", 2, true, 6},      // P1.5
    {IspLine::Sck, "SCK", 3, true, 8},        // P1.7
    {IspLine::Rst, "RST", 4, true, 9},        // RST: high while the chip is programmed
    {IspLine::Enable, "ENABLE", 5, true, 0},  // the board's interface enable
    {IspLine::Miso, "MISO", 12, false, 7},    // P1.6
    {IspLine::Ready, "READY", 15, false, 0},  // the board's answer
}};
// ENABLE and READY are the Velmo board's; a plain cable does without them.
constexpr bool MayBeLeftOut(IspLine line) {
    return line == IspLine::Enable || line == IspLine::Ready;
}
// Pins 18 to 25 of the connector are ground; the chip's ground is pin 20.
inline constexpr std::uint8_t kChipGroundPin = 20;

constexpr const CableLine& CableOf(IspLine line) {
    return kCable[static_cast<std::size_t>(line)];
}
constexpr ConnectorPin PinOf(IspLine line) {
    return FindConnectorPin(CableOf(line).connectorPin);
}
constexpr std::uint8_t MaskOf(IspLine line) {
    return PinOf(line).Mask();
}
constexpr PortRegister RegisterOf(IspLine line) {
    return PinOf(line).reg;
}
// Whether the line is high when its register holds value.
constexpr bool LineLevel(IspLine line, std::uint8_t value) {
    return PinOf(line).LevelIn(value);
}
// value with the line's bit changed so that the line is at level.
constexpr std::uint8_t WithLine(IspLine line, std::uint8_t value, bool level) {
    return PinOf(line).With(value, level);
}

// Where each socket of a gang fixture answers. MOSI, SCK and RST go to every socket; socket 1
// answers on the cable's MISO and the next four on the other status inputs (pin 15 is READY,
// which only Board mode reads, and a gang runs on the plain cable). A parallel port has no
// more inputs; ports that only stand in for its registers (GPIO lines) carry sockets 6 to 8 on
// the three status bits that no connector pin reaches.
inline constexpr std::array<std::uint8_t, 5> kSocketMisoPins = {12, 13, 10, 11, 15};
inline constexpr unsigned kMaxParallelSockets = kSocketMisoPins.size();
inline constexpr unsigned kMaxRegisterSockets = 8;

// The status bit of socket (counted from 0), with its inversion.
constexpr ConnectorPin SocketMisoPin(unsigned socket) {
    if (socket < kSocketMisoPins.size()) return FindConnectorPin(kSocketMisoPins[socket]);
    ConnectorPin pin;
    pin.exists = socket < kMaxRegisterSockets;
    pin.reg = PortRegister::Status;
    pin.bit = static_cast<std::uint8_t>(socket - kSocketMisoPins.size());
    return pin;
}

// The outputs sit on the data register and the inputs on the status register, so that every
// line change is one register write and both inputs come with one read.
static_assert([] {
    for (const CableLine& wire : kCable) {
        if (kCable[static_cast<std::size_t>(wire.line)].line != wire.line) return false;
        const ConnectorPin pin = FindConnectorPin(wire.connectorPin);
        if (!pin.exists || pin.output != wire.output) return false;
        if (pin.reg != (wire.output ? PortRegister::Data : PortRegister::Status)) return false;
    }
    return true;
}());

}  // namespace velmo
