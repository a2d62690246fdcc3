#include "isp/Pins.h"

#include <iterator>

namespace velmo {

namespace {

enum class Reg : std::uint8_t { Data = 0, Status = 1, Control = 2 };

struct PinBit {
    bool known;
    Reg reg;
    std::uint8_t bit;
    bool inverted;  // the standard port inverts this line in hardware
    bool output;
};

constexpr PinBit kUnknown{false, Reg::Data, 0, false, false};

// Connector pin -> register bit, index = pin. Pins 18 to 25 are ground.
constexpr PinBit kPins[] = {
    kUnknown,                              // 0
    {true, Reg::Control, 0, true, true},   // 1  /STROBE
    {true, Reg::Data, 0, false, true},     // 2  D0
    {true, Reg::Data, 1, false, true},     // 3  D1
    {true, Reg::Data, 2, false, true},     // 4  D2
    {true, Reg::Data, 3, false, true},     // 5  D3
    {true, Reg::Data, 4, false, true},     // 6  D4
    {true, Reg::Data, 5, false, true},     // 7  D5
    {true, Reg::Data, 6, false, true},     // 8  D6
    {true, Reg::Data, 7, false, true},     // 9  D7
    {true, Reg::Status, 6, false, false},  // 10 /ACK
    {true, Reg::Status, 7, true, false},   // 11 BUSY
    {true, Reg::Status, 5, false, false},  // 12 PAPER OUT
    {true, Reg::Status, 4, false, false},  // 13 SELECT
    {true, Reg::Control, 1, true, true},   // 14 /AUTOFEED
    {true, Reg::Status, 3, false, false},  // 15 /ERROR
    {true, Reg::Control, 2, false, true},  // 16 /INIT
    {true, Reg::Control, 3, true, true},   // 17 /SELECT IN
};

PinBit Lookup(unsigned pin) {
    return pin < std::size(kPins) ? kPins[pin] : kUnknown;
}

std::uint16_t RegisterAddress(const PortIo& port, Reg reg) {
    return static_cast<std::uint16_t>(port.BaseAddress() + static_cast<unsigned>(reg));
}

}  // namespace

void SetPin(PortIo& port, unsigned pin, unsigned level) {
    const PinBit p = Lookup(pin & 0xFF);
    if (!p.known || !p.output) {
        return;
    }
    const bool high = (level & 0xFF) != 0;
    const bool setBit = high != p.inverted;
    const std::uint16_t address = RegisterAddress(port, p.reg);
    const auto mask = static_cast<std::uint8_t>(1u << p.bit);
    const std::uint8_t value = port.ReadPort(address);
    port.WritePort(address, setBit ? static_cast<std::uint8_t>(value | mask)
                                   : static_cast<std::uint8_t>(value & ~mask));
}

int GetPin(PortIo& port, unsigned pin) {
    const PinBit p = Lookup(pin & 0xFF);
    if (!p.known) {
        return 0;
    }
    const bool bitSet = (port.ReadPort(RegisterAddress(port, p.reg)) >> p.bit) & 1u;
    return bitSet != p.inverted ? 1 : 0;
}

}  // namespace velmo
