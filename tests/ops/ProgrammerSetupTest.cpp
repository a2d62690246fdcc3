// Settings, driver start and stop, and the interactive defaults.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FakeRig.h"

namespace velmo::testing {
namespace {

TEST(ProgrammerSetup, FreshProgrammerHasNoImageNoErrorAndErasedImages) {
    FakePort port;
    VirtualClock clock;
    RecordingObserver observer;
    BitBangLink link(port, clock);
    Programmer programmer(link, clock, observer);
    EXPECT_EQ(programmer.m_errorFlag, 0);
    EXPECT_EQ(programmer.m_noFileLoaded, 1);
    EXPECT_EQ(programmer.AbortRequested(), false);
    EXPECT_EQ(programmer.m_image, Filled(0xFF));
    EXPECT_EQ(programmer.m_readImage, Filled(0xFF));
    EXPECT_FALSE(programmer.OperationRunning());
    // Nothing reaches the window or the port before the window asks for it.
    EXPECT_TRUE(observer.Calls().empty());
    EXPECT_TRUE(port.events.empty());
    EXPECT_TRUE(port.DataValues().empty());
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
        EXPECT_EQ(rig.programmer.BitDelay(), c.bitDelay) << c.mhz;
        if (!std::isnan(c.mhz)) {
            EXPECT_EQ(rig.programmer.ClockRate(), c.mhz);
        }
    }
}

TEST(ProgrammerSetup, ANewClockRateOrModeAppliesFromTheNextInstruction) {
    FakeRig rig(ProgrammerMode::Raw);
    rig.programmer.SetPortAddress(0x3BC);
    EXPECT_EQ(rig.port.BaseAddress(), 0x3BC);
    rig.programmer.SetClockRate(3.0);
    EXPECT_EQ(rig.programmer.BitDelay(), 14u);
    rig.programmer.SelectMode(ProgrammerMode::Board);
    EXPECT_EQ(rig.programmer.Mode(), ProgrammerMode::Board);
    // The board's end sequence switches the interface off; the raw cable's would not.
    rig.port.data = 0xFF;
    rig.programmer.Abort();
    EXPECT_FALSE(rig.port.Line(IspLine::Enable));
}

TEST(ProgrammerSetup, DriverStartTellsWhetherItRunsAndWhy) {
    for (const bool runs : {true, false}) {
        FakePort port;
        port.driverStarts = runs;
        port.driverMessage = "Kein Zugriff auf /dev/parport0.";
        VirtualClock clock;
        RecordingObserver observer;
        BitBangLink link(port, clock);
        Programmer programmer(link, clock, observer);
        EXPECT_EQ(programmer.StartDriver(), runs);
        EXPECT_EQ(programmer.m_driverRunning, runs ? 1 : 0);
        EXPECT_EQ(port.starts, 1);
        EXPECT_EQ(programmer.DriverMessage(), "Kein Zugriff auf /dev/parport0.");
        // The front end words the outcome.
        EXPECT_TRUE(observer.Calls().empty());
    }
}

TEST(ProgrammerSetup, ShutdownEndsTheSequenceThenStopsTheDriverOnce) {
    FakeRig rig(ProgrammerMode::Board);
    rig.port.data = 0xFF;
    rig.programmer.ShutdownDriver();
    rig.programmer.ShutdownDriver();

    // The board's end sequence ran before the stop: interface off, then target out of reset.
    EXPECT_EQ(rig.port.DataValues(),
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(0xFF & ~MaskOf(IspLine::Enable)),
                                         static_cast<std::uint8_t>(0xFF & ~MaskOf(IspLine::Enable) &
                                                                   ~MaskOf(IspLine::Rst))}));
    EXPECT_EQ(rig.port.events, std::vector<std::string>{"stop after 2 writes"});
    EXPECT_EQ(rig.port.stops, 1);
}

TEST(ProgrammerSetup, ShutdownWithoutDriverTouchesNothing) {
    FakePort port;
    port.driverStarts = false;
    VirtualClock clock;
    RecordingObserver observer;
    BitBangLink link(port, clock);
    Programmer programmer(link, clock, observer);
    programmer.StartDriver();
    port.events.clear();
    programmer.ShutdownDriver();
    EXPECT_TRUE(port.events.empty());
    EXPECT_TRUE(port.DataValues().empty());
    EXPECT_EQ(port.stops, 0);
}

TEST(ProgrammerSetup, InteractiveStartIdlesTheLinesAndRunsWithTheSlowBitDelay) {
    FakeRig rig(ProgrammerMode::Raw);
    rig.programmer.SetClockRate(3.0);
    rig.port.data = 0xFF;
    rig.programmer.IdleLines();
    rig.programmer.UseInteractiveClock();
    // ENABLE first, then RST; the other lines keep their levels.
    EXPECT_EQ(rig.port.DataValues(),
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(0xFF & ~MaskOf(IspLine::Enable)),
                                         static_cast<std::uint8_t>(0xFF & ~MaskOf(IspLine::Enable) &
                                                                   ~MaskOf(IspLine::Rst))}));
    // Not the formula's value for 24 MHz: the slow delay until a rate is confirmed.
    EXPECT_EQ(rig.programmer.ClockRate(), 24.0);
    EXPECT_EQ(rig.programmer.BitDelay(), 20u);
}

}  // namespace
}  // namespace velmo::testing
