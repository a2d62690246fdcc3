#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/ftdi/FtdiSystem.h"
#include "port/Cable.h"

namespace velmo {

// How the adapter drives the pins: the MPSSE clocks whole bytes itself (SCK, MOSI and MISO are
// its fixed pins), synchronous bit-bang sets all eight data pins once per clock tick.
enum class FtdiDrive : std::uint8_t { Mpsse, SyncBitBang };

// One programming line on a data pin of the adapter (ADBUS0..7, or D0..7 of an FT232R).
struct FtdiPin {
    bool used = false;  // false: left out (only ENABLE and READY may be)
    std::uint8_t bit = 0;
    bool inverted = false;  // an inverting buffer sits between the pin and the target
    bool operator==(const FtdiPin&) const = default;
};

// A gang fixture on synchronous bit-bang: SCK, MOSI and RST leave five data pins for MISO.
inline constexpr unsigned kMaxFtdiSockets = 5;

// Which adapter to take, in libftdi's words: d:BUS/DEVICE, i:VID:PID[:INDEX], s:VID:PID:SERIAL.
struct FtdiSelector {
    enum class Kind : std::uint8_t { None, BusAddress, Ids, IdsSerial };
    Kind kind = Kind::None;
    unsigned bus = 0;
    unsigned address = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    unsigned index = 0;  // i:: the index-th adapter with these ids, from 0
    std::string serial;
};

// VELMO_FTDI as the user wrote it: what it names, the rest left to the defaults.
struct FtdiConfig {
    std::string serial;  // empty: any
    std::string device;  // the selector as written, for messages
    FtdiSelector selector;
    unsigned channel = 0;  // 0 = A .. 3 = D
    std::array<std::optional<FtdiPin>, kIspLineCount> lines{};
    // miso=A/B/C: one pin per socket of a gang fixture; empty when not given as a list.
    std::vector<FtdiPin> misoList;
};

// Every line where it sits for one run: the defaults of the drive where the user named none.
struct FtdiPins {
    std::array<FtdiPin, kIspLineCount> lines{};
    std::array<FtdiPin, kMaxFtdiSockets> miso{};  // socket k's MISO; miso[0] is the cable's
    unsigned sockets = 1;

    const FtdiPin& Line(IspLine line) const { return lines[static_cast<std::size_t>(line)]; }
    FtdiPin& Line(IspLine line) { return lines[static_cast<std::size_t>(line)]; }
};

// VELMO_FTDI: a comma-separated list of key=value: serial, device (d:BUS/DEV, i:VID:PID[:INDEX],
// s:VID:PID:SERIAL, ids in hexadecimal), interface (A to D), and sck, mosi, miso, rst, enable,
// ready as data-pin numbers 0 to 7 ("!" inverts, "-" leaves ENABLE or READY out; miso=1/3/5
// names one pin per socket). nullopt with a German message that names the bad item.
std::optional<FtdiConfig> ParseFtdiConfig(const std::string& text, std::string* error);

// The pins for drive and sockets, or nullopt with a German message: the MPSSE has SCK, MOSI
// and MISO on ADBUS0 to 2 and one MISO only; two signals cannot share a pin. A gang's MISO
// pins default to D1, D3, D5, D6, D7; ENABLE and READY give way to them where the user did not
// place them.
std::optional<FtdiPins> ResolveFtdiPins(const FtdiConfig& config, FtdiDrive drive, unsigned sockets,
                                        std::string* error);

// What keeps config from serving sockets, found before any adapter is asked; empty when
// nothing does.
std::string FtdiSocketProblem(const FtdiConfig& config, unsigned sockets);

// "SCK ADBUS0, MOSI ADBUS1, ..." or "SCK D0 (TXD), ...", inverted pins with "!".
std::string DescribeFtdiPins(const FtdiPins& pins, FtdiDrive drive);

// Whether device is the one selector names; sameIds: how many listed before it carry its ids.
bool SelectorMatches(const FtdiSelector& selector, const FtdiDevice& device, unsigned sameIds);

// The drive a chip offers on channel (0 = A), or nullopt where it has none the link uses.
std::optional<FtdiDrive> DriveOf(FtdiChip chip, unsigned channel);

}  // namespace velmo
