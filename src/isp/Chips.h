#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "isp/Instruction.h"

// The AT89S family on one cable (MOSI P1.5, MISO P1.6, SCK P1.7, RST high while programmed):
// what each chip holds and how its serial instructions are built. The AT89S53's own builders
// (isp/At89s53.h) are its entry here, byte for byte.
namespace velmo {

enum class ChipKind : std::uint8_t { At89s53, At89s8252, At89s51, At89s52, At89s8253 };

// The code flash, and on the AT89S8252 and AT89S8253 the data EEPROM beside it.
enum class ChipMemory : std::uint8_t { Flash, Eeprom };

// Lock-Bit 1, 2 and 3; true: program that bit.
using LockBitChoice = std::array<bool, 3>;

struct ChipDescription {
    ChipKind kind;
    const char* name;    // "AT89S52"
    const char* option;  // "at89s52", as --chip names it
    std::uint32_t flashSize;
    std::uint32_t eepromSize;       // 0: none
    std::uint8_t instructionBytes;  // 3 or 4
    SpiMode mode;
    // SCK must stay below the crystal's frequency divided by this.
    std::uint32_t sckDivider;
    // Bytes one page write takes; 0: the programmer writes byte by byte.
    std::uint32_t flashPage;
    std::uint32_t eepromPage;
    // A flash write erases its cell first; elsewhere programming only clears bits, so the chip
    // is erased as a whole before it is written. EEPROM cells always erase themselves.
    bool autoErase;
    // Programming Enable answers kEnableAnswer in its fourth byte.
    bool enableAnswers;
    // What the signature reads give; signatureBytes 0: no signature can be read serially.
    std::array<std::uint8_t, 3> signature;
    std::uint8_t signatureBytes;
    bool lockBitsReadable;
    // The longest Chip Erase may take.
    std::uint32_t eraseMaxUs;

    std::uint32_t Size(ChipMemory memory) const {
        return memory == ChipMemory::Flash ? flashSize : eepromSize;
    }
    std::uint32_t Page(ChipMemory memory) const {
        return memory == ChipMemory::Flash ? flashPage : eepromPage;
    }
    bool ErasesCellsItself(ChipMemory memory) const {
        return memory == ChipMemory::Eeprom || autoErase;
    }
};

inline constexpr std::uint8_t kEnableAnswer = 0x69;

namespace chip {

const ChipDescription& Describe(ChipKind kind);
std::span<const ChipDescription> All();
// The chip --chip names ("at89s52", any case); nullopt for any other word.
std::optional<ChipKind> FromOption(std::string_view option);

// Half-period of the bit clock for reads and writes: trunc(divider / MHz + 1) microseconds,
// twice the chip's limit, as the window has always kept it for the AT89S53.
std::uint32_t BitDelay(const ChipDescription& chip, double mhz);

// Programming Enable, Chip Erase and the lock bits go at a slow fixed clock that suits any
// crystal. Chip Erase carries no wait of its own: the caller waits or polls.
Instruction ProgrammingEnable(const ChipDescription& chip);
Instruction ChipErase(const ChipDescription& chip);
Instruction Read(const ChipDescription& chip, ChipMemory memory, std::uint32_t address,
                 std::uint32_t halfPeriodUs);
Instruction Write(const ChipDescription& chip, ChipMemory memory, std::uint32_t address,
                  std::uint8_t data, std::uint32_t halfPeriodUs);
// One page write: its header, then bytes (Page(memory) of them, from the page's start) in
// pieces of up to four; appended to out. Only for memories with pages.
void WritePage(const ChipDescription& chip, ChipMemory memory, std::uint32_t pageStart,
               std::span<const std::uint8_t> bytes, std::uint32_t halfPeriodUs,
               std::vector<Instruction>& out);
// Signature byte index (0 .. signatureBytes - 1).
Instruction ReadSignature(const ChipDescription& chip, unsigned index, std::uint32_t halfPeriodUs);
// The instructions that program the chosen lock bits, in the order the chip takes them.
std::vector<Instruction> WriteLockBits(const ChipDescription& chip, const LockBitChoice& bits);
// Only where lockBitsReadable.
Instruction ReadLockBits(const ChipDescription& chip, std::uint32_t halfPeriodUs);
LockBitChoice LockBitsRead(const ChipDescription& chip, std::uint8_t answer);

}  // namespace chip

}  // namespace velmo
