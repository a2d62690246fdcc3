#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "sim/SimChip.h"
#include "sim/SimOptions.h"
#include "timing/Clock.h"

namespace velmo {

// The AT89S53's serial programming interface as its pins see it.
//
// - Instructions are 24 bits, MOSI sampled on the rising edge of SCK, decoded only while
//   RST is high; after RST rises, only Programming Enable (0xAC 0x53 xx) is accepted.
// - Read: the cell goes out on MISO during the third byte, each bit changed after a
//   falling edge, most significant bit first.
// - Write: auto-erase and write of one cell, self-timed (writeTimeUs). Until it is done,
//   a read of that cell answers the byte with bit 7 inverted (data polling), and further
//   writes, erases and lock-bit writes are ignored.
// - Chip Erase: after eraseTimeUs every cell is 0xFF and the lock bits are clear; until
//   then nothing is accepted and MISO is held low, so an early read cannot pass for an
//   erased cell.
// - Lock bits: Lock-Bit 1 or 2 stops writes (the cells stay as they are); Lock-Bit 2 also
//   stops reads, which then answer a fixed pseudo-random byte per address instead of the
//   cell; Lock-Bit 3 (external execution) changes nothing visible here.
// - An SCK high or low phase shorter than 20 crystal periods flips the bit shifted in
//   during that clock cycle and counts a clock violation; for the rest of that instruction
//   MISO carries noise instead of any answer.
// - Stuck cells hold their value whatever is written or erased.
// - Where the chip does not drive MISO it reads 1 (the port input's pull-up).
class SimAt89s53 : public SimChip {
  public:
    SimAt89s53(Clock& clock, const SimOptions& options);

    const FlashImage& Flash() const override;
    void SetFlash(const FlashImage& flash) override;
    bool LockBit(int number) const override;
    std::uint64_t InstructionCount() const override { return m_instructions; }
    std::uint64_t ClockViolations() const override { return m_violations; }
    bool ProgrammingEnabled() const override { return m_enabled; }
    std::uint64_t BusyReads() const override { return m_busyReads; }

    bool Present() const { return m_present; }

    // The levels on the chip's pins, at the clock's present time.
    void SetLines(bool mosi, bool sck, bool rst);
    int Miso();

    // Counts every change of the flash content, so that the owner knows when to save it.
    std::uint64_t ChangeCount() const { return m_changes; }
    // The cells as stored, without completing timed work (needs no clock).
    const FlashImage& StoredFlash() const { return m_flash; }
    // Self-timed work goes on without the programmer: when the port goes away, a write or
    // erase that was started is finished as the chip would finish it (unless it never does).
    void FinishStartedWork();

  private:
    void Advance() const;
    void AdvanceTo(std::int64_t nowNs) const;
    void ResetSerial();
    void CommitBit(bool violation);
    void Execute();
    std::uint8_t ReadCell(std::uint16_t address) const;
    void ApplyStuckCells() const;
    bool WriteProtected() const { return m_lock[0] || m_lock[1]; }

    Clock& m_clock;
    const bool m_present;
    const double m_minPhaseNs;
    const std::int64_t m_writeTimeNs;
    const std::int64_t m_eraseTimeNs;
    const bool m_writeNeverCompletes;
    const std::map<std::uint16_t, std::uint8_t> m_stuck;

    // Mutable: self-timed work completes lazily whenever anybody looks at the chip.
    mutable FlashImage m_flash{};
    mutable std::array<bool, 3> m_lock{};
    mutable bool m_writeBusy = false;
    std::uint16_t m_writeAddress = 0;
    std::uint8_t m_writeData = 0;
    std::int64_t m_writeDoneNs = 0;
    mutable bool m_erasing = false;
    std::int64_t m_eraseDoneNs = 0;
    mutable std::uint64_t m_changes = 0;

    bool m_mosi = false;
    bool m_sck = false;
    bool m_rst = false;
    std::int64_t m_lastRiseNs;
    std::int64_t m_lastFallNs;

    bool m_enabled = false;
    bool m_haveRise = false;     // a rising edge since RST went high, waiting for its fall
    bool m_sampled = false;      // MOSI at that rising edge
    bool m_lowTooShort = false;  // the low phase before that rising edge
    std::uint32_t m_shift = 0;
    int m_bitCount = 0;
    bool m_outputting = false;
    std::uint8_t m_outByte = 0;
    bool m_miso = true;
    bool m_instructionViolated = false;
    std::uint16_t m_noise = 0xACE1;  // 16-bit LFSR: garbage on MISO after a violation

    std::uint64_t m_instructions = 0;
    std::uint64_t m_busyReads = 0;
    std::uint64_t m_violations = 0;
};

}  // namespace velmo
