// Every chip's instructions byte for byte, as its data sheet frames them, and the numbers the
// programmer takes from the chip description.
#include <gtest/gtest.h>

#include <vector>

#include "isp/Chips.h"

namespace velmo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const Instruction& instruction) {
    return Bytes(instruction.bytes.begin(), instruction.bytes.begin() + instruction.length);
}

const ChipDescription& S53 = chip::Describe(ChipKind::At89s53);
const ChipDescription& S8252 = chip::Describe(ChipKind::At89s8252);
const ChipDescription& S51 = chip::Describe(ChipKind::At89s51);
const ChipDescription& S52 = chip::Describe(ChipKind::At89s52);
const ChipDescription& S8253 = chip::Describe(ChipKind::At89s8253);
constexpr ChipMemory kFlash = ChipMemory::Flash;
constexpr ChipMemory kEeprom = ChipMemory::Eeprom;

TEST(Chips, EachInstructionAsTheChipTakesIt) {
    const struct {
        const char* what;
        Instruction instruction;
        Bytes bytes;
        bool reads;
        SpiMode mode;
    } cases[] = {
        {"53 enable", chip::ProgrammingEnable(S53), {0xAC, 0x53, 0x55}, false, SpiMode::Mode0},
        {"52 enable, answered",
         chip::ProgrammingEnable(S52),
         {0xAC, 0x53, 0, 0},
         true,
         SpiMode::Mode0},
        {"8253 enable", chip::ProgrammingEnable(S8253), {0xAC, 0x53, 0, 0}, true, SpiMode::Mode1},
        {"8252 erase", chip::ChipErase(S8252), {0xAC, 0x04, 0x00}, false, SpiMode::Mode0},
        {"51 erase", chip::ChipErase(S51), {0xAC, 0x80, 0, 0}, false, SpiMode::Mode0},
        {"53 read, A13 in bit 2",
         chip::Read(S53, kFlash, 0x2FFF, 2),
         {0x7D, 0xFF, 0},
         true,
         SpiMode::Mode0},
        {"8252 read, bit 2 stays 0",
         chip::Read(S8252, kFlash, 0x3FFF, 2),
         {0xF9, 0xFF, 0},
         true,
         SpiMode::Mode0},
        {"8252 EEPROM read",
         chip::Read(S8252, kEeprom, 0x7FF, 2),
         {0x3D, 0xFF, 0},
         true,
         SpiMode::Mode0},
        {"8252 EEPROM write",
         chip::Write(S8252, kEeprom, 0x123, 0x5A, 2),
         {0x0E, 0x23, 0x5A},
         false,
         SpiMode::Mode0},
        {"51 write, 12 address bits",
         chip::Write(S51, kFlash, 0x1FFF, 0x5A, 1),
         {0x40, 0x0F, 0xFF, 0x5A},
         false,
         SpiMode::Mode0},
        {"52 read",
         chip::Read(S52, kFlash, 0x1234, 1),
         {0x20, 0x12, 0x34, 0},
         true,
         SpiMode::Mode0},
        {"8253 EEPROM read",
         chip::Read(S8253, kEeprom, 0x7FF, 1),
         {0xA0, 0x07, 0xFF, 0},
         true,
         SpiMode::Mode1},
        {"8253 EEPROM write",
         chip::Write(S8253, kEeprom, 0x10, 0x22, 1),
         {0xC0, 0x00, 0x10, 0x22},
         false,
         SpiMode::Mode1},
        {"52 third signature byte",
         chip::ReadSignature(S52, 2, 100),
         {0x28, 0x02, 0x00, 0},
         true,
         SpiMode::Mode0},
        {"8253 second signature byte",
         chip::ReadSignature(S8253, 1, 100),
         {0x28, 0x00, 0x31, 0},
         true,
         SpiMode::Mode1},
        {"8253 lock bits", chip::ReadLockBits(S8253, 1), {0x24, 0, 0, 0}, true, SpiMode::Mode1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BytesOf(c.instruction), c.bytes);
        EXPECT_EQ(c.instruction.readsLast, c.reads);
        EXPECT_EQ(c.instruction.mode, c.mode);
    }
    EXPECT_EQ(chip::ChipErase(S53).afterUs, 0u) << "the caller waits or polls";
}

TEST(Chips, LockBitsGoInTheChipsOwnEncodingAndReadBack) {
    const struct {
        const ChipDescription& chip;
        LockBitChoice bits;
        std::vector<Bytes> writes;
    } cases[] = {
        {S53, {true, false, false}, {{0xAC, 0x7F, 0x00}}},
        {S8252, {true, true, true}, {{0xAC, 0x1F, 0x00}}},
        // Modes 2, 3 and 4, each only after the one before it.
        {S51, {true, false, false}, {{0xAC, 0xE1, 0, 0}}},
        {S52, {true, true, true}, {{0xAC, 0xE1, 0, 0}, {0xAC, 0xE2, 0, 0}, {0xAC, 0xE3, 0, 0}}},
        {S8253, {true, false, false}, {{0xAC, 0xE6, 0, 0}}},
        {S8253, {true, true, true}, {{0xAC, 0xE0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip.name) + " " + std::to_string(c.writes.size()));
        std::vector<Bytes> writes;
        for (const Instruction& i : chip::WriteLockBits(c.chip, c.bits))
            writes.push_back(BytesOf(i));
        EXPECT_EQ(writes, c.writes);
    }
    EXPECT_EQ(chip::LockBitsRead(S52, 0x04), (LockBitChoice{true, false, false}));
    EXPECT_EQ(chip::LockBitsRead(S52, 0x1C), (LockBitChoice{true, true, true}));
    EXPECT_EQ(chip::LockBitsRead(S8253, 0xFE), (LockBitChoice{true, false, false}));
    EXPECT_EQ(chip::LockBitsRead(S8253, 0xFF), (LockBitChoice{false, false, false}));
}

// 50 (D0 for the EEPROM), high, low with only A7 A6 (A7..A5), then the page in pieces.
TEST(Chips, APageWriteIsItsHeaderAndThenEveryByteOfThePage) {
    for (const ChipMemory memory : {kFlash, kEeprom}) {
        const std::uint32_t page = S8253.Page(memory);
        Bytes data(page);
        for (std::size_t i = 0; i < page; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
        std::vector<Instruction> out;
        chip::WritePage(S8253, memory, 0x07F5, data, 1, out);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(BytesOf(out[0]),
                  memory == kFlash ? (Bytes{0x50, 0x07, 0xC0}) : (Bytes{0xD0, 0x07, 0xE0}));
        Bytes sent;
        for (std::size_t i = 1; i < out.size(); ++i) {
            const Bytes piece = BytesOf(out[i]);
            sent.insert(sent.end(), piece.begin(), piece.end());
            EXPECT_EQ(out[i].mode, SpiMode::Mode1);
        }
        EXPECT_EQ(sent, data);
    }
}

TEST(Chips, TheClockFollowsEachChipsLimitAndTheNamesAreTheOptions) {
    const struct {
        const ChipDescription& chip;
        double mhz;
        std::uint32_t halfPeriod;
    } cases[] = {{S53, 24, 2}, {S52, 24, 1}, {S8253, 12, 2}, {S8252, 3, 14},
                 {S51, 3, 6},  {S53, 0, 2},  {S52, -1, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(chip::BitDelay(c.chip, c.mhz), c.halfPeriod) << c.chip.name << " " << c.mhz;
    }
    for (const ChipDescription& chip : chip::All()) {
        EXPECT_EQ(chip::FromOption(chip.option), chip.kind);
        EXPECT_EQ(&chip::Describe(chip.kind), &chip);
    }
    EXPECT_EQ(chip::FromOption("AT89S8253"), ChipKind::At89s8253);
    EXPECT_FALSE(chip::FromOption("auto"));
    EXPECT_FALSE(chip::FromOption("at89s5"));
}

}  // namespace
}  // namespace velmo
