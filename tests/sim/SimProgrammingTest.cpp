// The simulated chip driven by the real instruction layer: what a programmer sees, and
// where the simulator is as strict as the chip.
#include <gtest/gtest.h>

#include <algorithm>

#include "isp/Settings.h"
#include "port/Pins.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/IspDriver.h"
#include "timing/Clock.h"

namespace velmo {
using testing::IspDriver;

namespace {

SimOptions Options(const std::string& text) {
    std::string error;
    auto options = ParseSimOptions(text, &error);
    EXPECT_TRUE(options) << error;
    return options.value_or(SimOptions{});
}

class SimBench {
  public:
    explicit SimBench(const std::string& options = "", ProgrammerMode mode = ProgrammerMode::Board,
                      std::uint32_t bitDelay = 2)
        : bitDelay(bitDelay), port(clock, Options(options)), isp(port, clock, mode, bitDelay) {
        port.StartDriver();
    }

    // Start sequence and Programming Enable, as every operation begins.
    bool Begin() {
        if (!isp.StartSequence()) {
            return false;
        }
        isp.ProgrammingEnable();
        clock.Delay(10000);
        return true;
    }

    const SimChip& Chip() const { return port.Chip(); }

    std::uint32_t bitDelay;
    VirtualClock clock;
    SimPort port;
    IspDriver isp;
};

TEST(SimProgramming, WritesAndReadsBackEveryKindOfByte) {
    SimBench bench;
    ASSERT_TRUE(bench.Begin());
    EXPECT_TRUE(bench.Chip().ProgrammingEnabled());
    const std::uint32_t addresses[] = {0x0000, 0x0001, 0x1234, 0x2000, 0x2FFF};
    const std::uint8_t values[] = {0x00, 0x5A, 0xA5, 0x80, 0x7F, 0xFF};
    for (std::uint32_t address : addresses) {
        for (std::uint8_t value : values) {
            SCOPED_TRACE(::testing::Message() << "address " << address << " value " << +value);
            EXPECT_EQ(bench.isp.WriteCodeByte(address, value), 1);
            EXPECT_EQ(bench.isp.ReadCodeByte(address), value);
            EXPECT_EQ(bench.Chip().Flash()[address], value);
        }
    }
    // Bits 14 and 15 of the address reach the same cell.
    EXPECT_EQ(bench.isp.WriteCodeByte(0xC000 | 0x1234, 0x42), 1);
    EXPECT_EQ(bench.Chip().Flash()[0x1234], 0x42);
    EXPECT_EQ(bench.Chip().ClockViolations(), 0u);
}

TEST(SimProgramming, WholeChipRoundTripOnTheVirtualClock) {
    SimBench bench("", ProgrammerMode::Raw, 1);
    ASSERT_TRUE(bench.Begin());
    FlashImage image;
    for (std::size_t a = 0; a < image.size(); ++a) {
        image[a] = static_cast<std::uint8_t>((a * 151 + 7) ^ (a >> 8));
    }
    int failures = 0;
    for (std::size_t a = 0; a < image.size(); ++a) {
        failures += bench.isp.WriteCodeByte(static_cast<std::uint32_t>(a), image[a]) != 1;
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(bench.Chip().Flash(), image);
    int mismatches = 0;
    for (std::size_t a = 0; a < image.size(); ++a) {
        mismatches += bench.isp.ReadCodeByte(static_cast<std::uint32_t>(a)) != image[a];
    }
    EXPECT_EQ(mismatches, 0);
}

// SCK high and low must each last 20 crystal periods: 833 ns at 24 MHz, 6.7 us at 3 MHz.
TEST(SimProgramming, TooFastAClockForTheCrystalCorruptsTheBits) {
    struct Case {
        const char* xtal;
        std::uint32_t halfPeriodUs;
        bool fine;
    };
    const Case cases[] = {
        {"24", 1, true}, {"24", 2, true}, {"12", 2, true}, {"12", 1, false},
        {"3", 14, true}, {"3", 7, true},  {"3", 6, false}, {"3", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "xtal " << c.xtal << " MHz, half-period " << c.halfPeriodUs << " us");
        SimBench bench(std::string("xtal=") + c.xtal, ProgrammerMode::Board, c.halfPeriodUs);
        ASSERT_TRUE(bench.Begin());  // 100 us half-periods: fine for any crystal here
        ASSERT_TRUE(bench.Chip().ProgrammingEnabled());
        EXPECT_EQ(bench.Chip().ClockViolations(), 0u);

        const int written = bench.isp.WriteCodeByte(0x0155, 0x5A);
        const std::uint8_t erased = bench.isp.ReadCodeByte(0x2000);
        if (c.fine) {
            EXPECT_EQ(written, 1);
            EXPECT_EQ(erased, 0xFF);
            EXPECT_EQ(bench.Chip().Flash()[0x0155], 0x5A);
            EXPECT_EQ(bench.Chip().ClockViolations(), 0u);
        } else {
            EXPECT_EQ(written, 0);
            EXPECT_NE(erased, 0xFF);
            EXPECT_NE(bench.Chip().Flash()[0x0155], 0x5A);
            EXPECT_GT(bench.Chip().ClockViolations(), 0u);
        }
    }
}

TEST(SimProgramming, LockBit1StopsWritesAndLockBit2StopsReads) {
    SimBench bench;
    ASSERT_TRUE(bench.Begin());
    ASSERT_EQ(bench.isp.WriteCodeByte(5, 0x11), 1);

    bench.isp.WriteLockBits(1, 0, 0);
    EXPECT_TRUE(bench.Chip().LockBit(1));
    EXPECT_FALSE(bench.Chip().LockBit(2));
    EXPECT_EQ(bench.isp.WriteCodeByte(5, 0x22), 0);
    EXPECT_EQ(bench.isp.WriteCodeByte(6, 0x33), 0);
    EXPECT_EQ(bench.Chip().Flash()[5], 0x11);
    EXPECT_EQ(bench.Chip().Flash()[6], 0xFF);
    EXPECT_EQ(bench.isp.ReadCodeByte(5), 0x11) << "Lock-Bit 1 alone still reads";

    bench.isp.WriteLockBits(0, 1, 0);  // adds Lock-Bit 2; Lock-Bit 1 stays
    EXPECT_TRUE(bench.Chip().LockBit(1));
    EXPECT_TRUE(bench.Chip().LockBit(2));
    int answeredTheCell = 0;
    for (std::uint32_t a = 0; a < 64; ++a) {
        answeredTheCell += bench.isp.ReadCodeByte(a) == bench.Chip().Flash()[a];
    }
    EXPECT_LT(answeredTheCell, 8) << "a read-locked chip must not read like its cells";
    EXPECT_EQ(bench.Chip().Flash()[5], 0x11) << "the cells themselves are unchanged";

    bench.isp.WriteLockBits(0, 0, 1);
    EXPECT_TRUE(bench.Chip().LockBit(3));
}

TEST(SimProgramming, ChipEraseClearsCellsAndLockBitsAndTakesItsTime) {
    SimBench bench("erasetime=150000");  // longer than the 100 ms the instruction waits
    ASSERT_TRUE(bench.Begin());
    ASSERT_EQ(bench.isp.WriteCodeByte(0x100, 0x00), 1);
    ASSERT_EQ(bench.isp.WriteCodeByte(0x2FFF, 0x12), 1);
    bench.isp.WriteLockBits(1, 1, 1);

    bench.isp.ChipErase();  // 100 ms into a 150 ms erase
    EXPECT_EQ(bench.isp.ReadCodeByte(0x100), 0x00) << "no answer while erasing";
    EXPECT_EQ(bench.isp.WriteCodeByte(0x200, 0x77), 0) << "no write while erasing";

    bench.clock.Delay(50000);
    const SimChip& chip = bench.Chip();
    EXPECT_TRUE(std::all_of(chip.Flash().begin(), chip.Flash().end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_FALSE(chip.LockBit(1));
    EXPECT_FALSE(chip.LockBit(2));
    EXPECT_FALSE(chip.LockBit(3));
    EXPECT_EQ(bench.isp.ReadCodeByte(0x100), 0xFF);
    EXPECT_EQ(bench.isp.WriteCodeByte(0x200, 0x77), 1);
}

TEST(SimProgramming, DataPollingShowsAnUnfinishedWriteWithBit7Inverted) {
    // A write time above the 1 ms the programmer waits: the first read-back is early.
    SimBench bench("writetime=1500");
    ASSERT_TRUE(bench.Begin());
    const std::uint64_t before = bench.Chip().InstructionCount();
    EXPECT_EQ(bench.isp.WriteCodeByte(0x0777, 0x3C), 1);
    // The write, the read-back after 1 ms, the first poll right after it (both still
    // early) and the second poll 1 ms later.
    EXPECT_EQ(bench.Chip().InstructionCount() - before, 4u);

    // Reading straight after the write, without any wait, sees the polling answer.
    SetLine(bench.port, IspLine::Sck, 0);
    bench.isp.ShiftOutByte(at89s53::WriteOpcode(0x0778), bench.bitDelay);
    bench.isp.ShiftOutByte(0x78, bench.bitDelay);
    bench.isp.ShiftOutByte(0x3C, bench.bitDelay);
    EXPECT_EQ(bench.isp.ReadCodeByte(0x0778), 0x3C ^ 0x80);
    EXPECT_EQ(bench.isp.ReadCodeByte(0x0777), 0x3C) << "other cells read normally";
    EXPECT_EQ(bench.Chip().Flash()[0x0778], 0xFF) << "not yet written";
    bench.clock.Delay(1500);
    EXPECT_EQ(bench.isp.ReadCodeByte(0x0778), 0x3C);
}

TEST(SimProgramming, FaultsMakeWritesFailAfter202Reads) {
    struct Case {
        const char* options;
        std::uint32_t address;
    };
    const Case cases[] = {
        {"writetime=never", 0x0010}, {"stuck=0042:00", 0x0042}, {"stuck=0x2fff:5B", 0x2FFF}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        SimBench bench(c.options);
        ASSERT_TRUE(bench.Begin());
        const std::uint64_t before = bench.Chip().InstructionCount();
        EXPECT_EQ(bench.isp.WriteCodeByte(c.address, 0xA5), 0);
        EXPECT_EQ(bench.Chip().InstructionCount() - before, 1u + IspDriver::kMaxReadBacks);
    }
    // A stuck cell holds its value through an erase; its neighbours work.
    SimBench bench("stuck=0042:00");
    ASSERT_TRUE(bench.Begin());
    bench.isp.ChipErase();
    EXPECT_EQ(bench.isp.ReadCodeByte(0x42), 0x00);
    EXPECT_EQ(bench.isp.WriteCodeByte(0x43, 0xA5), 1);
    EXPECT_EQ(bench.isp.WriteCodeByte(0x42, 0x00), 1) << "writing its own value succeeds";
}

TEST(SimProgramming, NothingIsAcceptedWithoutProgrammingEnableWhileRstIsHigh) {
    SimBench bench;
    ASSERT_TRUE(bench.isp.StartSequence());
    EXPECT_FALSE(bench.Chip().ProgrammingEnabled());
    EXPECT_EQ(bench.isp.WriteCodeByte(0, 0x12), 0);
    bench.isp.WriteLockBits(1, 1, 1);
    EXPECT_FALSE(bench.Chip().LockBit(1));
    EXPECT_EQ(bench.Chip().Flash()[0], 0xFF);

    bench.isp.ProgrammingEnable();
    EXPECT_TRUE(bench.Chip().ProgrammingEnabled());
    bench.isp.EndSequence();  // RST low ends programming
    EXPECT_FALSE(bench.Chip().ProgrammingEnabled());
    ASSERT_TRUE(bench.isp.StartSequence());
    EXPECT_FALSE(bench.Chip().ProgrammingEnabled()) << "a new reset needs a new enable";
    EXPECT_EQ(bench.isp.WriteCodeByte(0, 0x12), 0);
}

TEST(SimProgramming, WithoutAChipMisoStaysHighAndNothingIsDecoded) {
    SimBench bench("chip=absent");
    ASSERT_TRUE(bench.Begin()) << "the board answers without a chip";
    EXPECT_EQ(bench.isp.ReadCodeByte(0x123), 0xFF);
    EXPECT_EQ(bench.isp.WriteCodeByte(0x123, 0x00), 0);
    EXPECT_EQ(bench.Chip().InstructionCount(), 0u);
}

// The board must see ENABLE high and its reset: a long high, a short low pulse, a high.
TEST(SimBoard, ReadyAnswersOnlyTheBoardsResetSequence) {
    using Lines = std::function<void(SimBench&)>;
    auto set = [](SimBench& b, IspLine line, int level) { SetLine(b.port, line, level); };
    struct Case {
        const char* name;
        const char* options;
        Lines run;
        bool ready;
    };
    const Case cases[] = {
        {"board sequence", "", [](SimBench& b) { b.isp.StartSequence(); }, true},
        {"board sequence twice", "",
         [](SimBench& b) {
             b.isp.StartSequence();
             b.isp.StartSequence();
         },
         true},
        {"no board", "board=absent", [](SimBench& b) { b.isp.StartSequence(); }, false},
        {"raw cable's sequence", "",
         [](SimBench& b) {
             b.isp.SetMode(ProgrammerMode::Raw);
             b.isp.StartSequence();
         },
         false},
        {"no reset at all", "",
         [set](SimBench& b) {
             set(b, IspLine::Enable, 1);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(1000000);
         },
         false},
        {"reset without ENABLE", "",
         [set](SimBench& b) {
             set(b, IspLine::Enable, 0);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(300000);
             set(b, IspLine::Rst, 0);
             b.clock.Delay(100);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(300000);
         },
         false},
        {"too long a low pulse", "",
         [set](SimBench& b) {
             set(b, IspLine::Enable, 1);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(300000);
             set(b, IspLine::Rst, 0);
             b.clock.Delay(50000);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(300000);
         },
         false},
        {"READY read too early", "",
         [set](SimBench& b) {
             set(b, IspLine::Enable, 1);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(300000);
             set(b, IspLine::Rst, 0);
             b.clock.Delay(100);
             set(b, IspLine::Rst, 1);
             b.clock.Delay(1000);
         },
         false},
        {"after the end sequence", "",
         [](SimBench& b) {
             b.isp.StartSequence();
             b.isp.EndSequence();
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimBench bench(c.options, ProgrammerMode::Board);
        c.run(bench);
        EXPECT_EQ(GetLine(bench.port, IspLine::Ready), c.ready ? 1 : 0);
    }
}

TEST(SimBoard, TheBoardPassesTheLinesOnlyWhileEnabled) {
    for (bool boardPresent : {true, false}) {
        SCOPED_TRACE(boardPresent ? "board" : "raw cable");
        SimBench bench(boardPresent ? "" : "board=absent", ProgrammerMode::Raw);
        SetLine(bench.port, IspLine::Enable, 0);
        SetLine(bench.port, IspLine::Rst, 1);
        bench.clock.Delay(20000);
        bench.isp.ProgrammingEnable();
        EXPECT_EQ(bench.Chip().ProgrammingEnabled(), !boardPresent);
        EXPECT_EQ(bench.Chip().InstructionCount(), boardPresent ? 0u : 1u);
    }
}

TEST(SimPort, RegistersAsAPortShowsThem) {
    VirtualClock clock;
    SimPort port(clock, Options("board=absent"));
    port.StartDriver();
    EXPECT_TRUE(port.DriverActive());
    EXPECT_NE(port.DriverMessage().find("0x378"), std::string::npos);
    port.SetBaseAddress(0x278);
    port.WritePort(0x278, 0xF0);
    port.WritePort(0x27A, 0x05);
    port.WritePort(0x279, 0x00);  // the status register takes no writes
    EXPECT_EQ(port.ReadPort(0x278), 0xF0);
    EXPECT_EQ(port.ReadPort(0x27A), 0x05);
    // MISO (bit 5) undriven reads 1, READY (bit 3) 0 without a board, the rest idle.
    EXPECT_EQ(port.ReadPort(0x279), 0x77);
    EXPECT_EQ(port.ReadPort(0x378), 0xFF) << "nothing at the old base";
}

}  // namespace
}  // namespace velmo
