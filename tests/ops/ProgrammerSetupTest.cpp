// Settings, driver start and stop, and the interactive defaults.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FakeRig.h"
#include "cmdline/CommandLine.h"

namespace velmo::testing {
namespace {

TEST(ProgrammerSetup, FreshProgrammerHasNoImageNoErrorAndErasedImages) {
    FakePort port;
    VirtualClock clock;
    RecordingHost host;
    Programmer programmer(port, clock, host);
    EXPECT_EQ(programmer.m_errorFlag, 0);
    EXPECT_EQ(programmer.m_noFileLoaded, 1);
    EXPECT_EQ(programmer.m_abortFlag, 0);
    EXPECT_EQ(programmer.m_image, Filled(0xFF));
    EXPECT_EQ(programmer.m_readImage, Filled(0xFF));
    EXPECT_FALSE(programmer.OperationRunning());
    // Nothing reaches the window or the port before the window asks for it.
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_TRUE(port.events.empty());
    EXPECT_TRUE(port.dataWrites.empty());
}

struct ClockRateCase {
    double mhz;
    std::uint32_t bitDelay;
};

TEST(ProgrammerSetup, ClockRateDerivesTheBitDelay) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ClockRateCase cases[] = {{40.0, 2}, {24.0, 2}, {12.0, 4}, {11.0592, 4}, {3.0, 14},
                                   {1.0, 41}, {0.0, 2},  {-5.0, 2}, {nan, 2}};
    for (const auto& c : cases) {
        FakeRig rig;
        rig.programmer.SetClockRate(c.mhz);
        EXPECT_EQ(rig.programmer.m_bitDelay, c.bitDelay) << c.mhz;
        if (!std::isnan(c.mhz)) {
            EXPECT_EQ(rig.programmer.m_clockRate, c.mhz);
        }
    }
}

TEST(ProgrammerSetup, PortCommandsSelectIndexAndAddress) {
    const struct {
        std::uint8_t index;
        std::uint8_t expectedIndex;
        std::uint16_t expectedAddress;
    } cases[] = {{1, 1, 0x378}, {2, 2, 0x278}, {3, 3, 0x3BC}, {0, 2, 0x278}, {4, 2, 0x278}};
    for (const auto& c : cases) {
        FakeRig rig;
        rig.programmer.SelectPort(2);
        rig.programmer.SelectPort(c.index);
        EXPECT_EQ(rig.programmer.m_portIndex, c.expectedIndex) << int{c.index};
        EXPECT_EQ(rig.programmer.PortAddress(), c.expectedAddress) << int{c.index};
        EXPECT_EQ(rig.port.BaseAddress(), c.expectedAddress) << int{c.index};
    }
}

TEST(ProgrammerSetup, CommandLineSetsBatchModePortAndClock) {
    FakeRig rig;
    CommandLineSettings settings;
    settings.batch = {"/tmp/blink.hex", "1", true};
    settings.mode = ProgrammerMode::Raw;
    settings.portIndex = 3;
    settings.portAddress = 0x3BC;
    settings.clockRate = 12.0;
    rig.programmer.ApplySettings(settings.batch, settings.mode, settings.portIndex,
                                 settings.portAddress, settings.clockRate);

    EXPECT_TRUE(rig.programmer.m_batch.active);
    EXPECT_EQ(rig.programmer.m_batch.filePath, "/tmp/blink.hex");
    EXPECT_EQ(rig.programmer.m_batch.action, "1");
    EXPECT_EQ(rig.programmer.m_mode, static_cast<std::uint8_t>(ProgrammerMode::Raw));
    EXPECT_EQ(rig.programmer.m_portIndex, 3);
    EXPECT_EQ(rig.port.BaseAddress(), 0x3BC);
    EXPECT_EQ(rig.programmer.m_clockRate, 12.0);
    EXPECT_EQ(rig.programmer.m_bitDelay, 4u);
}

TEST(ProgrammerSetup, DriverStartReportsItsOutcomeInTheStatusBar) {
    {
        FakePort port;
        VirtualClock clock;
        RecordingHost host;
        Programmer programmer(port, clock, host);
        EXPECT_TRUE(programmer.StartDriver());
        EXPECT_EQ(programmer.m_driverRunning, 1);
        EXPECT_EQ(port.starts, 1);
        EXPECT_EQ(host.Calls(),
                  std::vector<std::string>{"status:DriverLinx I/O erfolgreich gestartet!"});
    }
    {
        FakePort port;
        port.driverActive = false;
        port.driverMessage = "Kein Zugriff auf /dev/parport0.";
        VirtualClock clock;
        RecordingHost host;
        Programmer programmer(port, clock, host);
        EXPECT_FALSE(programmer.StartDriver());
        EXPECT_EQ(programmer.m_driverRunning, 0);
        EXPECT_EQ(host.Calls(),
                  std::vector<std::string>{"status:Fehler beim Starten von DriverLinx I/O! "
                                           "Kein Zugriff auf /dev/parport0."});
    }
}

TEST(ProgrammerSetup, ShutdownEndsTheSequenceThenStopsTheDriverOnce) {
    FakeRig rig(ProgrammerMode::Board);
    rig.port.data = 0xFF;
    rig.programmer.ShutdownDriver();
    rig.programmer.ShutdownDriver();

    // The board's end sequence ran before the stop: interface off, then target out of reset.
    EXPECT_EQ(rig.port.dataWrites, (std::vector<std::uint8_t>{0xF7, 0xF3}));
    EXPECT_EQ(rig.port.events, std::vector<std::string>{"stop after 2 writes"});
    EXPECT_EQ(rig.port.stops, 1);
}

TEST(ProgrammerSetup, ShutdownWithoutDriverTouchesNothing) {
    FakePort port;
    port.driverActive = false;
    VirtualClock clock;
    RecordingHost host;
    Programmer programmer(port, clock, host);
    programmer.StartDriver();
    port.events.clear();
    programmer.ShutdownDriver();
    EXPECT_TRUE(port.events.empty());
    EXPECT_TRUE(port.dataWrites.empty());
    EXPECT_EQ(port.stops, 0);
}

TEST(ProgrammerSetup, InteractiveDefaultsIdleTheLinesOnlyWithARunningDriver) {
    for (const bool driverRuns : {true, false}) {
        FakePort port;
        port.driverActive = driverRuns;
        port.data = 0xFF;
        VirtualClock clock;
        RecordingHost host;
        Programmer programmer(port, clock, host);
        programmer.StartDriver();
        programmer.SelectMode(ProgrammerMode::Raw);
        programmer.SelectPort(3);
        programmer.SetClockRate(3.0);
        port.dataWrites.clear();

        programmer.ApplyInteractiveDefaults();

        EXPECT_EQ(programmer.m_mode, static_cast<std::uint8_t>(ProgrammerMode::Board));
        EXPECT_EQ(programmer.m_portIndex, 1);
        EXPECT_EQ(port.BaseAddress(), 0x378);
        // Not the formula's value for 24 MHz: the slow delay until a rate is confirmed.
        EXPECT_EQ(programmer.m_clockRate, 24.0);
        EXPECT_EQ(programmer.m_bitDelay, 20u);
        if (driverRuns) {
            // ENABLE first, then RST; the other lines keep their levels.
            EXPECT_EQ(port.dataWrites, (std::vector<std::uint8_t>{0xF7, 0xF3}));
        } else {
            EXPECT_TRUE(port.dataWrites.empty());
        }
    }
}

}  // namespace
}  // namespace velmo::testing
