// Whole-chip work through the GPIO backend: a fake GPIO chip whose lines are wired to the
// simulated AT89S53 and Velmo board, on the virtual clock, driven by the instruction layer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "backends/PortFactory.h"
#include "isp/Settings.h"
#include "link/BitBangLink.h"
#include "ops/ChipJobs.h"
#include "ops/ChipSession.h"
#include "port/Pins.h"
#include "port/TracePort.h"
#include "port/linux/GpioPort.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/Images.h"
#include "support/IspDriver.h"
#include "support/linux/FakeGpioChip.h"

namespace velmo {
using testing::IspDriver;

namespace {

using testing::PatternImage;

// A Raspberry Pi 4 whose header lines run to the simulated target, through inverting buffers
// when asked (and then with VELMO_GPIO saying so). The work goes through the same session
// with the chip that the window and velmo-cli use.
struct GpioBench {
    GpioBench(ProgrammerMode mode, bool inverters)
        : sim(clock, SimOptions{}),
          session(Link(inverters), clock, observer, mode, BitDelayForClockRate(24.0)) {
        sim.StartDriver();
    }

    IspLink& Link(bool inverters) {
        gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
        gpio.recordValueCalls = false;
        testing::ConnectTarget(gpio, 0, sim, testing::DefaultWires(inverters));
        const char* text = inverters ? "mosi=!10,sck=!11,rst=!25,enable=!24,miso=!9,ready=!23" : "";
        port = std::make_unique<GpioPort>(ParseGpioConfig(text, nullptr).value(), gpio.System());
        link = std::make_unique<BitBangLink>(*port, clock);
        return *link;
    }

    // Driver, start sequence and Programming Enable, as every operation begins.
    void Begin() {
        const StepResult opened = session.Open();
        ASSERT_TRUE(opened.ok()) << port->DriverMessage();
    }
    void End() { session.Close(); }
    FlashImage ReadAll() {
        FlashImage image;
        EXPECT_TRUE(session.Read(Step::Read, image).ok());
        return image;
    }
    bool TargetRst() { return LineLevel(IspLine::Rst, sim.ReadPort(sim.BaseAddress())); }

    VirtualClock clock;
    SimPort sim;
    testing::FakeGpio gpio;
    std::unique_ptr<GpioPort> port;  // goes before the fake and the target it drives
    std::unique_ptr<BitBangLink> link;
    OperationObserver observer;
    ChipSession session;
};

std::size_t Differences(const FlashImage& a, const FlashImage& b) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < FLASH_SIZE; ++i) count += a[i] != b[i];
    return count;
}

TEST(GpioProgramming, ProgramReadVerifyAndLockTheWholeChipInBothModes) {
    for (const ProgrammerMode mode : {ProgrammerMode::Raw, ProgrammerMode::Board}) {
        SCOPED_TRACE(mode == ProgrammerMode::Raw ? "raw" : "board");
        GpioBench bench(mode, false);
        const FlashImage image = PatternImage();

        // Program: erase, write every byte, read every byte back.
        bench.Begin();
        ASSERT_TRUE(bench.session.Erase().ok());
        const StepResult written = bench.session.Write(image, WriteSelection::All);
        ASSERT_TRUE(written.ok()) << "address " << written.address;
        EXPECT_EQ(Differences(bench.ReadAll(), image), 0u);
        bench.End();
        EXPECT_EQ(Differences(bench.sim.Chip().Flash(), image), 0u) << "the chip holds the file";
        EXPECT_FALSE(bench.TargetRst()) << "released: the target runs";

        // Read and verify in runs of their own.
        bench.Begin();
        const FlashImage read = bench.ReadAll();
        bench.End();
        EXPECT_EQ(Differences(read, image), 0u);
        FlashImage changed = image;
        changed[0x1234] ^= 0x01;
        bench.Begin();
        FlashImage seen;
        ImageDifference difference;
        ASSERT_TRUE(bench.session.Verify(changed, seen, difference).ok());
        EXPECT_EQ(difference.count, 1u) << "verify finds the one change";
        EXPECT_EQ(difference.firstAddress, 0x1234);
        bench.End();

        // Lock bits 1 and 2.
        bench.Begin();
        bench.session.WriteLockBits({true, true, false});
        bench.End();
        EXPECT_TRUE(bench.sim.Chip().LockBit(1));
        EXPECT_TRUE(bench.sim.Chip().LockBit(2));
        EXPECT_FALSE(bench.sim.Chip().LockBit(3));
        EXPECT_EQ(bench.sim.Chip().ClockViolations(), 0u);
        EXPECT_EQ(bench.gpio.OpenDescriptors(), 0u);
    }
}

// A gang fixture on the header: every socket on a MISO line of its own, one read of the
// lines per bit for all of them.
TEST(GpioProgramming, OneReadOfTheLinesServesEverySocketOfAGang) {
    const FlashImage image = testing::PatternStart(0x100, 9);
    long readsForOne = 0;
    for (const unsigned sockets : {1u, 8u}) {
        SCOPED_TRACE(sockets);
        VirtualClock clock;
        SimOptions options;
        options.sockets = sockets;
        SimPort sim(clock, options);
        sim.StartDriver();
        testing::FakeGpio gpio;
        gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
        gpio.recordValueCalls = false;
        testing::ConnectTarget(gpio, 0, sim, testing::GangWires(sockets));
        GpioConfig config = DefaultGpioConfig();
        config.sockets = sockets;
        GpioPort port(config, gpio.System());
        BitBangLink link(port, clock, sockets);
        OperationObserver observer;
        ChipSession session(link, clock, observer, ProgrammerMode::Raw, 2);
        ASSERT_TRUE(session.Open().ok()) << port.DriverMessage();
        std::vector<FlashImage> seen;
        ASSERT_TRUE(ProgramChips(session, image, ProgramStrategy::SkipBlank, seen).step.ok());
        session.Close();
        for (unsigned s = 0; s < sockets; ++s) {
            EXPECT_TRUE(session.Socket(s).ok()) << s;
            EXPECT_EQ(Differences(sim.Chip(s).Flash(), image), 0u) << s;
        }
        const long reads = gpio.Count(GPIO_V2_LINE_GET_VALUES_IOCTL);
        if (sockets == 1) readsForOne = reads;
        EXPECT_EQ(reads, readsForOne);
    }
}

TEST(GpioProgramming, InvertingBuffersOnEveryLineWorkWithBangInVelmoGpio) {
    GpioBench bench(ProgrammerMode::Board, true);
    const FlashImage image = PatternImage();
    bench.Begin();
    EXPECT_TRUE(bench.sim.Chip().ProgrammingEnabled());
    ASSERT_TRUE(bench.session.Erase().ok());
    FlashImage start;
    ClearImage(start);
    std::copy_n(image.begin(), 256, start.begin());
    ASSERT_TRUE(bench.session.Write(start, WriteSelection::SkipBlank).ok());
    EXPECT_EQ(Differences(bench.ReadAll(), start), 0u);
    bench.End();
    EXPECT_FALSE(bench.TargetRst());
    EXPECT_EQ(bench.sim.Chip().ClockViolations(), 0u);
}

TEST(GpioProgramming, WithoutReadyABoardStartFailsAsWithoutAnAnswer) {
    VirtualClock clock;
    SimPort sim(clock, SimOptions{});
    testing::FakeGpio gpio;
    gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
    testing::ConnectTarget(gpio, 0, sim, testing::DefaultWires());
    GpioPort port(ParseGpioConfig("ready=-", nullptr).value(), gpio.System());
    const ProgrammerMode board = ProgrammerMode::Board;
    const ProgrammerMode raw = ProgrammerMode::Raw;
    const std::uint32_t bitDelay = 2;
    port.StartDriver();
    ASSERT_TRUE(port.DriverActive());
    EXPECT_FALSE(IspDriver(port, clock, board, bitDelay).StartSequence());
    EXPECT_TRUE(IspDriver(port, clock, raw, bitDelay).StartSequence());
}

TEST(GpioProgramming, AFailingIoctlMidRunEndsTheWriteLoopAndReleasesTheTarget) {
    GpioBench bench(ProgrammerMode::Raw, false);
    const FlashImage image = PatternImage();
    bench.Begin();
    ASSERT_TRUE(bench.session.Erase().ok());
    bool armed = false;
    long setValues = 0;
    bench.gpio.failIoctl = [&](unsigned long request) {
        // The adapter is pulled out in the middle of byte 100; from then on every change of
        // a line fails.
        if (!armed || request != GPIO_V2_LINE_SET_VALUES_IOCTL) return 0;
        return ++setValues > 20 ? ENODEV : 0;
    };
    struct ArmAtByte100 : OperationObserver {
        bool& armed;
        explicit ArmAtByte100(bool& flag) : armed(flag) {}
        void ByteDone(std::uint32_t address, std::size_t) override { armed = address + 1 == 100; }
    } arming(armed);
    ChipSession session(*bench.link, bench.clock, arming, ProgrammerMode::Raw, 2);
    const StepResult written = session.Write(image, WriteSelection::All);
    EXPECT_EQ(written.outcome, StepOutcome::WriteFailed);
    EXPECT_EQ(written.address, 100u);
    EXPECT_FALSE(bench.port->DriverActive());
    EXPECT_NE(bench.port->DriverMessage().find("GPIO_V2_LINE_SET_VALUES_IOCTL"), std::string::npos)
        << bench.port->DriverMessage();
    EXPECT_EQ(bench.gpio.OpenDescriptors(), 0u);
    EXPECT_FALSE(bench.TargetRst());
    // The end sequence of the operation touches nothing any more.
    const long before = bench.gpio.TotalIoctls();
    bench.session.End();
    EXPECT_EQ(bench.gpio.TotalIoctls(), before);
}

TEST(GpioProgramming, VelmoPortGpioChoosesTheBackendAndVelmoGpioItsLines) {
    LinkSetup setup = CreateLink({"gpio", "", "", "", "chip=gpiochip0"});
    EXPECT_NE(dynamic_cast<GpioPort*>(setup.port.get()), nullptr);
    EXPECT_EQ(dynamic_cast<VirtualClock*>(setup.clock.get()), nullptr) << "real time";
    EXPECT_TRUE(IsGpioBackend(" GPIO "));
    EXPECT_FALSE(IsGpioBackend("ppdev"));

    LinkSetup traced = CreateLink({"gpio", "", "", "/nonexistent-dir/x.vcd", ""});
    auto* trace = dynamic_cast<TracePort*>(traced.port.get());
    ASSERT_NE(trace, nullptr);
    EXPECT_NE(dynamic_cast<GpioPort*>(&trace->Inner()), nullptr);

    LinkSetup bad = CreateLink({"gpio", "", "", "", "mosi=10,sck=x"});
    bad.link->StartDriver();
    EXPECT_FALSE(bad.link->DriverActive());
    EXPECT_NE(bad.link->DriverMessage().find("VELMO_GPIO: \"sck=x\""), std::string::npos)
        << bad.link->DriverMessage();
}

}  // namespace
}  // namespace velmo
