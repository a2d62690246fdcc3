// Whole-chip work through the GPIO backend: a fake GPIO chip whose lines are wired to the
// simulated AT89S53 and Velmo board, on the virtual clock, driven by the instruction layer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "backends/PortFactory.h"
#include "isp/IspProtocol.h"
#include "isp/Settings.h"
#include "port/GpioPort.h"
#include "port/Pins.h"
#include "port/TracePort.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/FakeGpioChip.h"

namespace velmo {
namespace {

FlashImage Pattern() {
    FlashImage image;
    for (std::size_t a = 0; a < FLASH_SIZE; ++a) {
        image[a] = static_cast<std::uint8_t>((a * 13 + (a >> 8) + 1) % 0xFF);
    }
    return image;
}

// A Raspberry Pi 4 whose header lines run to the simulated target, through inverting buffers
// when asked (and then with VELMO_GPIO saying so).
struct GpioBench {
    GpioBench(ProgrammerMode programmerMode, bool inverters)
        : mode(static_cast<std::uint8_t>(programmerMode)),
          sim(clock, SimOptions{}),
          isp(Port(inverters), clock, mode, bitDelay) {
        sim.StartDriver();
    }

    PortIo& Port(bool inverters) {
        gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
        gpio.recordValueCalls = false;
        fakes::ConnectTarget(gpio, 0, sim, fakes::DefaultWires(inverters));
        const char* text = inverters ? "mosi=!10,sck=!11,rst=!25,enable=!24,miso=!9,ready=!23" : "";
        port = std::make_unique<GpioPort>(ParseGpioConfig(text, nullptr).value(), gpio.System());
        return *port;
    }

    // Driver, start sequence, Programming Enable and its settling time, as every operation.
    void Begin() {
        port->StartDriver();
        ASSERT_TRUE(port->DriverActive()) << port->DriverMessage();
        ASSERT_TRUE(isp.StartSequence()) << "the board answers on READY";
        isp.ProgrammingEnable();
        clock.Delay(10000);
    }
    void End() {
        isp.EndSequence();
        port->StopDriver();
    }
    FlashImage ReadAll() {
        FlashImage image;
        for (std::uint32_t a = 0; a < FLASH_SIZE; ++a) image[a] = isp.ReadCodeByte(a);
        return image;
    }
    bool TargetRst() { return LineLevel(IspLine::Rst, sim.ReadPort(sim.BaseAddress())); }

    const std::uint8_t mode;
    const std::uint32_t bitDelay = BitDelayForClockRate(24.0);
    VirtualClock clock;
    SimPort sim;
    fakes::FakeGpio gpio;
    std::unique_ptr<GpioPort> port;  // goes before the fake and the target it drives
    IspProtocol isp;
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
        const FlashImage image = Pattern();

        // Program: erase, write every byte, read every byte back.
        bench.Begin();
        bench.isp.ChipErase();
        for (std::uint32_t a = 0; a < FLASH_SIZE; ++a) {
            ASSERT_EQ(bench.isp.WriteCodeByte(a, image[a]), 1) << "address " << a;
        }
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
        EXPECT_EQ(Differences(bench.ReadAll(), changed), 1u) << "verify finds the one change";
        bench.End();

        // Lock bits 1 and 2.
        bench.Begin();
        bench.isp.WriteLockBits(1, 1, 0);
        bench.End();
        EXPECT_TRUE(bench.sim.Chip().LockBit(1));
        EXPECT_TRUE(bench.sim.Chip().LockBit(2));
        EXPECT_FALSE(bench.sim.Chip().LockBit(3));
        EXPECT_EQ(bench.sim.Chip().ClockViolations(), 0u);
        EXPECT_EQ(bench.gpio.OpenDescriptors(), 0u);
    }
}

TEST(GpioProgramming, InvertingBuffersOnEveryLineWorkWithBangInVelmoGpio) {
    GpioBench bench(ProgrammerMode::Board, true);
    const FlashImage image = Pattern();
    bench.Begin();
    EXPECT_TRUE(bench.sim.Chip().ProgrammingEnabled());
    bench.isp.ChipErase();
    for (std::uint32_t a = 0; a < 256; ++a) {
        ASSERT_EQ(bench.isp.WriteCodeByte(a, image[a]), 1) << "address " << a;
    }
    for (std::uint32_t a = 0; a < 256; ++a) EXPECT_EQ(bench.isp.ReadCodeByte(a), image[a]) << a;
    bench.End();
    EXPECT_FALSE(bench.TargetRst());
    EXPECT_EQ(bench.sim.Chip().ClockViolations(), 0u);
}

TEST(GpioProgramming, WithoutReadyABoardStartFailsAsWithoutAnAnswer) {
    VirtualClock clock;
    SimPort sim(clock, SimOptions{});
    fakes::FakeGpio gpio;
    gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
    fakes::ConnectTarget(gpio, 0, sim, fakes::DefaultWires());
    GpioPort port(ParseGpioConfig("ready=-", nullptr).value(), gpio.System());
    const std::uint8_t board = static_cast<std::uint8_t>(ProgrammerMode::Board);
    const std::uint8_t raw = static_cast<std::uint8_t>(ProgrammerMode::Raw);
    const std::uint32_t bitDelay = 2;
    port.StartDriver();
    ASSERT_TRUE(port.DriverActive());
    EXPECT_FALSE(IspProtocol(port, clock, board, bitDelay).StartSequence());
    EXPECT_TRUE(IspProtocol(port, clock, raw, bitDelay).StartSequence());
}

TEST(GpioProgramming, AFailingIoctlMidRunEndsTheWriteLoopAndReleasesTheTarget) {
    GpioBench bench(ProgrammerMode::Raw, false);
    const FlashImage image = Pattern();
    bench.Begin();
    bench.isp.ChipErase();
    bool armed = false;
    long setValues = 0;
    bench.gpio.failIoctl = [&](unsigned long request) {
        // The adapter is pulled out in the middle of byte 100; from then on every change of
        // a line fails.
        if (!armed || request != GPIO_V2_LINE_SET_VALUES_IOCTL) return 0;
        return ++setValues > 20 ? ENODEV : 0;
    };
    std::uint32_t failedAt = FLASH_SIZE;
    for (std::uint32_t a = 0; a < FLASH_SIZE; ++a) {
        armed = a == 100;
        if (bench.isp.WriteCodeByte(a, image[a]) == 0) {
            failedAt = a;
            break;
        }
    }
    EXPECT_EQ(failedAt, 100u);
    EXPECT_FALSE(bench.port->DriverActive());
    EXPECT_NE(bench.port->DriverMessage().find("GPIO_V2_LINE_SET_VALUES_IOCTL"), std::string::npos)
        << bench.port->DriverMessage();
    EXPECT_EQ(bench.gpio.OpenDescriptors(), 0u);
    EXPECT_FALSE(bench.TargetRst());
    // The end sequence of the operation touches nothing any more.
    const long before = bench.gpio.TotalIoctls();
    bench.isp.EndSequence();
    EXPECT_EQ(bench.gpio.TotalIoctls(), before);
}

TEST(GpioProgramming, VelmoPortGpioChoosesTheBackendAndVelmoGpioItsLines) {
    PortSetup setup = CreatePort({"gpio", "", "", "", "chip=gpiochip0"});
    EXPECT_NE(dynamic_cast<GpioPort*>(setup.port.get()), nullptr);
    EXPECT_EQ(dynamic_cast<VirtualClock*>(setup.clock.get()), nullptr) << "real time";
    EXPECT_TRUE(IsGpioBackend(" GPIO "));
    EXPECT_FALSE(IsGpioBackend("ppdev"));

    PortSetup traced = CreatePort({"gpio", "", "", "/nonexistent-dir/x.vcd", ""});
    auto* trace = dynamic_cast<TracePort*>(traced.port.get());
    ASSERT_NE(trace, nullptr);
    EXPECT_NE(dynamic_cast<GpioPort*>(&trace->Inner()), nullptr);

    PortSetup bad = CreatePort({"gpio", "", "", "", "mosi=10,sck=x"});
    bad.port->StartDriver();
    EXPECT_FALSE(bad.port->DriverActive());
    EXPECT_NE(bad.port->DriverMessage().find("VELMO_GPIO: \"sck=x\""), std::string::npos)
        << bad.port->DriverMessage();
}

}  // namespace
}  // namespace velmo
