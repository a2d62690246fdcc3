#pragma once

#include <cstdint>

#include "isp/At89s53.h"
#include "isp/Sequences.h"
#include "link/BitBangLink.h"
#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo::testing {

// The chip's instructions one at a time over a bit-bang link, for the tests that drive the
// simulator or a backend below the operations.
class IspDriver {
  public:
    IspDriver(PortIo& port, Clock& clock, ProgrammerMode mode = ProgrammerMode::Board,
              std::uint32_t bitDelay = 20)
        : link(port, clock), m_clock(clock), m_mode(mode), m_bitDelay(bitDelay) {}

    void SetMode(ProgrammerMode mode) { m_mode = mode; }
    bool StartSequence() { return link.RunSequence(::velmo::StartSequence(m_mode)); }
    void EndSequence() { link.RunSequence(::velmo::EndSequence(m_mode)); }
    void ProgrammingEnable() { link.Send(at89s53::ProgrammingEnable()); }
    void ChipErase() { link.Send(at89s53::ChipErase()); }
    void WriteLockBits(int lb1, int lb2, int lb3) {
        link.Send(at89s53::WriteLockBits(lb1, lb2, lb3));
    }
    std::uint8_t ReadCodeByte(std::uint32_t address) {
        return link.Send(at89s53::ReadCode(address, m_bitDelay))[0];
    }
    // The write, then the window's read-back: after 1 ms, then up to 201 more a millisecond
    // apart. 1 when the cell answered the byte.
    int WriteCodeByte(std::uint32_t address, std::uint8_t data) {
        Instruction write = at89s53::WriteCode(address, data, m_bitDelay);
        write.afterUs = 1000;
        link.Send(write);
        for (int read = 1; read <= kMaxReadBacks; ++read) {
            if (read > 2) m_clock.Delay(1000);
            if (ReadCodeByte(address) == data) return 1;
        }
        return 0;
    }
    // One byte alone, as a piece of an instruction.
    void ShiftOutByte(std::uint8_t value, std::uint32_t halfPeriod) {
        Instruction piece;
        piece.bytes[0] = value;
        piece.length = 1;
        piece.halfPeriodUs = halfPeriod;
        link.Send(piece);
    }

    static constexpr int kMaxReadBacks = 202;

    BitBangLink link;

  private:
    Clock& m_clock;
    ProgrammerMode m_mode;
    std::uint32_t m_bitDelay;
};

}  // namespace velmo::testing
