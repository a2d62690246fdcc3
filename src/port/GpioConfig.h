#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

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
    std::array<GpioLine, kIspLineCount> lines{};  // IspLine order

    const GpioLine& Line(IspLine line) const { return lines[static_cast<std::size_t>(line)]; }
    GpioLine& Line(IspLine line) { return lines[static_cast<std::size_t>(line)]; }
};

// The lines on the Raspberry Pi's header by BCM number: SPI0's MOSI, SCK and MISO, so the
// wiring matches the usual ISP adapters, and RST, ENABLE and READY on the free pins beside them.
struct GpioDefaultLine {
    IspLine line;
    std::uint32_t bcm;
    std::uint8_t headerPin;  // 40-pin header, for the wiring table
};
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
// inverts that line; "-" leaves ENABLE or READY out. Keys not given keep their default; a
// repeated key counts with its last value. nullopt with a German message that names the bad
// item.
std::optional<GpioConfig> ParseGpioConfig(const std::string& text, std::string* error);

// "MOSI 10, SCK 11, RST 25, ENABLE 24, MISO 9, READY 23", inverted lines with "!", lines left
// out not at all.
std::string DescribeGpioLines(const GpioConfig& config);

}  // namespace velmo
