// The GPIO backend on a fake GPIO character device that keeps the kernel's rules.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "port/linux/GpioPort.h"
#include "support/linux/FakeGpioChip.h"

namespace velmo {
namespace {

using testing::FakeGpio;

constexpr std::uint16_t kBase = 0x378;
constexpr std::uint16_t kStatus = kBase + 1;

struct Rig {
    // A Raspberry Pi 4: the header's chip and the firmware's expander.
    Rig() {
        gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
        gpio.AddChip("gpiochip1", "raspberrypi-exp-gpio", 8);
    }

    GpioPort& Make(const std::string& text = "") {
        std::string error;
        const std::optional<GpioConfig> config = ParseGpioConfig(text, &error);
        EXPECT_TRUE(config) << error;
        port = std::make_unique<GpioPort>(config.value_or(GpioConfig{}), gpio.System());
        return *port;
    }
    GpioPort& Start(const std::string& text = "") {
        GpioPort& p = Make(text);
        p.StartDriver();
        EXPECT_TRUE(p.DriverActive()) << p.DriverMessage();
        gpio.events.clear();
        return p;
    }

    FakeGpio::Line& Line(std::uint32_t offset, std::size_t chip = 0) {
        return gpio.chips[chip].lines[offset];
    }
    bool Pin(std::uint32_t offset) { return gpio.PinLevel(0, offset); }

    FakeGpio gpio;
    std::unique_ptr<GpioPort> port;  // after gpio, so it goes first
};

std::uint8_t Data(std::initializer_list<IspLine> high) {
    std::uint8_t value = 0;
    for (IspLine line : high) value = WithLine(line, value, true);
    return value;
}

TEST(GpioPort, FindsTheRaspberryPisChipByItsLabel) {
    for (const char* label : kRaspberryPiChipLabels) {
        SCOPED_TRACE(label);
        FakeGpio gpio;
        gpio.AddChip("gpiochip0", "gpio-brcmstb@107d508500", 32);
        gpio.AddChip("gpiochip4", label, 54);
        GpioPort port(DefaultGpioConfig(), gpio.System());
        port.StartDriver();
        ASSERT_TRUE(port.DriverActive()) << port.DriverMessage();
        EXPECT_EQ(port.ChipPath(), "/dev/gpiochip4");
        EXPECT_EQ(gpio.EventNames(), (std::vector<std::string>{"open /dev/gpiochip0", "CHIPINFO",
                                                               "close", "open /dev/gpiochip4",
                                                               "CHIPINFO", "GET_LINE", "close"}))
            << "one request for all lines; the chip's descriptor is not kept";
        EXPECT_EQ(gpio.OpenDescriptors(), 1u);
        EXPECT_NE(port.DriverMessage().find(std::string("gpiochip4 (\"") + label + "\")"),
                  std::string::npos)
            << port.DriverMessage();
        EXPECT_NE(port.DriverMessage().find("MOSI 10, SCK 11, RST 25, ENABLE 24, MISO 9, READY 23"),
                  std::string::npos);
    }
}

TEST(GpioPort, OutputsStartLowAndInputsAsInputs) {
    Rig rig;
    rig.Start();
    for (std::uint32_t out : {10u, 11u, 25u, 24u}) {
        SCOPED_TRACE(out);
        EXPECT_TRUE(rig.Line(out).requested);
        EXPECT_EQ(rig.Line(out).consumer, "velmo");
        EXPECT_TRUE(rig.Line(out).output);
        EXPECT_FALSE(rig.Pin(out));
    }
    for (std::uint32_t in : {9u, 23u}) {
        EXPECT_TRUE(rig.Line(in).requested);
        EXPECT_FALSE(rig.Line(in).output);
    }
    // Nothing drives READY without a board: it must not float into an answer.
    EXPECT_EQ(rig.Line(23).bias, GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN);
    EXPECT_EQ(rig.Line(9).bias, 0u);
    EXPECT_EQ(rig.port->ReadPort(kBase), 0x00);
    EXPECT_EQ(rig.port->ReadPort(kBase + 2), 0x0C);
}

TEST(GpioPort, RegistersMapOntoTheLines) {
    Rig rig;
    GpioPort& port = rig.Start();
    const auto valueCalls = [&] {
        std::vector<std::string> names = rig.gpio.EventNames();
        rig.gpio.events.clear();
        return names;
    };

    port.WritePort(kBase, Data({IspLine::Mosi}));
    ASSERT_EQ(rig.gpio.events.size(), 1u);
    EXPECT_EQ(rig.gpio.events[0].what, "SET_VALUES");
    EXPECT_EQ(rig.gpio.events[0].mask, 1u) << "MOSI is the request's first line";
    EXPECT_EQ(rig.gpio.events[0].bits, 1u);
    EXPECT_TRUE(rig.Pin(10));
    valueCalls();

    port.WritePort(kBase, Data({IspLine::Mosi}));
    EXPECT_TRUE(valueCalls().empty()) << "nothing changed, no ioctl";

    // SCK and RST up, MOSI down, in one call.
    port.WritePort(kBase, Data({IspLine::Sck, IspLine::Rst}));
    ASSERT_EQ(rig.gpio.events.size(), 1u);
    EXPECT_EQ(rig.gpio.events[0].mask, 0b111u);
    EXPECT_EQ(rig.gpio.events[0].bits, 0b110u);
    EXPECT_FALSE(rig.Pin(10));
    EXPECT_TRUE(rig.Pin(11));
    EXPECT_TRUE(rig.Pin(25));
    valueCalls();

    // Bits without a line are latched only.
    const std::uint8_t withSpare =
        static_cast<std::uint8_t>(Data({IspLine::Sck, IspLine::Rst}) | 0xF0);
    port.WritePort(kBase, withSpare);
    EXPECT_TRUE(valueCalls().empty());
    EXPECT_EQ(port.ReadPort(kBase), withSpare);
    port.WritePort(kBase + 2, 0x05);
    EXPECT_EQ(port.ReadPort(kBase + 2), 0x05);
    port.WritePort(kStatus, 0x00);
    EXPECT_TRUE(valueCalls().empty()) << "data and control reads, control and status writes";

    // The status register: both inputs in one read, every other bit as a floating port.
    bool miso = true;
    bool ready = false;
    rig.gpio.inputLevel = [&](std::size_t, std::uint32_t offset) {
        return offset == 9 ? miso : offset == 23 ? ready : false;
    };
    for (int round = 0; round < 4; ++round) {
        miso = round & 1;
        ready = round & 2;
        const std::uint8_t expected =
            WithLine(IspLine::Ready, WithLine(IspLine::Miso, FloatingStatus(), miso), ready);
        EXPECT_EQ(port.ReadPort(kStatus), expected) << round;
        EXPECT_EQ(valueCalls(), std::vector<std::string>{"GET_VALUES"});
    }
    EXPECT_EQ(port.ReadPort(kBase + 3), 0xFF);
    EXPECT_EQ(port.ReadPort(kBase - 1), 0xFF);

    // The registers follow the base address.
    port.SetBaseAddress(0x278);
    port.WritePort(0x278, 0x00);
    EXPECT_EQ(valueCalls(), std::vector<std::string>{"SET_VALUES"});
    EXPECT_FALSE(rig.Pin(11));
}

TEST(GpioPort, InvertedLinesAreActiveLowSoTheRegistersShowTheTargetsLevels) {
    Rig rig;
    GpioPort& port = rig.Start("mosi=!10,rst=!25,miso=!9,ready=!23");
    EXPECT_TRUE(rig.Line(10).activeLow);
    EXPECT_TRUE(rig.Line(25).activeLow);
    EXPECT_FALSE(rig.Line(11).activeLow);
    EXPECT_TRUE(rig.Pin(10)) << "idle: the target sees low behind the inverter";
    EXPECT_TRUE(rig.Pin(25));
    EXPECT_FALSE(rig.Pin(11));
    EXPECT_EQ(rig.Line(23).bias, GPIO_V2_LINE_FLAG_BIAS_PULL_UP);

    port.WritePort(kBase, Data({IspLine::Mosi, IspLine::Rst, IspLine::Sck}));
    EXPECT_FALSE(rig.Pin(10));
    EXPECT_FALSE(rig.Pin(25));
    EXPECT_TRUE(rig.Pin(11));

    rig.gpio.inputLevel = [](std::size_t, std::uint32_t offset) { return offset == 23; };
    const std::uint8_t status = port.ReadPort(kStatus);
    EXPECT_TRUE(LineLevel(IspLine::Miso, status)) << "MISO pin low: the target drives high";
    EXPECT_FALSE(LineLevel(IspLine::Ready, status));

    // Released, the inverted outputs rest high, so the target still sees low.
    rig.gpio.inputLevel = nullptr;
    port.StopDriver();
    EXPECT_EQ(rig.Line(25).bias, GPIO_V2_LINE_FLAG_BIAS_PULL_UP);
    EXPECT_TRUE(rig.Pin(25));
    EXPECT_EQ(rig.Line(11).bias, GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN);
    EXPECT_FALSE(rig.Pin(11));
}

TEST(GpioPort, LeftOutLinesAreNotRequestedAndAMissingReadyReadsLow) {
    Rig rig;
    GpioPort& port = rig.Start("enable=-,ready=-");
    EXPECT_FALSE(rig.Line(24).requested);
    EXPECT_FALSE(rig.Line(23).requested);
    rig.gpio.inputLevel = [](std::size_t, std::uint32_t) { return true; };
    const std::uint8_t status = port.ReadPort(kStatus);
    EXPECT_FALSE(LineLevel(IspLine::Ready, status));
    EXPECT_TRUE(LineLevel(IspLine::Miso, status));
    rig.gpio.events.clear();
    port.WritePort(kBase, Data({IspLine::Enable}));
    EXPECT_TRUE(rig.gpio.events.empty());
    EXPECT_EQ(port.ReadPort(kBase), Data({IspLine::Enable}));
}

TEST(GpioPort, StoppingDrivesRstLowTurnsTheLinesIntoInputsAndClosesTheRequest) {
    for (const bool byDestructor : {false, true}) {
        SCOPED_TRACE(byDestructor ? "destructor" : "StopDriver");
        Rig rig;
        GpioPort& port = rig.Start();
        port.WritePort(kBase, Data({IspLine::Mosi, IspLine::Rst, IspLine::Enable}));
        rig.gpio.events.clear();
        if (byDestructor) {
            rig.port.reset();
        } else {
            port.StopDriver();
            EXPECT_FALSE(port.DriverActive());
            EXPECT_EQ(port.DriverMessage(), "Der GPIO-Treiber ist angehalten.");
        }
        EXPECT_EQ(rig.gpio.EventNames(),
                  (std::vector<std::string>{"SET_VALUES", "SET_CONFIG", "close"}));
        EXPECT_EQ(rig.gpio.events[0].mask, 0b100u) << "RST alone";
        EXPECT_EQ(rig.gpio.events[0].bits, 0u);
        for (std::uint32_t offset : {10u, 11u, 25u, 24u, 9u, 23u}) {
            EXPECT_FALSE(rig.Line(offset).requested) << offset;
            EXPECT_FALSE(rig.Line(offset).output) << offset;
            // At rest where nothing drives them: the target's low level; MISO is the target's.
            EXPECT_EQ(rig.Line(offset).bias, offset == 9
                                                 ? std::uint64_t{0}
                                                 : std::uint64_t{GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN})
                << offset;
        }
        EXPECT_EQ(rig.gpio.OpenDescriptors(), 0u);
        EXPECT_EQ(rig.gpio.badCloses, 0);
        if (!byDestructor) {
            rig.gpio.events.clear();
            port.WritePort(kBase, 0xFF);
            EXPECT_EQ(port.ReadPort(kStatus), 0);
            EXPECT_EQ(port.ReadPort(kBase), 0);
            EXPECT_TRUE(rig.gpio.events.empty());
            // And it starts again.
            port.StartDriver();
            EXPECT_TRUE(port.DriverActive()) << port.DriverMessage();
            EXPECT_TRUE(rig.Line(25).output);
            EXPECT_FALSE(rig.Pin(25));
        }
    }
}

TEST(GpioPort, ARstAlreadyLowIsNotDrivenAgainOnStop) {
    Rig rig;
    GpioPort& port = rig.Start();
    port.WritePort(kBase, Data({IspLine::Rst}));
    port.WritePort(kBase, Data({}));
    rig.gpio.events.clear();
    port.StopDriver();
    EXPECT_EQ(rig.gpio.EventNames(), (std::vector<std::string>{"SET_CONFIG", "close"}));
    EXPECT_FALSE(rig.Pin(25));
}

TEST(GpioPort, StartFailuresTellTheUserWhatToDo) {
    struct Case {
        const char* name;
        const char* config;
        std::function<void(FakeGpio&)> world;
        std::vector<std::string> says;
    };
    const auto pi4 = [](FakeGpio& gpio) { gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58); };
    const Case cases[] = {
        {"no GPIO chip at all",
         "",
         [](FakeGpio&) {},
         {"keinen GPIO-Chip", "/dev/gpiochip*", "VELMO_PORT=sim"}},
        {"no GPIO chip, one named",
         "chip=gpiochip0",
         [](FakeGpio&) {},
         {"keinen GPIO-Chip", "/dev/gpiochip*"}},
        {"no permission",
         "",
         [&](FakeGpio& gpio) {
             pi4(gpio);
             gpio.chips[0].openErrno = EACCES;
         },
         {"Kein Zugriff auf /dev/gpiochip0", std::strerror(EACCES), "Gruppe gpio",
          "sudo adduser pi gpio", "neu an"}},
        {"no permission, the device's own group",
         "chip=gpiochip0",
         [&](FakeGpio& gpio) {
             pi4(gpio);
             gpio.chips[0].openErrno = EPERM;
             gpio.chips[0].group = "plugdev";
         },
         {"Kein Zugriff auf /dev/gpiochip0", "Gruppe plugdev", "sudo adduser pi plugdev"}},
        {"no permission, owned by root",
         "",
         [&](FakeGpio& gpio) {
             pi4(gpio);
             gpio.chips[0].openErrno = EACCES;
             gpio.chips[0].group = "root";
         },
         {"groupadd gpio", "udev", "GROUP=\"gpio\"", "sudo adduser pi gpio", "neu an"}},
        {"the SPI driver holds MOSI, MISO and SCK",
         "",
         [&](FakeGpio& gpio) {
             pi4(gpio);
             for (std::uint32_t offset : {9u, 10u, 11u})
                 gpio.chips[0].lines[offset].kernelHeld = true;
         },
         {"GPIO 10 (MOSI, vom Kernel)", "GPIO 11 (SCK, vom Kernel)", "GPIO 9 (MISO, vom Kernel)",
          "SPI-Treiber", "dtparam=spi=off", "/boot/firmware/config.txt", "spi_bcm2835"}},
        {"another program holds RST",
         "",
         [&](FakeGpio& gpio) {
             pi4(gpio);
             gpio.chips[0].lines[25].requested = true;
             gpio.chips[0].lines[25].consumer = "gpioset";
         },
         {"GPIO 25 (RST, von \"gpioset\")", "anderes Programm", "VELMO_GPIO"}},
        {"a line beyond the chip",
         "ready=60",
         pi4,
         {"Leitung 60 für READY", "gpiochip0 (\"pinctrl-bcm2711\")", "58 Leitungen, 0 bis 57",
          "ready= in VELMO_GPIO"}},
        {"no Raspberry Pi chip",
         "",
         [](FakeGpio& gpio) {
             gpio.AddChip("gpiochip0", "gpio-mockup-A", 16);
             gpio.AddChip("gpiochip1", "ftdi-cbus", 4);
             gpio.AddChip("gpiochip2", "gone", 4).openErrno = ENODEV;
         },
         {"Kein GPIO-Chip eines Raspberry Pi", "pinctrl-rp1",
          "gpiochip0 \"gpio-mockup-A\", gpiochip1 \"ftdi-cbus\", /dev/gpiochip2 (" +
              std::string(std::strerror(ENODEV)) + ")",
          "VELMO_GPIO=chip=gpiochip0"}},
        {"the named chip is missing",
         "chip=gpiochip9",
         pi4,
         {"/dev/gpiochip9", "chip=gpiochip9", "gibt es nicht", "Vorhanden: /dev/gpiochip0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeGpio gpio;
        c.world(gpio);
        const std::optional<GpioConfig> config = ParseGpioConfig(c.config, nullptr);
        ASSERT_TRUE(config);
        GpioPort port(*config, gpio.System());
        port.StartDriver();
        EXPECT_FALSE(port.DriverActive());
        const std::string message = port.DriverMessage();
        for (const std::string& part : c.says) {
            EXPECT_NE(message.find(part), std::string::npos) << message << "\n / " << part;
        }
        EXPECT_EQ(gpio.OpenDescriptors(), 0u) << "nothing left open";
        for (const auto& chip : gpio.chips) {
            for (const auto& line : chip.lines) {
                EXPECT_TRUE(!line.requested || line.consumer != "velmo");
            }
        }
        // A port that did not start touches nothing.
        gpio.events.clear();
        port.WritePort(kBase, 0xFF);
        EXPECT_EQ(port.ReadPort(kStatus), 0);
        EXPECT_TRUE(gpio.events.empty());
    }
}

TEST(GpioPort, ASecondProgramFindsTheLinesBusyUntilTheFirstStops) {
    Rig rig;
    rig.Start();
    GpioPort second(DefaultGpioConfig(), rig.gpio.System());
    second.StartDriver();
    EXPECT_FALSE(second.DriverActive());
    EXPECT_NE(second.DriverMessage().find("GPIO 10 (MOSI, von \"velmo\")"), std::string::npos)
        << second.DriverMessage();
    rig.port->StopDriver();
    second.StartDriver();
    EXPECT_TRUE(second.DriverActive()) << second.DriverMessage();
}

TEST(GpioPort, AFailingIoctlStopsTheDriverReleasesTheLinesAndSaysWhy) {
    const struct {
        unsigned long request;
        const char* name;
        std::function<void(GpioPort&)> access;
    } cases[] = {
        {GPIO_V2_LINE_SET_VALUES_IOCTL, "GPIO_V2_LINE_SET_VALUES_IOCTL",
         [](GpioPort& port) { port.WritePort(kBase, Data({IspLine::Sck})); }},
        {GPIO_V2_LINE_GET_VALUES_IOCTL, "GPIO_V2_LINE_GET_VALUES_IOCTL",
         [](GpioPort& port) {
             EXPECT_EQ(port.ReadPort(kStatus), 0) << "READY must not seem to answer";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        GpioPort& port = rig.Start();
        port.WritePort(kBase, Data({IspLine::Rst}));
        int failures = 1;
        rig.gpio.failIoctl = [&](unsigned long request) {
            return request == c.request && failures-- > 0 ? ENODEV : 0;
        };
        c.access(port);
        EXPECT_FALSE(port.DriverActive());
        const std::string message = port.DriverMessage();
        EXPECT_NE(message.find(c.name), std::string::npos) << message;
        EXPECT_NE(message.find(std::strerror(ENODEV)), std::string::npos) << message;
        EXPECT_NE(message.find("/dev/gpiochip0"), std::string::npos) << message;
        EXPECT_EQ(rig.gpio.OpenDescriptors(), 0u) << "released at once";
        EXPECT_FALSE(rig.Line(25).output);
        rig.gpio.events.clear();
        port.WritePort(kBase, 0x00);
        EXPECT_EQ(port.ReadPort(kStatus), 0);
        EXPECT_EQ(port.ReadPort(kBase), 0);
        EXPECT_TRUE(rig.gpio.events.empty()) << "no more accesses after a failure";
        port.StopDriver();
        EXPECT_EQ(port.DriverMessage(), message) << "the reason outlives the stop";
        EXPECT_EQ(rig.gpio.badCloses, 0);
    }
}

}  // namespace
}  // namespace velmo
