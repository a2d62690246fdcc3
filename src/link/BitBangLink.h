#pragma once

#include <cstdint>

#include "link/IspLink.h"
#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo {

// The link over a register port (a parallel port, GPIO lines behind registers, the simulator):
// every bit is three line changes with the half-period between them, and every line change
// reads the register before it writes it, as the pins of the port are driven everywhere else.
//
// One bit cycle in SPI mode 0: MOSI to the bit (0 while receiving), wait, SCK high, wait, SCK
// low. A reading instruction samples MISO before each rising edge of its last byte, the first
// time directly after the previous byte's last falling edge; one read of the status register
// brings every socket's MISO at once. In mode 1 (an instruction's mode says so): SCK high, MOSI
// to the bit, wait, MISO sampled, SCK low, wait. Every instruction begins with SCK low.
class BitBangLink : public IspLink {
  public:
    // sockets: 1 to kMaxSockets; socket k answers on the status bit MisoOfSocket(k) names.
    BitBangLink(PortIo& port, Clock& clock, unsigned sockets = 1);

    void StartDriver() override { m_port.StartDriver(); }
    void StopDriver() override { m_port.StopDriver(); }
    bool DriverActive() const override { return m_port.DriverActive(); }
    std::string DriverMessage() const override { return m_port.DriverMessage(); }
    unsigned Sockets() const override { return m_sockets; }
    bool RunSequence(std::span<const LineStep> steps) override;
    void Transfer(std::span<const Instruction> batch, std::vector<SocketBytes>& answers) override;
    SocketBytes Send(const Instruction& instruction) override;
    void SetBaseAddress(std::uint16_t address) override { m_port.SetBaseAddress(address); }
    std::uint16_t BaseAddress() const override { return m_port.BaseAddress(); }

    PortIo& Port() { return m_port; }

  private:
    void BitCycle(bool bit, std::uint32_t halfPeriodUs, SpiMode mode);
    void RisingHalf(bool bit, std::uint32_t halfPeriodUs);
    void SampleMiso(int bit, SocketBytes& answer);
    SocketBytes ShiftIn(std::uint8_t sent, std::uint32_t halfPeriodUs, SpiMode mode);

    PortIo& m_port;
    Clock& m_clock;
    unsigned m_sockets;
};

}  // namespace velmo
