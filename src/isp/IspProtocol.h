#pragma once

#include <cstdint>
#include <functional>

#include "isp/Settings.h"
#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo {

// What a byte write came to: whether the cell read back the written byte, and the byte it
// answered last.
struct WriteCheck {
    bool confirmed = false;
    bool stopped = false;  // the polling ended at a stop request, neither confirmed nor failed
    std::uint8_t lastRead = 0;
    int reads = 0;  // read-backs made
};

// The AT89S53's serial programming interface over the port's lines: the bit cycle, the
// start and end sequences of both modes and the five instructions. The owner tells it the
// mode and the bit delay whenever they change, also while an operation runs: a change applies
// from the next byte.
class IspProtocol {
  public:
    IspProtocol(PortIo& port, Clock& clock, ProgrammerMode mode = ProgrammerMode::Board,
                std::uint32_t bitDelay = 20);

    void SetMode(ProgrammerMode mode) { m_mode = mode; }
    ProgrammerMode Mode() const { return m_mode; }
    void SetBitDelay(std::uint32_t microseconds) { m_bitDelay = microseconds; }
    std::uint32_t BitDelay() const { return m_bitDelay; }

    // Runs between the read-back polls of WriteCodeByte (one pass of the event pump).
    void SetPumpCallback(std::function<void()> pump) { m_pump = std::move(pump); }

    // Board mode: true when READY answered. Raw mode always succeeds.
    bool StartSequence();
    void EndSequence();

    void ShiftOutByte(std::uint8_t value, std::uint32_t halfPeriod);
    std::uint8_t ShiftInByte(std::uint32_t halfPeriod);

    void ProgrammingEnable();
    void ChipErase();
    std::uint8_t ReadCodeByte(std::uint32_t address);
    // 1 when the cell reads back equal within the polling limit (at most 202 reads), else 0.
    int WriteCodeByte(std::uint32_t address, std::uint8_t data);
    // The same write and read-back, telling also what the cell answered last.
    WriteCheck WriteAndCheck(std::uint32_t address, std::uint8_t data);
    // The write, then data polling from the first read: the cell is read back at once and
    // again until it answers the written byte (while the chip's self-timed write runs it
    // answers with bit 7 inverted), for at most limitNs on the clock. stop is asked before
    // each read after the first; the polling ends when it says so.
    WriteCheck WriteAndPoll(std::uint32_t address, std::uint8_t data, std::int64_t limitNs,
                            const std::function<bool()>& stop);
    // A flag counts as set only when it equals 1.
    void WriteLockBits(int lockBit1, int lockBit2, int lockBit3);

    static std::uint8_t ReadInstruction(std::uint32_t address);
    static std::uint8_t WriteInstruction(std::uint32_t address);
    static std::uint8_t LockByte(int lockBit1, int lockBit2, int lockBit3);

    static constexpr std::uint32_t kFixedHalfPeriod = 100;
    static constexpr int kMaxReadBacks = 202;

    PortIo& Port() { return m_port; }
    Clock& GetClock() { return m_clock; }

  private:
    void BitCycle(int bit, std::uint32_t halfPeriod);
    void SendWrite(std::uint32_t address, std::uint8_t data);

    PortIo& m_port;
    Clock& m_clock;
    ProgrammerMode m_mode;
    std::uint32_t m_bitDelay;
    std::function<void()> m_pump;
};

}  // namespace velmo
