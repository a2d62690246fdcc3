// Placeholder until the instructions land.
#include "isp/IspProtocol.h"

namespace velmo {
IspProtocol::IspProtocol(PortIo& port, Clock& clock, const std::uint8_t& mode,
                         const std::uint32_t& bitDelay)
    : m_port(port), m_clock(clock), m_mode(mode), m_bitDelay(bitDelay) {}
bool IspProtocol::StartSequence() { return true; }
void IspProtocol::EndSequence() {}
void IspProtocol::ShiftOutByte(std::uint8_t, std::uint32_t) {}
std::uint8_t IspProtocol::ShiftInByte(std::uint32_t) { return 0xFF; }
void IspProtocol::ProgrammingEnable() {}
void IspProtocol::ChipErase() {}
std::uint8_t IspProtocol::ReadCodeByte(std::uint32_t) { return 0xFF; }
int IspProtocol::WriteCodeByte(std::uint32_t, std::uint8_t) { return 1; }
void IspProtocol::WriteLockBits(int, int, int) {}
std::uint8_t IspProtocol::ReadInstruction(std::uint32_t) { return 0; }
std::uint8_t IspProtocol::WriteInstruction(std::uint32_t) { return 0; }
std::uint8_t IspProtocol::LockByte(int, int, int) { return 0xFF; }
void IspProtocol::BitCycle(int, std::uint32_t) {}
}  // namespace velmo
