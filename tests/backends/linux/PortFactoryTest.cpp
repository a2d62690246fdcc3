#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "backends/PortFactory.h"
#include "isp/Settings.h"
#include "port/TracePort.h"
#include "port/linux/DirectPort.h"
#include "port/linux/PpdevPort.h"
#include "sim/SimPort.h"
#include "support/IspDriver.h"
#include "support/TempDir.h"

namespace velmo {
using testing::IspDriver;

namespace {

TEST(PortFactory, VelmoPortChoosesTheBackend) {
    struct Case {
        const char* value;
        std::function<bool(PortIo*)> isExpected;
    };
    auto isPpdev = [](PortIo* p) { return dynamic_cast<PpdevPort*>(p) != nullptr; };
    const Case cases[] = {
        {"", isPpdev},
        {"auto", isPpdev},
        {"ppdev", isPpdev},
        {" PPDEV ", isPpdev},
        {"direct", [](PortIo* p) { return dynamic_cast<DirectPort*>(p) != nullptr; }},
        {"sim", [](PortIo* p) { return dynamic_cast<SimPort*>(p) != nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        LinkSetup setup = CreateLink({c.value, "", "", ""});
        ASSERT_TRUE(setup.port);
        ASSERT_TRUE(setup.clock);
        EXPECT_TRUE(c.isExpected(setup.port.get()));
        EXPECT_EQ(dynamic_cast<VirtualClock*>(setup.clock.get()), nullptr) << "real time";
    }
}

TEST(PortFactory, TheSimulatorRunsOnVirtualTimeOnlyWhenAsked) {
    LinkSetup setup = CreateLink({"sim", "clock=virtual", "", ""});
    auto* clock = dynamic_cast<VirtualClock*>(setup.clock.get());
    ASSERT_NE(clock, nullptr);
    setup.port->StartDriver();
    EXPECT_TRUE(setup.port->DriverActive());
    EXPECT_NE(setup.port->DriverMessage().find("Simulator"), std::string::npos);
    // The board answers 600 ms of reset later: only on the clock handed out, and at once.
    const ProgrammerMode mode = ProgrammerMode::Board;
    const std::uint32_t bitDelay = 2;
    IspDriver isp(*setup.port, *setup.clock, mode, bitDelay);
    EXPECT_TRUE(isp.StartSequence());
    EXPECT_GT(clock->NowNs(), 600'000'000);
}

TEST(PortFactory, WrongSettingsGiveAPortThatDoesNotStartAndSaysWhy) {
    struct Case {
        PortEnvironment env;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {{"lpt", "", "", ""}, {"\"lpt\"", "VELMO_PORT", "auto, ppdev, direct, gpio, ftdi und sim"}},
        {{"sim", "xtal=fast", "", ""}, {"xtal", "\"fast\"", "VELMO_SIM_OPTIONS"}},
        {{"sim", "board=absent,colour=red", "", ""}, {"\"colour\""}},
        {{"ftdi", "", "", "", "", 1, "rst=x"}, {"VELMO_FTDI: \"rst=x\" ist keine Pinnummer"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env.port + " / " + c.env.simOptions);
        LinkSetup setup = CreateLink(c.env);
        setup.port->StartDriver();
        EXPECT_FALSE(setup.port->DriverActive());
        for (const std::string& part : c.says) {
            EXPECT_NE(setup.port->DriverMessage().find(part), std::string::npos)
                << setup.port->DriverMessage();
        }
        EXPECT_EQ(setup.port->ReadPort(0x379), 0);
    }
}

// LinkSetup destroys its clock before its port: the simulator must not need the clock to
// finish and save its chip then (the sanitizer build catches a use after free here).
TEST(PortFactory, TheSimulatorSavesItsChipWhenTheSetupGoesAway) {
    testing::TempDir dir;
    const std::filesystem::path path = dir.Path("chip.bin");
    {
        LinkSetup setup = CreateLink(
            {"sim", "clock=virtual,writetime=5000", path.string(), path.string() + ".vcd"});
        setup.port->StartDriver();
        ASSERT_TRUE(setup.port->DriverActive()) << setup.port->DriverMessage();
        const ProgrammerMode mode = ProgrammerMode::Raw;
        const std::uint32_t bitDelay = 2;
        IspDriver isp(*setup.port, *setup.clock, mode, bitDelay);
        isp.StartSequence();
        isp.ProgrammingEnable();
        isp.ShiftOutByte(at89s53::WriteOpcode(0x0003), bitDelay);
        isp.ShiftOutByte(0x03, bitDelay);
        isp.ShiftOutByte(0x21, bitDelay);  // still being written when the setup goes
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 12288u);
    EXPECT_EQ(bytes[3], '\x21');
    std::filesystem::remove(path);
    std::filesystem::remove(path.string() + ".vcd");
}

TEST(PortFactory, TraceWrapsAnyBackend) {
    LinkSetup setup = CreateLink({"direct", "", "", "/nonexistent-dir/x.vcd"});
    auto* trace = dynamic_cast<TracePort*>(setup.port.get());
    ASSERT_NE(trace, nullptr);
    EXPECT_NE(dynamic_cast<DirectPort*>(&trace->Inner()), nullptr);
}

}  // namespace
}  // namespace velmo
