#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "port/Cable.h"

namespace velmo {

// Where one programming line sits on a GPIO chip.
struct GpioLine {
    bool used = false;         // false: left out (only ENABLE and READY may be)
    std::uint32_t offset = 0;  // the line's number on the chip; on a Raspberry Pi the BCM number
    bool inverted = false;     // an inverting buffer sits between the chip's pin and the target
};

struct GpioConfig {
    // A device name below /dev ("gpiochip0") or a path; empty: the chip of the Raspberry Pi's
    // 40-pin header, found by its label.
    std::string chip;
    std::array<GpioLine, kIspLineCount> lines{};  // IspLine order; MISO is the first socket's
    // The MISO lines of a gang fixture's sockets 2 to 8.
    std::array<GpioLine, kMaxRegisterSockets - 1> gangMiso{};
    // How many sockets have a MISO line: all eight of the default list, or as many as miso=
    // names.
    unsigned misoLines = kMaxRegisterSockets;
    // How many sockets the port serves (and requests MISO lines for).
    unsigned sockets = 1;

    const GpioLine& Line(IspLine line) const { return lines[static_cast<std::size_t>(line)]; }
    GpioLine& Line(IspLine line) { return lines[static_cast<std::size_t>(line)]; }
    const GpioLine& Miso(unsigned socket) const {
        return socket == 0 ? Line(IspLine::Miso) : gangMiso[socket - 1];
    }
    GpioLine& Miso(unsigned socket) {
        return socket == 0 ? Line(IspLine::Miso) : gangMiso[socket - 1];
    }
};

// One line the port requests: a line of the cable, or the MISO line of a socket beyond the
// first, with the register bit it stands behind.
struct GpioSignal {
    std::string name;  // "MOSI", "MISO2" for the second socket's
    std::string key;   // the VELMO_GPIO key that places it
    GpioLine line;
    bool output = false;
    ConnectorPin pin;  // the register bit the port shows it on
    bool rst = false;  // RST, which goes low first when the lines are released
};
// The lines a port with config requests, in request order: the cable's lines in use, then
// the MISO lines of sockets 2 to config.sockets.
std::vector<GpioSignal> GpioSignals(const GpioConfig& config);

// The lines on the Raspberry Pi's header by BCM number: SPI0's MOSI, SCK and MISO, so the
// wiring matches the usual ISP adapters, and RST, ENABLE and READY on the free pins beside them.
struct GpioDefaultLine {
    IspLine line;
    std::uint32_t bcm;
    std::uint8_t headerPin;  // 40-pin header, for the wiring table
};
// A gang fixture's MISO lines, socket by socket: the cable's MISO, then free header pins
// (29, 31, 33, 35, 37, 36, 38).
inline constexpr std::array<std::uint32_t, kMaxRegisterSockets> kGpioDefaultMiso = {9,  5,  6,  13,
                                                                                    19, 26, 16, 20};

inline constexpr std::array<GpioDefaultLine, kIspLineCount> kGpioDefaultLines = {{
    {IspLine::Mosi, 10, 19},
    {IspLine::Sck, 11, 23},
    {IspLine::Rst, 25, 22},
    {IspLine::Enable, 24, 18},
    {IspLine::Miso, 9, 21},
    {IspLine::Ready, 23, 16},
}};

// Labels of the GPIO chip that carries the header's lines: Raspberry Pi 1 to 3, 4, 5.
inline constexpr std::array<const char*, 3> kRaspberryPiChipLabels = {
    "pinctrl-bcm2835", "pinctrl-bcm2711", "pinctrl-rp1"};

GpioConfig DefaultGpioConfig();

// The key of a line in VELMO_GPIO: its cable name in lower case ("mosi").
std::string GpioKey(IspLine line);

// VELMO_GPIO: a comma-separated list of key=value, e.g.
// chip=gpiochip0,mosi=10,sck=11,rst=25,miso=9,enable=24,ready=23. A "!" before a number
// inverts that line; "-" leaves ENABLE or READY out. miso= may name one line per socket of a
// gang fixture, joined by "/" (miso=9/5/6). Keys not given keep their default; a repeated key
// counts with its last value. nullopt with a German message that names the bad item.
std::optional<GpioConfig> ParseGpioConfig(const std::string& text, std::string* error);

// What keeps config from serving sockets sockets (too few MISO lines, a MISO line that
// another signal uses), in German; empty when nothing does.
std::string GpioSocketProblem(const GpioConfig& config, unsigned sockets);

// "MOSI 10, SCK 11, RST 25, ENABLE 24, MISO 9, READY 23, MISO2 5", inverted lines with "!",
// lines left out not at all.
std::string DescribeGpioLines(const GpioConfig& config);

}  // namespace velmo
