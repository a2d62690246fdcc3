// The simulated chips of the family, driven by the programmer's own instructions: where each
// is as strict as its data sheet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isp/Chips.h"
#include "isp/Sequences.h"
#include "link/BitBangLink.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"

namespace velmo {
namespace {

constexpr ChipMemory kFlash = ChipMemory::Flash;

// One simulated chip on the plain cable, started and enabled.
struct Rig {
    explicit Rig(const std::string& model, const std::string& more = "")
        : chip(chip::Describe(*chip::FromOption(model))),
          port(clock, *ParseSimOptions("clock=virtual,model=" + model + more, nullptr)),
          link(port, clock) {
        port.StartDriver();
        link.RunSequence(StartSequence(ProgrammerMode::Raw));
        enableAnswer = Answer(chip::ProgrammingEnable(chip));
    }
    std::uint8_t Answer(const Instruction& instruction) { return link.Send(instruction)[0]; }
    std::uint8_t Read(std::uint32_t address) {
        return Answer(chip::Read(chip, kFlash, address, 2));
    }
    // A write, then its self-timed cycle waited out.
    void Write(std::uint32_t address, std::uint8_t value) {
        link.Send(chip::Write(chip, kFlash, address, value, 2));
        clock.Delay(5000);
    }
    const ChipDescription& chip;
    VirtualClock clock;
    SimPort port;
    BitBangLink link;
    std::uint8_t enableAnswer = 0;
};

TEST(SimModels, EachAnswersAsItsDataSheetSays) {
    const struct {
        const char* model;
        std::uint8_t enableAnswer;  // 0: the three-byte Programming Enable reads nothing
        std::uint8_t secondWrite;   // 0xA5, then 0x5A into the same cell
    } cases[] = {
        {"at89s53", 0x00, 0x5A}, {"at89s8252", 0x00, 0x5A},
        {"at89s51", 0x69, 0x00},  // no erase of its own: programming only clears bits
        {"at89s52", 0x69, 0x00}, {"at89s8253", 0xFF, 0x00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        Rig rig(c.model);
        EXPECT_EQ(rig.enableAnswer, c.enableAnswer);
        EXPECT_STREQ(rig.port.Chip().ModelName(), rig.chip.name);
        for (unsigned i = 0; i < rig.chip.signatureBytes; ++i) {
            EXPECT_EQ(rig.Answer(chip::ReadSignature(rig.chip, i, 2)), rig.chip.signature[i]);
        }
        rig.link.Send(chip::Write(rig.chip, kFlash, 0x0123, 0xA5, 2));
        EXPECT_EQ(rig.Read(0x0123), 0xA5 ^ 0x80) << "data polling while the write runs";
        rig.link.Send(chip::Write(rig.chip, kFlash, 0x0124, 0x11, 2));  // busy: refused
        rig.clock.Delay(5000);
        rig.Write(0x0123, 0x5A);
        EXPECT_EQ(rig.Read(0x0123), c.secondWrite);
        EXPECT_EQ(rig.Read(0x0124), 0xFF);
        EXPECT_EQ(rig.Read(rig.chip.flashSize), 0xFF) << "no cells beyond the flash";
        EXPECT_EQ(rig.port.Chip().ClockViolations(), 0u);
    }
}

// The AT89S8253 takes MOSI on the falling edge and changes MISO after the rising one.
TEST(SimModels, TheAt89s8253ReadOnTheWrongEdgeAnswersShiftedBits) {
    Rig rig("at89s8253");
    Instruction signature = chip::ReadSignature(rig.chip, 0, 2);
    EXPECT_EQ(rig.Answer(signature), 0x1E);
    signature.mode = SpiMode::Mode0;
    EXPECT_NE(rig.Answer(signature), 0x1E);
    Rig mode0("at89s52");
    Instruction enable = chip::ProgrammingEnable(mode0.chip);
    enable.mode = SpiMode::Mode1;
    mode0.link.RunSequence(SerialRestart());
    EXPECT_NE(mode0.Answer(enable), 0x69) << "a mode 0 chip takes mode 1 bits one late";
    EXPECT_FALSE(mode0.port.Chip().ProgrammingEnabled());
}

TEST(SimModels, EraseAnswersZeroUntilDoneAndTakesNothingMeanwhile) {
    Rig rig("at89s52");
    rig.Write(0x10, 0x00);
    rig.link.Send(chip::ChipErase(rig.chip));
    EXPECT_EQ(rig.Read(0x10), 0x00);
    rig.link.Send(chip::Write(rig.chip, kFlash, 0x20, 0x00, 2));
    rig.clock.Delay(500000);
    EXPECT_EQ(rig.Read(0x10), 0xFF);
    EXPECT_EQ(rig.Read(0x20), 0xFF) << "the write during the erase was not taken";
}

TEST(SimModels, TheAt89s52TakesItsLockModesOnlyInOrder) {
    Rig rig("at89s52");
    const auto mode = [&rig](std::uint8_t b1b2) {
        Instruction write = chip::WriteLockBits(rig.chip, {true, false, false}).front();
        write.bytes[1] = static_cast<std::uint8_t>(0xE0 | b1b2);
        rig.link.Send(write);
        return rig.Answer(chip::ReadLockBits(rig.chip, 2));
    };
    EXPECT_EQ(mode(0x02), 0x00) << "mode 3 before mode 2";
    EXPECT_EQ(mode(0x01), 0x04);
    EXPECT_EQ(mode(0x03), 0x04) << "mode 4 before mode 3";
    EXPECT_EQ(mode(0x02), 0x0C);
    EXPECT_EQ(rig.Answer(chip::ReadSignature(rig.chip, 0, 2)), 0xFF) << "hidden in mode 3";
    rig.Write(0x30, 0x00);
    EXPECT_TRUE(rig.port.Chip().LockBit(1));
    EXPECT_EQ(rig.port.Chip().Flash()[0x30], 0xFF) << "no writes once locked";
}

// The AT89S52's page frame has no low address byte: a programmer that sends one shifts the
// whole page by a byte.
TEST(SimModels, APageFrameWithALowAddressByteShiftsThePage) {
    for (const bool lowByte : {false, true}) {
        Rig rig("at89s52");
        std::vector<std::uint8_t> frame = {0x50, 0x01};
        if (lowByte) frame.push_back(0x00);
        for (int i = 0; i < 256; ++i) frame.push_back(static_cast<std::uint8_t>(i));
        Instruction piece;
        piece.length = 1;
        piece.halfPeriodUs = 2;
        for (const std::uint8_t byte : frame) {
            piece.bytes[0] = byte;
            rig.link.Send(piece);
        }
        rig.clock.Delay(5000);
        const FlashImage& flash = rig.port.Chip().Flash();
        EXPECT_EQ(flash[0x105], lowByte ? 0x04 : 0x05) << "low byte sent: " << lowByte;
    }
}

TEST(SimModels, TheAt89s8253WritesAPageAndIsPolledAtItsLastByte) {
    Rig rig("at89s8253");
    std::vector<std::uint8_t> page(64);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i + 1);
    std::vector<Instruction> writes;
    chip::WritePage(rig.chip, kFlash, 0x2FC0, page, 2, writes);
    std::vector<SocketBytes> answers;
    rig.link.Transfer(writes, answers);
    EXPECT_EQ(rig.Read(0x2FFF), 64 ^ 0x80);
    EXPECT_EQ(rig.Read(0x2FC0), 0xFF) << "not yet written";
    rig.clock.Delay(4500);
    EXPECT_EQ(rig.Read(0x2FFF), 64);
    EXPECT_EQ(rig.Read(0x2FC0), 1);
    EXPECT_EQ(rig.port.Chip().InstructionCount(), 1u + 4u + 1u);
}

// Each SCK phase must last 20 crystal periods where SCK stays below XTAL/40, 8 where XTAL/16.
TEST(SimModels, TheClockLimitIsTheModels) {
    const struct {
        const char* model;
        const char* xtal;
        bool fine;
    } cases[] = {{"at89s53", "12", false}, {"at89s53", "24", true},  {"at89s52", "12", true},
                 {"at89s52", "6", false},  {"at89s8253", "9", true}, {"at89s8253", "6", false}};
    for (const auto& c : cases) {
        Rig rig(c.model, std::string(",xtal=") + c.xtal);
        rig.link.Send(chip::Write(rig.chip, kFlash, 0x40, 0x3C, 1));
        rig.clock.Delay(5000);
        EXPECT_EQ(rig.port.Chip().Flash()[0x40] == 0x3C, c.fine) << c.model << " " << c.xtal;
        EXPECT_EQ(rig.port.Chip().ClockViolations() == 0, c.fine) << c.model << " " << c.xtal;
    }
}

TEST(SimModels, TheModelOptionBringsItsTimesUnlessTheyAreGiven) {
    const auto options = [](const std::string& text) {
        std::string error;
        const auto parsed = ParseSimOptions(text, &error);
        EXPECT_TRUE(parsed) << error;
        return parsed.value_or(SimOptions{});
    };
    EXPECT_EQ(options("model=AT89S52").eraseTimeUs, 500000u);
    EXPECT_EQ(options("model=at89s8253").writeTimeUs, 4500u);
    EXPECT_EQ(options("writetime=10,model=at89s51").writeTimeUs, 10u);
    EXPECT_EQ(options("model=at89s51,erasetime=7").eraseTimeUs, 7u);
    const SimOptions gang = options("model=at89s52,model@2=at89s8253");
    EXPECT_EQ(gang.ForSocket(0).model, SimModelKind::At89s52);
    EXPECT_EQ(gang.ForSocket(1).model, SimModelKind::At89s8253);
    std::string error;
    EXPECT_FALSE(ParseSimOptions("model=at89c51", &error));
    EXPECT_NE(error.find("at89s8253"), std::string::npos) << error;
}

}  // namespace
}  // namespace velmo
