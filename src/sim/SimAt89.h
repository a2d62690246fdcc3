#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "sim/SimChip.h"
#include "sim/SimModels.h"
#include "sim/SimOptions.h"
#include "timing/Clock.h"

namespace velmo {

inline constexpr std::size_t kSimEepromSize = 2048;

// A chip of the AT89S family (options.model names which) as its pins see it.
//
// - Instructions are decoded only while RST is high; after RST rises, only Programming Enable
//   (0xAC 0x53 ...) is accepted. The AT89S53 and AT89S8252 take three-byte instructions, the
//   AT89S51, AT89S52 and AT89S8253 four-byte ones (and page instructions: a header, then a
//   page of data). Mode 0 chips take MOSI on the rising edge of SCK and change MISO after the
//   falling one; the AT89S8253 (mode 1) takes MOSI on the falling edge and changes MISO after
//   the rising one, so a programmer on the wrong edge reads shifted bits or garbles the
//   instruction.
// - Answers go out on MISO during the instruction's last byte (a page read: every data
//   byte), most significant bit first. The AT89S51/52 answer Programming Enable with 0x69.
// - Writes are self-timed (writeTimeUs; a page write once its last byte is in). Until a write
//   is done, a read of its cell (a page: its last cell) answers the byte with bit 7 inverted
//   (data polling), and further writes, erases and lock-bit writes are ignored. The AT89S53
//   and AT89S8252 erase a flash cell before they write it; the others only clear bits, so a
//   cell that was not erased ends up as old AND new. EEPROM cells erase themselves.
// - Chip Erase: after eraseTimeUs every cell (EEPROM included) is 0xFF and the lock bits are
//   clear; until then nothing is accepted and MISO is held low (reads answer 0x00).
// - Lock bits: Lock-Bit 1 or 2 stops writes; Lock-Bit 2 also stops reads, which then answer a
//   fixed pseudo-random byte per address, and the AT89S51/52's signature (0xFF); Lock-Bit 3
//   changes nothing visible here. The AT89S51/52 take their modes only in order (2, then 3,
//   then 4); the others take any bits. The four-byte chips read them back.
// - An SCK high or low phase shorter than the model's minimum (20 crystal periods where SCK
//   must stay below XTAL/40, 8 where XTAL/16) flips the bit taken during that clock cycle and
//   counts a clock violation; for the rest of that instruction MISO carries noise.
// - Stuck cells hold their value whatever is written or erased.
// - Where the chip does not drive MISO it reads 1 (the port input's pull-up).
class SimAt89 : public SimChip {
  public:
    SimAt89(Clock& clock, const SimOptions& options);

    const FlashImage& Flash() const override;
    void SetFlash(const FlashImage& flash) override;
    std::span<const std::uint8_t> Eeprom() const override;
    void SetEeprom(std::span<const std::uint8_t> bytes) override;
    const char* ModelName() const override { return m_model.name; }
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
    enum class Memory : std::uint8_t { Flash, Eeprom };

    void Advance() const;
    void AdvanceTo(std::int64_t nowNs) const;
    void ResetSerial();
    void CommitBit(bool bit, bool violation);
    bool OutLevel();
    void ByteIn(std::uint8_t byte);
    void Header3();
    void Header4();
    void PageByte(std::uint8_t byte);
    void BeginPage(Memory memory, std::uint32_t address, bool write);
    bool Admit();
    void StartErase();
    void Execute3();
    void Execute4();
    void EndInstruction();
    void SetOut(std::uint8_t value);
    void StartWrite(Memory memory, std::uint32_t start, std::span<const std::uint8_t> bytes);
    void ProgramCell(Memory memory, std::uint32_t address, std::uint8_t value) const;
    std::uint8_t ReadCell(Memory memory, std::uint32_t address);
    std::uint8_t LockByte() const;
    void WriteLockMode(std::uint8_t mode);
    void ApplyStuckCells() const;
    bool WriteProtected() const { return m_lock[0] || m_lock[1]; }
    std::uint32_t Size(Memory memory) const;

    Clock& m_clock;
    const SimModel& m_model;
    const bool m_present;
    const double m_minPhaseNs;
    const std::int64_t m_writeTimeNs;
    const std::int64_t m_eraseTimeNs;
    const bool m_writeNeverCompletes;
    const std::map<std::uint16_t, std::uint8_t> m_stuck;

    // Mutable: self-timed work completes lazily whenever anybody looks at the chip.
    mutable FlashImage m_flash{};
    mutable std::array<std::uint8_t, kSimEepromSize> m_eeprom{};
    mutable std::array<bool, 3> m_lock{};
    mutable bool m_writeBusy = false;
    Memory m_writeMemory = Memory::Flash;
    std::uint32_t m_writeStart = 0;
    std::vector<std::uint8_t> m_writeData;
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
    bool m_sampled = false;      // mode 0: MOSI at that rising edge
    bool m_lowTooShort = false;  // the low phase before that rising edge
    std::uint8_t m_shift = 0;
    int m_bitInByte = 0;
    std::array<std::uint8_t, 4> m_header{};
    int m_headerBytes = 0;
    // A page instruction after its header: where its data goes or comes from.
    bool m_inPage = false;
    bool m_pageWrite = false;
    Memory m_pageMemory = Memory::Flash;
    std::uint32_t m_pageStart = 0;
    std::vector<std::uint8_t> m_page;
    bool m_outputting = false;  // the byte now being clocked carries m_outByte on MISO
    std::uint8_t m_outByte = 0;
    bool m_miso = true;
    bool m_instructionViolated = false;
    std::uint16_t m_noise = 0xACE1;  // 16-bit LFSR: garbage on MISO after a violation

    std::uint64_t m_instructions = 0;
    std::uint64_t m_busyReads = 0;
    std::uint64_t m_violations = 0;
};

}  // namespace velmo
