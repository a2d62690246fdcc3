// Placeholder until the operations land.
#include "isp/Programmer.h"

#include "app/CommandLine.h"

namespace velmo {
Programmer::Programmer(PortIo& port, Clock& clock, Host& host)
    : m_port(port), m_clock(clock), m_host(host), m_isp(port, clock, m_mode, m_bitDelay) {
    m_crc.BuildTable();
    ClearImage(m_image);
    ClearImage(m_readImage);
}
void Programmer::SetClockRate(double mhz) {
    m_clockRate = mhz;
    m_bitDelay = BitDelayForClockRate(mhz);
}
void Programmer::ApplyCommandLine(const CommandLineSettings& s) {
    m_batch = s.batch;
    m_mode = static_cast<std::uint8_t>(s.mode);
    m_portIndex = s.portIndex;
    SetPortAddress(s.portAddress);
    SetClockRate(s.clockRate);
}
void Programmer::SelectPort(std::uint8_t portIndex) {
    static constexpr std::uint16_t kAddresses[] = {LPT1_ADDRESS, LPT2_ADDRESS, LPT3_ADDRESS};
    if (portIndex < 1 || portIndex > 3) return;
    m_portIndex = portIndex;
    SetPortAddress(kAddresses[portIndex - 1]);
}
bool Programmer::StartDriver() {
    m_port.StartDriver();
    m_driverRunning = m_port.DriverActive() ? 1 : 0;
    return m_driverRunning != 0;
}
void Programmer::ShutdownDriver() {}
void Programmer::ApplyInteractiveDefaults() {}
void Programmer::LoadFile(const std::string&) {}
bool Programmer::SaveReadImage(const std::string&) { return true; }
void Programmer::OnErase() {}
void Programmer::OnProgram() {}
void Programmer::OnVerify() {}
void Programmer::OnRead() {}
void Programmer::OnLockBits() {}
void Programmer::OnAbort() {}
void Programmer::PumpMessages() { m_host.PumpMessages(); }
void Programmer::OnWriteFailed() {}
bool Programmer::StartStep() { return true; }
}  // namespace velmo
