// The byte loops both front ends share, against the simulated AT89S53 on the virtual clock:
// how a write learns that the chip is done, and how a stop request ends a step.
#include <gtest/gtest.h>

#include <functional>

#include "isp/At89s53.h"
#include "link/BitBangLink.h"
#include "ops/ChipSession.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/FakePort.h"
#include "support/Images.h"

namespace velmo::testing {
namespace {

// Stops when asked to at the n-th stop question.
class StopAt : public OperationObserver {
  public:
    bool StopRequested() override { return ++m_asked == stopAt; }
    int stopAt = 0;  // 0: never

  private:
    int m_asked = 0;
};

struct Bench {
    explicit Bench(SimOptions options = {},
                   WriteCompletion completion = WriteCompletion::DataPolling)
        : port(clock, Virtual(options)),
          link(port, clock),
          session(link, clock, observer, ProgrammerMode::Raw, 2) {
        session.SetWriteCompletion(completion);
        const StepResult opened = session.Open();
        EXPECT_TRUE(opened.ok());
        EXPECT_TRUE(session.Erase().ok());
    }
    static SimOptions Virtual(SimOptions options) {
        options.virtualClock = true;
        return options;
    }
    // Virtual time one write of 0x5A takes, and the reads the chip answered as still busy.
    std::pair<double, std::uint64_t> TimeOneWrite(std::uint32_t address) {
        FlashImage image;
        ClearImage(image);
        image[address] = 0x5A;
        const std::uint64_t busyBefore = port.Chip().BusyReads();
        const std::int64_t start = clock.NowNs();
        EXPECT_TRUE(session.Write(image, WriteSelection::SkipBlank).ok());
        return {static_cast<double>(clock.NowNs() - start) / 1000.0,
                port.Chip().BusyReads() - busyBefore};
    }

    VirtualClock clock;
    SimPort port;
    BitBangLink link;
    StopAt observer;
    ChipSession session;
};

// One instruction of 24 bit cycles at a half-period of 2 us.
constexpr double kInstructionUs = 24 * 2 * 2;

TEST(ChipSessionWrites, DataPollingReadsFromTheFirstMomentUntilTheChipIsDone) {
    for (const std::uint32_t writeTime : {100u, 500u, 2000u}) {
        SCOPED_TRACE(writeTime);
        SimOptions options;
        options.writeTimeUs = writeTime;
        Bench bench(options);
        const auto [us, busy] = bench.TimeOneWrite(0x0123);
        EXPECT_EQ(bench.port.Chip().Flash()[0x0123], 0x5A);
        // Every read while the write runs finds bit 7 inverted; the one after it the byte.
        const double readsDuringWrite = writeTime / kInstructionUs;
        EXPECT_GE(static_cast<double>(busy), readsDuringWrite - 1.0);
        EXPECT_LE(static_cast<double>(busy), readsDuringWrite + 1.0);
        // The write costs what the chip takes plus at most one read, not a fixed millisecond.
        EXPECT_GE(us, kInstructionUs + writeTime);
        EXPECT_LE(us, kInstructionUs + writeTime + 2 * kInstructionUs);
    }
}

TEST(ChipSessionWrites, TheFixedWaitReadsBackOnlyAfterAMillisecond) {
    for (const std::uint32_t writeTime : {100u, 500u, 2000u}) {
        SCOPED_TRACE(writeTime);
        SimOptions options;
        options.writeTimeUs = writeTime;
        Bench bench(options, WriteCompletion::FixedWait);
        const auto [us, busy] = bench.TimeOneWrite(0x0123);
        EXPECT_EQ(bench.port.Chip().Flash()[0x0123], 0x5A);
        if (writeTime < 1000) {
            EXPECT_EQ(busy, 0u) << "the first read comes after the chip is done";
            EXPECT_GE(us, kInstructionUs + 1000 + kInstructionUs);
        } else {
            // 1 ms, a read, at once a poll, then a poll a millisecond later finds the byte:
            // the write costs whole milliseconds beyond what the chip takes.
            EXPECT_EQ(busy, 2u);
            EXPECT_GE(us, kInstructionUs + 2000 + 3 * kInstructionUs);
        }
    }
}

TEST(ChipSessionWrites, ACellThatNeverCompletesFailsAfterAQuarterSecond) {
    SimOptions options;
    options.writeNeverCompletes = true;
    Bench bench(options);
    FlashImage image;
    ClearImage(image);
    image[0x2ABC] = 0x3C;
    const std::int64_t start = bench.clock.NowNs();
    const StepResult result = bench.session.Write(image, WriteSelection::SkipBlank);
    const double ms = static_cast<double>(bench.clock.NowNs() - start) / 1e6;
    EXPECT_EQ(result.outcome, StepOutcome::WriteFailed);
    EXPECT_EQ(result.address, 0x2ABCu);
    EXPECT_EQ(result.wanted, 0x3C);
    EXPECT_EQ(result.readBack, 0x3C ^ 0x80) << "the chip still answers with bit 7 inverted";
    EXPECT_GT(ms, 250.0);
    EXPECT_LT(ms, 251.0);
}

TEST(ChipSessionWrites, AStopRequestEndsThePollingAndTheStep) {
    SimOptions options;
    options.writeNeverCompletes = true;
    Bench bench(options);
    const FlashImage image = PatternImage();
    // Asked before byte 0, then between its polls: the fifth question comes during them.
    bench.observer.stopAt = 5;
    const std::int64_t start = bench.clock.NowNs();
    const StepResult result = bench.session.Write(image, WriteSelection::All);
    EXPECT_EQ(result.outcome, StepOutcome::Stopped);
    EXPECT_EQ(result.address, 0u);
    EXPECT_LT(bench.clock.NowNs() - start, 1'000'000) << "no waiting out the quarter second";
}

TEST(ChipSessionWrites, EveryWayOfWritingLeavesTheSameChip) {
    const FlashImage image = PatternImage();
    FlashImage withGaps = image;
    for (std::size_t a = 0x1000; a < 0x2000; ++a) withGaps[a] = 0xFF;
    for (const WriteCompletion completion :
         {WriteCompletion::DataPolling, WriteCompletion::FixedWait}) {
        for (const WriteSelection selection : {WriteSelection::All, WriteSelection::SkipBlank}) {
            Bench bench({}, completion);
            const StepResult result = bench.session.Write(withGaps, selection);
            ASSERT_TRUE(result.ok());
            EXPECT_EQ(result.written,
                      selection == WriteSelection::All ? FLASH_SIZE : CountNotBlank(withGaps));
            EXPECT_EQ(bench.port.Chip().Flash(), withGaps);
            FlashImage seen;
            ImageDifference difference;
            ASSERT_TRUE(bench.session.Verify(withGaps, seen, difference).ok());
            EXPECT_TRUE(difference.Equal());
        }
    }
}

// The window keeps its fixed millisecond: on its wire the read-back of a byte starts at
// least 1 ms after the write's last clock edge.
TEST(ChipSessionWrites, TheFixedWaitsGapBetweenWriteAndReadBackIsOnTheWire) {
    VirtualClock clock;
    FakePort port(&clock);
    port.SetMiso(true);  // every cell answers 0xFF
    OperationObserver observer;
    BitBangLink link(port, clock);
    ChipSession session(link, clock, observer, ProgrammerMode::Raw, 2);
    FlashImage image;
    ClearImage(image);
    ASSERT_TRUE(session.Write(image, WriteSelection::All).ok());
    const auto wire = DecodeWire(port.DataWrites());
    ASSERT_EQ(wire.size(), 6u * FLASH_SIZE);
    for (std::size_t byte = 0; byte < 3; ++byte) {
        const std::size_t write = 6 * byte;
        EXPECT_GE(wire[write + 3].startNs - wire[write + 2].endNs, 1'000'000) << byte;
    }
}

// The window's fixed wait on a port whose cell answers as a test decides, read-back by
// read-back: the write, 1 ms, a read-back, and then polls a millisecond apart with a pump after
// each, for at most 202 reads in all.
struct FixedWaitBench {
    // answer(n): what the cell says at read-back n (from 1).
    explicit FixedWaitBench(std::function<std::uint8_t(int)> answer)
        : port(&clock), link(port, clock), session(link, clock, observer, ProgrammerMode::Raw, 2) {
        port.statusSource = [this, answer] {
            const int reads = port.StatusReads();  // before this one
            const bool bit = ((answer(reads / 8 + 1) >> (7 - reads % 8)) & 1) != 0;
            return WithLine(IspLine::Miso, 0, bit);
        };
        observer.onPump = [this] { readsAtPump.push_back(port.StatusReads() / 8); };
    }
    StepResult Write(std::uint8_t value) {
        FlashImage image;
        ClearImage(image);
        image[0x0042] = value;
        return session.Write(image, WriteSelection::SkipBlank);
    }
    struct Observer : StopAt {
        void Pump() override { onPump(); }
        std::function<void()> onPump;
    };

    VirtualClock clock;
    FakePort port;
    BitBangLink link;
    Observer observer;
    ChipSession session;
    std::vector<int> readsAtPump;  // read-backs made when each pump came
};

TEST(ChipSessionWrites, TheFixedWaitPollsUntilTheCellAnswersOr202Reads) {
    struct Case {
        const char* name;
        int answersFrom;  // the read-back from which the cell answers the byte; 0: never
        int reads;
        StepOutcome outcome;
    };
    const Case cases[] = {
        {"at once", 1, 1, StepOutcome::Ok},
        {"after three polls", 4, 4, StepOutcome::Ok},
        {"never", 0, 202, StepOutcome::WriteFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixedWaitBench bench([&](int n) -> std::uint8_t {
            return c.answersFrom != 0 && n >= c.answersFrom ? 0x5A : 0x00;
        });
        const StepResult result = bench.Write(0x5A);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(bench.port.StatusReads(), 8 * c.reads);
        // One pump before the byte, then one after every poll (every read but the first).
        ASSERT_EQ(bench.readsAtPump.size(), static_cast<std::size_t>(c.reads));
        for (int i = 1; i < c.reads; ++i) EXPECT_EQ(bench.readsAtPump[i], i + 1);
        // The first read-back 1 ms after the write, the first poll at once, the rest 1 ms apart.
        const auto wire = DecodeWire(bench.port.DataWrites());
        ASSERT_EQ(wire.size(), 3u + 3u * c.reads);
        for (int read = 1; read <= c.reads; ++read) {
            const std::size_t first = 3u * read;
            EXPECT_EQ(wire[first].value, at89s53::ReadOpcode(0x0042));
            const std::int64_t gap = wire[first].startNs - wire[first - 1].endNs;
            EXPECT_EQ(gap, read == 2 ? 0 : 1'000'001) << "read-back " << read;
        }
    }
}

// An Abort that comes through a poll's pump has released the lines: no further poll goes out.
TEST(ChipSessionWrites, AStopDuringTheFixedWaitsPollingEndsItAtOnce) {
    FixedWaitBench bench([](int) -> std::uint8_t { return 0x00; });
    bench.observer.stopAt = 3;  // before the byte, after poll 1, after poll 2
    const StepResult result = bench.Write(0x5A);
    EXPECT_EQ(result.outcome, StepOutcome::Stopped);
    EXPECT_EQ(result.address, 0x0042u);
    EXPECT_EQ(bench.port.StatusReads(), 8 * 3);
}

}  // namespace
}  // namespace velmo::testing
