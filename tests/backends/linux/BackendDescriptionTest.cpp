#include <gtest/gtest.h>

#include <vector>

#include "backends/BackendDescription.h"
#include "link/BitBangLink.h"
#include "port/linux/GpioPort.h"
#include "support/TempDir.h"
#include "support/linux/FakeGpioChip.h"

namespace velmo {
namespace {

TEST(BackendDescription, NamesTheWayToTheChipWhereItIsNoParallelPort) {
    testing::TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    const std::string trace = dir.Path("lines.vcd");
    struct Case {
        PortEnvironment env;
        bool start;
        std::string expected;           // exact, when the port is not running
        std::vector<std::string> says;  // parts of the running port's own account
    };
    const Case cases[] = {
        {{"", "", "", ""}, false, "", {}},
        {{"ppdev", "", "", ""}, true, "", {}},
        {{"lpt", "", "", ""}, true, "", {}},
        {{"gpio", "", "", "", "chip=gpiochip4,enable=-"},
         false,
         "GPIO: /dev/gpiochip4, MOSI 10, SCK 11, RST 25, MISO 9, READY 23",
         {}},
        {{"gpio", "", "", ""},
         false,
         "GPIO: Chip des Raspberry Pi, MOSI 10, SCK 11, RST 25, ENABLE 24, MISO 9, READY 23",
         {}},
        {{"gpio", "", "", "", "mosi=x"}, false, "GPIO: VELMO_GPIO=\"mosi=x\"", {}},
        {{"sim", "board=absent", chip, ""},
         false,
         "Simulator: " + chip + ", VELMO_SIM_OPTIONS=board=absent",
         {}},
        {{"sim", "", "", ""}, false, "Simulator: ohne Chip-Datei", {}},
        {{"ftdi", "", "", "", "", 1, "rst=!4", "A1"},
         false,
         "USB-Adapter (FTDI), Seriennummer A1, VELMO_FTDI=rst=!4",
         {}},
        // A bad option keeps the simulator from starting: named from the settings.
        {{"sim", "xtal=fast", chip, ""},
         true,
         "Simulator: " + chip + ", VELMO_SIM_OPTIONS=xtal=fast",
         {}},
        {{"sim", "clock=virtual,xtal=11.0592", chip, ""},
         true,
         "",
         {"Simulator", "11.0592 MHz", chip}},
        {{"sim", "clock=virtual", chip, trace}, true, "", {"Simulator", trace}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("VELMO_PORT=" + c.env.port + " VELMO_GPIO=" + c.env.gpio +
                     " VELMO_SIM_OPTIONS=" + c.env.simOptions);
        LinkSetup setup = CreateLink(c.env);
        if (c.start) setup.link->StartDriver();
        const std::string description = DescribeBackend(c.env, *setup.link);
        if (c.says.empty()) {
            EXPECT_EQ(description, c.expected);
        } else {
            ASSERT_TRUE(setup.link->DriverActive()) << setup.link->DriverMessage();
            for (const std::string& part : c.says) {
                EXPECT_NE(description.find(part), std::string::npos) << description;
            }
        }
        setup.link->StopDriver();
    }
}

TEST(BackendDescription, ARunningGpioPortNamesTheChipItFound) {
    testing::FakeGpio gpio;
    gpio.AddChip("gpiochip0", "gpio-brcmstb@107d508500", 32);
    gpio.AddChip("gpiochip4", "pinctrl-rp1", 54);
    GpioPort port(DefaultGpioConfig(), gpio.System());
    VirtualClock clock;
    port.StartDriver();
    ASSERT_TRUE(port.DriverActive()) << port.DriverMessage();
    const std::string description = DescribeBackend({"gpio", "", "", ""}, BitBangLink(port, clock));
    for (const char* part : {"GPIO", "gpiochip4", "pinctrl-rp1", "MOSI 10"}) {
        EXPECT_NE(description.find(part), std::string::npos) << description;
    }
}

}  // namespace
}  // namespace velmo
