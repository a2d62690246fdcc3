#pragma once

#include <array>
#include <cstdint>

namespace velmo {

// The three registers of a parallel port, as offsets from its base address.
enum class PortRegister : std::uint8_t { Data = 0, Status = 1, Control = 2 };

// One pin of the 25-pin connector as the port's registers see it.
struct ConnectorPin {
    bool exists = false;  // pins 1 to 17; 18 to 25 are ground
    PortRegister reg = PortRegister::Data;
    std::uint8_t bit = 0;
    // The standard port inverts this pin in hardware: a set bit is a low pin.
    bool inverted = false;
    // The program can drive it; the status pins are inputs.
    bool output = false;

    constexpr std::uint8_t Mask() const { return static_cast<std::uint8_t>(1u << bit); }
    // Whether the pin is electrically high when its register holds value.
    constexpr bool LevelIn(std::uint8_t value) const { return ((value & Mask()) != 0) != inverted; }
    // value with this pin's bit changed so that the pin is at level.
    constexpr std::uint8_t With(std::uint8_t value, bool level) const {
        return level != inverted ? static_cast<std::uint8_t>(value | Mask())
                                 : static_cast<std::uint8_t>(value & ~Mask());
    }
};

// The connector, index = pin number; the one place that says which register bit a pin is.
inline constexpr std::array<ConnectorPin, 18> kConnectorPins = {{
    {},                                             // 0: no such pin
    {true, PortRegister::Control, 0, true, true},   // 1  /STROBE
    {true, PortRegister::Data, 0, false, true},     // 2  D0
    {true, PortRegister::Data, 1, false, true},     // 3  D1
    {true, PortRegister::Data, 2, false, true},     // 4  D2
    {true, PortRegister::Data, 3, false, true},     // 5  D3
    {true, PortRegister::Data, 4, false, true},     // 6  D4
    {true, PortRegister::Data, 5, false, true},     // 7  D5
    {true, PortRegister::Data, 6, false, true},     // 8  D6
    {true, PortRegister::Data, 7, false, true},     // 9  D7
    {true, PortRegister::Status, 6, false, false},  // 10 /ACK
    {true, PortRegister::Status, 7, true, false},   // 11 BUSY
    {true, PortRegister::Status, 5, false, false},  // 12 PAPER OUT
    {true, PortRegister::Status, 4, false, false},  // 13 SELECT
    {true, PortRegister::Control, 1, true, true},   // 14 /AUTOFEED
    {true, PortRegister::Status, 3, false, false},  // 15 /ERROR
    {true, PortRegister::Control, 2, false, true},  // 16 /INIT
    {true, PortRegister::Control, 3, true, true},   // 17 /SELECT IN
}};

// The pin with that number, or one that does not exist.
constexpr ConnectorPin FindConnectorPin(unsigned pin) {
    return pin < kConnectorPins.size() ? kConnectorPins[pin] : ConnectorPin{};
}

// The status register of a port whose input pins all float high; the three bits below the
// pins read 1 as on most ports.
constexpr std::uint8_t FloatingStatus() {
    std::uint8_t value = 0x07;
    for (const ConnectorPin& pin : kConnectorPins) {
        if (pin.exists && pin.reg == PortRegister::Status) value = pin.With(value, true);
    }
    return value;
}

}  // namespace velmo
