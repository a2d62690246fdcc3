#include "port/Pins.h"

namespace velmo {

namespace {

std::uint16_t RegisterAddress(const PortIo& port, PortRegister reg) {
    return static_cast<std::uint16_t>(port.BaseAddress() + static_cast<unsigned>(reg));
}

}  // namespace

void SetPin(PortIo& port, unsigned pin, unsigned level) {
    const ConnectorPin p = FindConnectorPin(pin & 0xFF);
    if (!p.exists || !p.output) return;
    const std::uint16_t address = RegisterAddress(port, p.reg);
    port.WritePort(address, p.With(port.ReadPort(address), (level & 0xFF) != 0));
}

int GetPin(PortIo& port, unsigned pin) {
    const ConnectorPin p = FindConnectorPin(pin & 0xFF);
    if (!p.exists) return 0;
    return p.LevelIn(port.ReadPort(RegisterAddress(port, p.reg))) ? 1 : 0;
}

}  // namespace velmo
