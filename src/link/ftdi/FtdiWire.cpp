#include "link/ftdi/FtdiWire.h"

namespace velmo {

std::uint8_t FtdiWire::OutputMask() const {
    std::uint8_t mask = 0;
    for (const CableLine& wire : kCable) {
        const FtdiPin& pin = m_pins.Line(wire.line);
        if (wire.output && pin.used) mask = static_cast<std::uint8_t>(mask | (1u << pin.bit));
    }
    return mask;
}

std::uint8_t FtdiWire::PinByte() const {
    std::uint8_t pins = 0;
    for (const CableLine& wire : kCable) {
        const FtdiPin& pin = m_pins.Line(wire.line);
        if (wire.output && pin.used && PinLevel(pin, Level(wire.line))) {
            pins = static_cast<std::uint8_t>(pins | (1u << pin.bit));
        }
    }
    return pins;
}

void FtdiWire::Note(Event::Kind kind, std::size_t answer, std::uint8_t bit) {
    if (m_recording) m_events.push_back({kind, m_elapsedNs, m_levels, answer, bit});
}

}  // namespace velmo
