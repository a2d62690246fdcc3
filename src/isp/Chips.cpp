#include "isp/Chips.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "isp/At89s53.h"

namespace velmo::chip {

namespace {

constexpr ChipDescription kChips[] = {
    {.kind = ChipKind::At89s53,
     .name = "AT89S53",
     .option = "at89s53",
     .flashSize = 12288,
     .eepromSize = 0,
     .instructionBytes = 3,
     .mode = SpiMode::Mode0,
     .sckDivider = 40,
     .flashPage = 0,
     .eepromPage = 0,
     .autoErase = true,
     .enableAnswers = false,
     .signature = {},
     .signatureBytes = 0,
     .lockBitsReadable = false,
     .eraseMaxUs = 100000},
    {.kind = ChipKind::At89s8252,
     .name = "AT89S8252",
     .option = "at89s8252",
     .flashSize = 8192,
     .eepromSize = 2048,
     .instructionBytes = 3,
     .mode = SpiMode::Mode0,
     .sckDivider = 40,
     .flashPage = 0,
     .eepromPage = 0,
     .autoErase = true,
     .enableAnswers = false,
     .signature = {},
     .signatureBytes = 0,
     .lockBitsReadable = false,
     .eraseMaxUs = 100000},
    // Their page frames carry no low address byte, and tools disagree on whether one is sent:
    // a wrong guess would shift every byte of a page, so they are written byte by byte.
    {.kind = ChipKind::At89s51,
     .name = "AT89S51",
     .option = "at89s51",
     .flashSize = 4096,
     .eepromSize = 0,
     .instructionBytes = 4,
     .mode = SpiMode::Mode0,
     .sckDivider = 16,
     .flashPage = 0,
     .eepromPage = 0,
     .autoErase = false,
     .enableAnswers = true,
     .signature = {0x1E, 0x51, 0x06},
     .signatureBytes = 3,
     .lockBitsReadable = true,
     .eraseMaxUs = 500000},
    {.kind = ChipKind::At89s52,
     .name = "AT89S52",
     .option = "at89s52",
     .flashSize = 8192,
     .eepromSize = 0,
     .instructionBytes = 4,
     .mode = SpiMode::Mode0,
     .sckDivider = 16,
     .flashPage = 0,
     .eepromPage = 0,
     .autoErase = false,
     .enableAnswers = true,
     .signature = {0x1E, 0x52, 0x06},
     .signatureBytes = 3,
     .lockBitsReadable = true,
     .eraseMaxUs = 500000},
    {.kind = ChipKind::At89s8253,
     .name = "AT89S8253",
     .option = "at89s8253",
     .flashSize = 12288,
     .eepromSize = 2048,
     .instructionBytes = 4,
     .mode = SpiMode::Mode1,
     .sckDivider = 16,
     .flashPage = 64,
     .eepromPage = 32,
     .autoErase = false,
     .enableAnswers = false,
     .signature = {0x1E, 0x73, 0x00},
     .signatureBytes = 2,
     .lockBitsReadable = true,
     .eraseMaxUs = 9000},
};

bool ThreeBytes(const ChipDescription& chip) {
    return chip.instructionBytes == 3;
}

// The addresses the memory decodes: the next power of two above its size, less one.
std::uint32_t AddressMask(const ChipDescription& chip, ChipMemory memory) {
    std::uint32_t mask = 1;
    while (mask < chip.Size(memory)) mask <<= 1;
    return mask - 1;
}

std::uint8_t High(std::uint32_t address) {
    return static_cast<std::uint8_t>(address >> 8);
}

std::uint8_t Low(std::uint32_t address) {
    return static_cast<std::uint8_t>(address);
}

// The fixed-clock instructions of the four-byte chips, like the AT89S53's three-byte ones.
Instruction Fixed4(const ChipDescription& chip, std::uint8_t first, std::uint8_t second,
                   std::uint32_t afterUs = 0) {
    Instruction instruction;
    instruction.bytes = {first, second, 0x00, 0x00};
    instruction.length = 4;
    instruction.halfPeriodUs = at89s53::kFixedHalfPeriodUs;
    instruction.gapUs = at89s53::kBetweenBytesUs;
    instruction.afterUs = afterUs;
    instruction.mode = chip.mode;
    return instruction;
}

// A four-byte access: opcode, address high and low, the data byte or the answer.
Instruction Access4(const ChipDescription& chip, std::uint8_t opcode, std::uint32_t address,
                    std::uint8_t data, bool reads, std::uint32_t halfPeriodUs) {
    Instruction instruction;
    instruction.bytes = {opcode, High(address), Low(address), data};
    instruction.length = 4;
    instruction.readsLast = reads;
    instruction.halfPeriodUs = halfPeriodUs;
    instruction.mode = chip.mode;
    return instruction;
}

// The AT89S8252's EEPROM: A10..A8 in bits 5..3 of the first byte, then 101 (read) or 110.
Instruction EepromAccess3(std::uint32_t address, std::uint8_t data, bool reads,
                          std::uint32_t halfPeriodUs) {
    Instruction instruction;
    const auto opcode = static_cast<std::uint8_t>(((address >> 8) & 0x07) << 3);
    instruction.bytes = {static_cast<std::uint8_t>(opcode | (reads ? 0x05 : 0x06)), Low(address),
                         data, 0};
    instruction.readsLast = reads;
    instruction.halfPeriodUs = halfPeriodUs;
    return instruction;
}

// A lock-bit write programs a cell and takes a write cycle before the next instruction.
constexpr std::uint32_t kLockWriteUs = 10000;

}  // namespace

const ChipDescription& Describe(ChipKind kind) {
    for (const ChipDescription& chip : kChips) {
        if (chip.kind == kind) return chip;
    }
    return kChips[0];
}

std::span<const ChipDescription> All() {
    return kChips;
}

std::optional<ChipKind> FromOption(std::string_view option) {
    std::string lower(option);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const ChipDescription& chip : kChips) {
        if (lower == chip.option) return chip.kind;
    }
    return std::nullopt;
}

std::uint32_t BitDelay(const ChipDescription& chip, double mhz) {
    constexpr double kLongestSensibleDelay = 1.0e6;
    const double divider = static_cast<double>(chip.sckDivider);
    const std::uint32_t atFastest = static_cast<std::uint32_t>(std::trunc(divider / 24.0 + 1.0));
    if (!std::isfinite(mhz) || mhz <= 0.0) return atFastest;
    const double delay = std::trunc(divider / mhz + 1.0);
    if (!(delay <= kLongestSensibleDelay)) return atFastest;
    return static_cast<std::uint32_t>(delay);
}

Instruction ProgrammingEnable(const ChipDescription& chip) {
    if (ThreeBytes(chip)) return at89s53::ProgrammingEnable();
    Instruction instruction = Fixed4(chip, 0xAC, 0x53);
    instruction.readsLast = true;
    return instruction;
}

Instruction ChipErase(const ChipDescription& chip) {
    if (!ThreeBytes(chip)) return Fixed4(chip, 0xAC, 0x80);
    Instruction instruction = at89s53::ChipErase();
    instruction.afterUs = 0;
    return instruction;
}

Instruction Read(const ChipDescription& chip, ChipMemory memory, std::uint32_t address,
                 std::uint32_t halfPeriodUs) {
    address &= AddressMask(chip, memory);
    if (!ThreeBytes(chip)) {
        return Access4(chip, memory == ChipMemory::Flash ? 0x20 : 0xA0, address, 0x00, true,
                       halfPeriodUs);
    }
    if (memory == ChipMemory::Eeprom) return EepromAccess3(address, 0x00, true, halfPeriodUs);
    return at89s53::ReadCode(address, halfPeriodUs);
}

Instruction Write(const ChipDescription& chip, ChipMemory memory, std::uint32_t address,
                  std::uint8_t data, std::uint32_t halfPeriodUs) {
    address &= AddressMask(chip, memory);
    if (!ThreeBytes(chip)) {
        return Access4(chip, memory == ChipMemory::Flash ? 0x40 : 0xC0, address, data, false,
                       halfPeriodUs);
    }
    if (memory == ChipMemory::Eeprom) return EepromAccess3(address, data, false, halfPeriodUs);
    return at89s53::WriteCode(address, data, halfPeriodUs);
}

void WritePage(const ChipDescription& chip, ChipMemory memory, std::uint32_t pageStart,
               std::span<const std::uint8_t> bytes, std::uint32_t halfPeriodUs,
               std::vector<Instruction>& out) {
    const std::uint32_t page = chip.Page(memory);
    if (page == 0) return;
    const std::uint32_t start = pageStart & AddressMask(chip, memory) & ~(page - 1);
    Instruction header =
        Access4(chip, memory == ChipMemory::Flash ? 0x50 : 0xD0, start, 0, false, halfPeriodUs);
    header.length = 3;
    out.push_back(header);
    for (std::size_t i = 0; i < page; i += kMaxInstructionBytes) {
        Instruction piece;
        piece.length = 0;
        for (std::size_t k = i; k < page && k < i + kMaxInstructionBytes; ++k) {
            piece.bytes[piece.length++] = k < bytes.size() ? bytes[k] : 0xFF;
        }
        piece.halfPeriodUs = halfPeriodUs;
        piece.mode = chip.mode;
        out.push_back(piece);
    }
}

Instruction ReadSignature(const ChipDescription& chip, unsigned index, std::uint32_t halfPeriodUs) {
    // The AT89S51/52 keep their signature at 000H, 100H and 200H; the AT89S8253 at 30H, 31H.
    const std::uint32_t address =
        chip.kind == ChipKind::At89s8253 ? 0x30u + index : static_cast<std::uint32_t>(index) << 8;
    return Access4(chip, 0x28, address, 0x00, true, halfPeriodUs);
}

std::vector<Instruction> WriteLockBits(const ChipDescription& chip, const LockBitChoice& bits) {
    if (ThreeBytes(chip)) {
        return {at89s53::WriteLockBits(bits[0] ? 1 : 0, bits[1] ? 1 : 0, bits[2] ? 1 : 0)};
    }
    if (chip.kind == ChipKind::At89s8253) {
        // 11100 LB3 LB2 LB1: a 0 programs the bit.
        const auto lock = static_cast<std::uint8_t>(
            0xE7 & ~((bits[2] ? 4 : 0) | (bits[1] ? 2 : 0) | (bits[0] ? 1 : 0)));
        return {Fixed4(chip, 0xAC, lock, kLockWriteUs)};
    }
    // 111000 B1 B2: modes 2 (Lock-Bit 1), 3 (and 2) and 4 (and 3), each only after the one
    // before it.
    std::vector<Instruction> modes;
    if (bits[0]) modes.push_back(Fixed4(chip, 0xAC, 0xE1, kLockWriteUs));
    if (bits[0] && bits[1]) modes.push_back(Fixed4(chip, 0xAC, 0xE2, kLockWriteUs));
    if (bits[0] && bits[1] && bits[2]) modes.push_back(Fixed4(chip, 0xAC, 0xE3, kLockWriteUs));
    return modes;
}

Instruction ReadLockBits(const ChipDescription& chip, std::uint32_t halfPeriodUs) {
    return Access4(chip, 0x24, 0, 0x00, true, halfPeriodUs);
}

LockBitChoice LockBitsRead(const ChipDescription& chip, std::uint8_t answer) {
    if (chip.kind == ChipKind::At89s8253) {
        // Bits 2..0 are LB3 LB2 LB1; a programmed bit reads 0.
        return {(answer & 0x01) == 0, (answer & 0x02) == 0, (answer & 0x04) == 0};
    }
    // Bits 4..2 are LB3 LB2 LB1; a programmed bit reads 1.
    return {(answer & 0x04) != 0, (answer & 0x08) != 0, (answer & 0x10) != 0};
}

}  // namespace velmo::chip
