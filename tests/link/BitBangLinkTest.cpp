// The instructions as the bit-bang link puts them on the wire: bytes, half-periods, waits,
// sequences and every socket's answer, recorded on the virtual clock.
#include <gtest/gtest.h>

#include <functional>

#include "isp/At89s53.h"
#include "isp/Sequences.h"
#include "isp/Settings.h"
#include "link/BitBangLink.h"
#include "support/FakePort.h"

namespace velmo {
namespace {

using testing::DecodeWire;
using testing::FakePort;
using testing::WireByte;

// The status register with MISO high and READY low: every bit read is 1.
constexpr std::uint8_t kMisoHigh = MaskOf(IspLine::Miso);

constexpr std::int64_t Us(std::int64_t us) {
    return us * 1000 + 1;
}  // one virtual Delay

struct Bench {
    explicit Bench(unsigned sockets = 1) : port(&clock), link(port, clock, sockets) {}
    std::vector<WireByte> Wire() const { return DecodeWire(port.DataWrites()); }
    std::uint8_t Read(std::uint32_t address, std::uint32_t halfPeriod = 7) {
        return link.Send(at89s53::ReadCode(address, halfPeriod))[0];
    }

    VirtualClock clock;
    FakePort port;
    BitBangLink link;
};

TEST(BitBangLink, AddressBytesUseOnlyA0ToA13) {
    struct Case {
        std::uint32_t address;
        std::uint8_t read, write, low;
    };
    const Case cases[] = {
        {0x0000, 0x01, 0x02, 0x00},
        {0x1234, 0x91, 0x92, 0x34},
        {0x2000, 0x05, 0x06, 0x00},
        {0x2FFF, 0x7D, 0x7E, 0xFF},
        {0x0100, 0x09, 0x0A, 0x00},
        {0x1F00, 0xF9, 0xFA, 0x00},
        // Bits 14 and 15 (and anything above) are dropped.
        {0x4000 | 0x1234, 0x91, 0x92, 0x34},
        {0x8000 | 0x2FFF, 0x7D, 0x7E, 0xFF},
        {0xC000, 0x01, 0x02, 0x00},
        {0x1C000 | 0x2000, 0x05, 0x06, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "address 0x" << c.address);
        EXPECT_EQ(at89s53::ReadOpcode(c.address), c.read);
        EXPECT_EQ(at89s53::WriteOpcode(c.address), c.write);

        Bench bench;
        bench.port.status = kMisoHigh;  // reads 0xFF
        EXPECT_EQ(bench.Read(c.address), 0xFF);
        bench.link.Send(at89s53::WriteCode(c.address, 0xFF, 7));
        const auto wire = bench.Wire();
        ASSERT_GE(wire.size(), 6u);
        EXPECT_EQ(wire[0].value, c.read);
        EXPECT_EQ(wire[1].value, c.low);
        EXPECT_EQ(wire[2].value, 0x00);  // MOSI stays 0 while receiving
        EXPECT_EQ(wire[3].value, c.write);
        EXPECT_EQ(wire[4].value, c.low);
        EXPECT_EQ(wire[5].value, 0xFF);
    }
}

TEST(BitBangLink, LockByteForEveryFlagCombination) {
    struct Case {
        int lb1, lb2, lb3;
        std::uint8_t byte;
    };
    const Case cases[] = {
        {0, 0, 0, 0xFF},
        {1, 0, 0, 0x7F},
        {0, 1, 0, 0xBF},
        {0, 0, 1, 0xDF},
        {1, 1, 0, 0x3F},
        {1, 0, 1, 0x5F},
        {0, 1, 1, 0x9F},
        {1, 1, 1, 0x1F},
        // Only 1 counts as set.
        {2, 2, 2, 0xFF},
        {2, 1, 0, 0xBF},
        {-1, 0, 1, 0xDF},
        {1, 2, 3, 0x7F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.lb1 << c.lb2 << c.lb3);
        EXPECT_EQ(at89s53::LockByte(c.lb1, c.lb2, c.lb3), c.byte);
        Bench bench;
        bench.link.Send(at89s53::WriteLockBits(c.lb1, c.lb2, c.lb3));
        const auto wire = bench.Wire();
        ASSERT_EQ(wire.size(), 3u);
        EXPECT_EQ(wire[0].value, 0xAC);
        EXPECT_EQ(wire[1].value, c.byte);
        EXPECT_EQ(wire[2].value, 0x00);
    }
}

// Bytes, half-periods and the waits between the bytes of each instruction.
TEST(BitBangLink, InstructionsHaveTheirBytesHalfPeriodsAndWaits) {
    struct Case {
        const char* name;
        Instruction instruction;
        std::vector<std::uint8_t> bytes;
        std::int64_t halfPeriodNs;
        std::int64_t gapNs;      // between byte 1 and 2 and between 2 and 3
        std::int64_t trailerNs;  // after the last falling edge
    };
    const Case cases[] = {
        {"ProgrammingEnable",
         at89s53::ProgrammingEnable(),
         {0xAC, 0x53, 0x55},
         Us(100),
         Us(100),
         0},
        {"ChipErase",
         at89s53::ChipErase(),
         {0xAC, 0x04, 0x00},
         Us(100),
         Us(100),
         Us(100000)},
        {"WriteLockBits",
         at89s53::WriteLockBits(1, 0, 1),
         {0xAC, 0x5F, 0x00},
         Us(100),
         Us(100),
         0},
        {"ReadCodeByte",
         at89s53::ReadCode(0x2ABC, 7),
         {0x55, 0xBC, 0x00},
         Us(7),
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.port.data =
            MaskOf(IspLine::Sck);  // SCK left high: the instruction must pull it low first
        bench.link.Send(c.instruction);
        const auto writes = bench.port.DataWrites();
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.front().value, 0x00) << "SCK low before anything else";
        const auto wire = bench.Wire();
        ASSERT_EQ(wire.size(), c.bytes.size());
        for (std::size_t i = 0; i < wire.size(); ++i) {
            EXPECT_EQ(wire[i].value, c.bytes[i]) << "byte " << i;
            EXPECT_EQ(wire[i].minLowNs, c.halfPeriodNs);
            EXPECT_EQ(wire[i].maxLowNs, c.halfPeriodNs);
            EXPECT_EQ(wire[i].minHighNs, c.halfPeriodNs);
            EXPECT_EQ(wire[i].maxHighNs, c.halfPeriodNs);
        }
        EXPECT_EQ(wire[1].startNs - wire[0].endNs, c.gapNs);
        EXPECT_EQ(wire[2].startNs - wire[1].endNs, c.gapNs);
        EXPECT_EQ(bench.clock.NowNs() - wire[2].endNs, c.trailerNs);
        EXPECT_FALSE(LineLevel(IspLine::Sck, bench.port.data)) << "SCK ends low";
    }
}

TEST(BitBangLink, ShiftInSamplesMisoBeforeEachRisingEdge) {
    Bench bench;
    // The target's next bit appears on MISO after each falling edge: serve 0xA6 bit by
    // bit, advancing whenever SCK has gone high and low again since the last read.
    const std::uint8_t answer = 0xA6;
    int bitIndex = 0;
    std::size_t seenWrites = 0;
    bench.port.statusSource = [&]() -> std::uint8_t {
        const auto writes = bench.port.DataWrites();
        for (; seenWrites < writes.size(); ++seenWrites) {
            const bool fell = seenWrites > 0 && (writes[seenWrites - 1].value & 0x02) &&
                              !(writes[seenWrites].value & 0x02);
            bitIndex += fell;
        }
        const int bit = bitIndex < 8 ? (answer >> (7 - bitIndex)) & 1 : 0;
        return static_cast<std::uint8_t>(bit << 5);
    };
    Instruction receive;
    receive.length = 1;
    receive.readsLast = true;
    receive.halfPeriodUs = 3;
    EXPECT_EQ(bench.link.Send(receive)[0], answer);
    EXPECT_EQ(bench.port.StatusReads(), 8);
    EXPECT_FALSE(LineLevel(IspLine::Mosi, bench.port.data)) << "MOSI stays 0 while receiving";
}

TEST(BitBangLink, EachInstructionRunsAtItsOwnHalfPeriod) {
    Bench bench;
    bench.Read(0, 5);
    bench.Read(0, 9);
    const auto wire = bench.Wire();
    ASSERT_EQ(wire.size(), 6u);
    EXPECT_EQ(wire[0].minHighNs, Us(5));
    EXPECT_EQ(wire[3].minHighNs, Us(9));
}

struct Step {
    std::int64_t atNs;  // since the sequence began
    std::uint8_t data;  // the data register written then
};

std::vector<Step> Steps(const Bench& bench, std::int64_t origin) {
    std::vector<Step> steps;
    for (const auto& w : bench.port.DataWrites()) {
        steps.push_back({w.timeNs - origin, w.value});
    }
    return steps;
}

void ExpectSteps(const std::vector<Step>& got, const std::vector<Step>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].atNs, want[i].atNs) << "step " << i;
        EXPECT_EQ(got[i].data, want[i].data) << "step " << i;
    }
}

// Data register: bit 2 RST, bit 3 ENABLE; MOSI and SCK start high to show they stay alone.
TEST(BitBangLink, RawStartAndEndSequences) {
    Bench bench;
    bench.port.data = 0x03;
    EXPECT_TRUE(bench.link.RunSequence(StartSequence(ProgrammerMode::Raw)));
    ExpectSteps(
        Steps(bench, 0),
        {{0, 0x0B}, {0, 0x0B}, {Us(1000), 0x0F}, {2 * Us(1000), 0x0B}, {3 * Us(1000), 0x0F}});
    EXPECT_EQ(bench.clock.NowNs(), 3 * Us(1000) + Us(100000));
    EXPECT_EQ(bench.port.StatusReads(), 0) << "Raw mode never looks at READY";

    bench.port.log.clear();
    const std::int64_t end = bench.clock.NowNs();
    bench.link.RunSequence(EndSequence(ProgrammerMode::Raw));
    ExpectSteps(Steps(bench, end), {{0, 0x0B}});  // RST low, ENABLE stays
    EXPECT_EQ(bench.clock.NowNs(), end);
}

TEST(BitBangLink, BoardStartAndEndSequences) {
    for (bool ready : {true, false}) {
        SCOPED_TRACE(ready ? "READY high" : "READY low");
        Bench bench;
        bench.port.status = WithLine(IspLine::Ready, 0xFF, ready);
        EXPECT_EQ(bench.link.RunSequence(StartSequence(ProgrammerMode::Board)), ready);
        ExpectSteps(Steps(bench, 0), {{0, 0x08},
                                      {0, 0x08},
                                      {Us(1000), 0x0C},
                                      {Us(1000) + Us(300000), 0x08},
                                      {Us(1000) + Us(300000) + Us(100), 0x0C}});
        const std::int64_t readAt = Us(1000) + 2 * Us(300000) + Us(100);
        EXPECT_EQ(bench.clock.NowNs(), readAt);
        ASSERT_EQ(bench.port.StatusReads(), 1);
        EXPECT_EQ(bench.port.log.back().timeNs, readAt) << "READY read after the last wait";
        EXPECT_EQ(bench.port.data & 0x0C, 0x0C) << "a failed start leaves ENABLE and RST high";

        bench.port.log.clear();
        bench.link.RunSequence(EndSequence(ProgrammerMode::Board));
        ExpectSteps(Steps(bench, readAt), {{0, 0x04}, {0, 0x00}});
        EXPECT_EQ(bench.clock.NowNs(), readAt + Us(1000));
    }
}

// A gang's five sockets answer on the five status inputs with one read per bit.
TEST(BitBangLink, EverySocketAnswersOnItsOwnStatusInput) {
    // Socket k answers 0x11 * (k + 1); pin 11 (BUSY) is inverted by the port.
    const std::uint8_t answers[] = {0x11, 0x22, 0x33, 0x44, 0x55};
    Bench bench(5);
    int reads = 0;
    bench.port.statusSource = [&]() -> std::uint8_t {
        const int bit = 7 - reads++;
        std::uint8_t status = 0;
        for (unsigned socket = 0; socket < 5; ++socket) {
            status = SocketMisoPin(socket).With(status, (answers[socket] >> bit) & 1);
        }
        return status;
    };
    const SocketBytes got = bench.link.Send(at89s53::ReadCode(0x0100, 2));
    EXPECT_EQ(reads, 8) << "one status read per bit for all sockets";
    for (unsigned socket = 0; socket < 5; ++socket) EXPECT_EQ(got[socket], answers[socket]);
    EXPECT_EQ(got[5], 0) << "no socket beyond the link's";
}

}  // namespace
}  // namespace velmo
