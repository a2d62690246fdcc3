#include "link/ftdi/FtdiConfig.h"

#include <charconv>
#include <string_view>

#include "port/SettingText.h"

namespace velmo {

namespace {

constexpr const char* kExample =
    ". Beispiel: VELMO_FTDI=serial=A10K3X2Q,rst=4,enable=-; \"!\" vor der Nummer kehrt die "
    "Leitung um, \"-\" lässt ENABLE oder READY weg.";

// Where each line sits unless the user says otherwise, in IspLine order (MOSI, SCK, RST,
// ENABLE, MISO, READY). The MPSSE has its clock, data out and data in on ADBUS0 to 2; the
// bit-bang defaults are the wiring of the common FT232R ISP cables.
constexpr std::array<std::uint8_t, kIspLineCount> kMpsseBits = {1, 0, 3, 4, 2, 5};
constexpr std::array<std::uint8_t, kIspLineCount> kBitBangBits = {2, 0, 4, 3, 1, 5};
constexpr std::array<std::uint8_t, kMaxFtdiSockets> kGangMisoBits = {1, 3, 5, 6, 7};
// The FT232R's names of its data pins in bit-bang mode.
constexpr std::array<const char*, 8> kUartNames = {"TXD", "RXD", "RTS", "CTS",
                                                   "DTR", "DSR", "DCD", "RI"};

std::string Key(IspLine line) {
    return Lowercase(CableOf(line).name);
}

template <typename T>
bool Number(std::string_view text, T& value, int base = 10) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc{} && end == text.data() + text.size();
}

// "-", "N" or "!N" with N from 0 to 7.
std::optional<FtdiPin> ParsePin(std::string_view value) {
    FtdiPin pin;
    if (value == "-") return pin;
    if (!value.empty() && value.front() == '!') {
        pin.inverted = true;
        value = TrimBlanks(value.substr(1));
    }
    unsigned bit = 0;
    if (value.size() != 1 || !Number(value, bit) || bit > 7) return std::nullopt;
    pin.used = true;
    pin.bit = static_cast<std::uint8_t>(bit);
    return pin;
}

bool ParseMisoList(std::string_view value, std::vector<FtdiPin>& list) {
    list.clear();
    while (true) {
        const std::size_t slash = value.find('/');
        const std::optional<FtdiPin> pin = ParsePin(TrimBlanks(value.substr(0, slash)));
        if (!pin || !pin->used || list.size() == kMaxFtdiSockets) return false;
        list.push_back(*pin);
        if (slash == std::string_view::npos) return true;
        value.remove_prefix(slash + 1);
    }
}

bool HexId(std::string_view text, std::uint16_t& id) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    return text.size() <= 4 && Number(text, id, 16);
}

// d:BUS/DEVICE, i:VID:PID[:INDEX], s:VID:PID:SERIAL; ids in hexadecimal as lsusb shows them.
std::optional<FtdiSelector> ParseSelector(std::string_view text) {
    FtdiSelector selector;
    if (text.size() < 3 || text[1] != ':') return std::nullopt;
    const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    text.remove_prefix(2);
    if (kind == 'd') {
        const std::size_t slash = text.find('/');
        if (slash == std::string_view::npos || !Number(text.substr(0, slash), selector.bus) ||
            !Number(text.substr(slash + 1), selector.address) || selector.bus > 255 ||
            selector.address > 255) {
            return std::nullopt;
        }
        selector.kind = FtdiSelector::Kind::BusAddress;
        return selector;
    }
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos || !HexId(text.substr(0, first), selector.vendor)) {
        return std::nullopt;
    }
    text.remove_prefix(first + 1);
    const std::size_t second = text.find(':');
    if (!HexId(text.substr(0, second), selector.product)) return std::nullopt;
    const std::string_view rest =
        second == std::string_view::npos ? std::string_view() : text.substr(second + 1);
    if (kind == 'i') {
        if (second != std::string_view::npos &&
            (!Number(rest, selector.index) || rest.size() > 3)) {
            return std::nullopt;
        }
        selector.kind = FtdiSelector::Kind::Ids;
        return selector;
    }
    if (kind == 's' && !rest.empty()) {
        selector.kind = FtdiSelector::Kind::IdsSerial;
        selector.serial = std::string(rest);
        return selector;
    }
    return std::nullopt;
}

std::string KnownKeys() {
    std::string keys = "serial, device, interface";
    for (const CableLine& wire : kCable) keys += ", " + Key(wire.line);
    return keys;
}

std::string PinName(const FtdiPin& pin, FtdiDrive drive) {
    const std::string bit = std::to_string(pin.bit);
    return std::string(pin.inverted ? "!" : "") +
           (drive == FtdiDrive::Mpsse ? "ADBUS" + bit
                                      : "D" + bit + " (" + kUartNames[pin.bit] + ")");
}

// Every pin in use with the name of its signal ("MISO2" for the second socket's).
std::vector<std::pair<std::string, FtdiPin>> UsedPins(const FtdiPins& pins) {
    std::vector<std::pair<std::string, FtdiPin>> used;
    for (const CableLine& wire : kCable) {
        if (pins.Line(wire.line).used) used.emplace_back(wire.name, pins.Line(wire.line));
    }
    for (unsigned socket = 1; socket < pins.sockets; ++socket) {
        used.emplace_back("MISO" + std::to_string(socket + 1), pins.miso[socket]);
    }
    return used;
}

}  // namespace

std::optional<FtdiConfig> ParseFtdiConfig(const std::string& text, std::string* error) {
    FtdiConfig config;
    auto fail = [error](std::string message) -> std::optional<FtdiConfig> {
        if (error) *error = "VELMO_FTDI: " + std::move(message) + kExample;
        return std::nullopt;
    };
    const std::string problem = ForEachSetting(
        text, [&](std::string_view item, const std::string& key, std::string_view value) {
            bool known = true;
            if (key == "serial") {
                if (value.empty()) return Quoted(item) + " nennt keine Seriennummer";
                config.serial = std::string(value);
            } else if (key == "device") {
                const std::optional<FtdiSelector> selector = ParseSelector(value);
                if (!selector) {
                    return Quoted(item) +
                           " ist keine Geräteangabe (erwartet: d:BUS/GERÄT, "
                           "i:VID:PID[:INDEX] oder s:VID:PID:SERIENNUMMER, Kennungen "
                           "hexadezimal, z. B. device=i:0403:6014)";
                }
                config.device = std::string(value);
                config.selector = *selector;
            } else if (key == "interface") {
                const std::string name = Lowercase(value);
                if (name.size() != 1 || name[0] < 'a' || name[0] > 'd') {
                    return Quoted(item) +
                           " ist keine Schnittstelle (erwartet: A, B, C "
                           "oder D)";
                }
                config.channel = static_cast<unsigned>(name[0] - 'a');
            } else if (key == Key(IspLine::Miso) && value.find('/') != std::string_view::npos) {
                if (!ParseMisoList(value, config.misoList)) {
                    return Quoted(item) +
                           " ist keine Liste von MISO-Pins (erwartet: 1 bis 5 Pins von 0 "
                           "bis 7, getrennt durch \"/\", z. B. miso=1/3/5)";
                }
                config.lines[static_cast<std::size_t>(IspLine::Miso)] = config.misoList.front();
            } else {
                known = false;
            }
            for (const CableLine& wire : kCable) {
                if (known || key != Key(wire.line)) continue;
                known = true;
                const std::optional<FtdiPin> pin = ParsePin(value);
                if (!pin) {
                    return Quoted(item) +
                           " ist keine Pinnummer (erwartet: 0 bis 7 für ADBUS0 bis 7 "
                           "bzw. D0 bis D7, davor \"!\" für eine umgekehrte Leitung)";
                }
                if (!pin->used && !MayBeLeftOut(wire.line)) {
                    return LineNeeded(item, wire.name);
                }
                config.lines[static_cast<std::size_t>(wire.line)] = *pin;
                if (wire.line == IspLine::Miso) config.misoList.clear();
            }
            if (!known) {
                return UnknownSettingName(item, KnownKeys());
            }
            return std::string();
        });
    if (!problem.empty()) return fail(problem);
    // Two signals the user placed on one pin would drive against each other.
    for (std::size_t a = 0; a < kCable.size(); ++a) {
        for (std::size_t b = a + 1; b < kCable.size(); ++b) {
            const std::optional<FtdiPin>& first = config.lines[a];
            const std::optional<FtdiPin>& second = config.lines[b];
            if (first && second && first->used && second->used && first->bit == second->bit) {
                return fail(std::string(kCable[a].name) + " und " + kCable[b].name +
                            " liegen beide auf Pin " + std::to_string(first->bit) +
                            "; jedes Signal braucht seinen eigenen Pin");
            }
        }
    }
    return config;
}

std::string FtdiSocketProblem(const FtdiConfig& config, unsigned sockets) {
    if (sockets <= 1) return {};
    if (sockets > kMaxFtdiSockets) {
        return "Ein FTDI-Adapter hat neben SCK, MOSI und RST fünf Datenpins für MISO, also "
               "höchstens " +
               std::to_string(kMaxFtdiSockets) + " Sockel.";
    }
    const bool single = config.lines[static_cast<std::size_t>(IspLine::Miso)].has_value() &&
                        config.misoList.empty();
    const std::size_t named = single ? 1 : config.misoList.size();
    if ((single || !config.misoList.empty()) && named < sockets) {
        return "VELMO_FTDI nennt mit miso= " + std::to_string(named) +
               (named == 1 ? " MISO-Pin" : " MISO-Pins") + ", für " + std::to_string(sockets) +
               " Sockel braucht es einen je Sockel (z. B. miso=1/3/5/6/7).";
    }
    return {};
}

std::optional<FtdiPins> ResolveFtdiPins(const FtdiConfig& config, FtdiDrive drive, unsigned sockets,
                                        std::string* error) {
    auto fail = [error](std::string message) -> std::optional<FtdiPins> {
        if (error) *error = std::move(message);
        return std::nullopt;
    };
    if (const std::string problem = FtdiSocketProblem(config, sockets); !problem.empty()) {
        return fail(problem);
    }
    FtdiPins pins;
    pins.sockets = sockets;
    const auto& defaults = drive == FtdiDrive::Mpsse ? kMpsseBits : kBitBangBits;
    for (std::size_t i = 0; i < kIspLineCount; ++i) {
        pins.lines[i] = config.lines[i].value_or(FtdiPin{true, defaults[i], false});
    }
    if (drive == FtdiDrive::Mpsse) {
        if (sockets > 1) {
            return fail(
                "Mehrere Sockel (--sockets) gehen nur im synchronen Bitbang-Modus eines FT232R "
                "oder FT231X; der MPSSE eines FT232H, FT2232H oder FT4232H liest nur einen "
                "MISO-Eingang.");
        }
        for (const IspLine line : {IspLine::Sck, IspLine::Mosi, IspLine::Miso}) {
            if (pins.Line(line).bit != defaults[static_cast<std::size_t>(line)]) {
                return fail(
                    "VELMO_FTDI: Der MPSSE (FT232H, FT2232H, FT4232H) hat SCK, MOSI und MISO "
                    "fest auf ADBUS0, ADBUS1 und ADBUS2; sck, mosi und miso können dort nur "
                    "umgekehrt werden (sck=!0), nicht verlegt.");
            }
        }
    }
    pins.miso[0] = pins.Line(IspLine::Miso);
    for (unsigned socket = 1; socket < sockets; ++socket) {
        pins.miso[socket] = config.misoList.empty() ? FtdiPin{true, kGangMisoBits[socket], false}
                                                    : config.misoList[socket];
        // A gang runs on the plain cable, which needs neither; only where the user placed
        // them do they stay and must find a pin of their own.
        for (const IspLine line : {IspLine::Enable, IspLine::Ready}) {
            FtdiPin& pin = pins.Line(line);
            if (!config.lines[static_cast<std::size_t>(line)] && pin.bit == pins.miso[socket].bit) {
                pin.used = false;
            }
        }
    }
    const auto used = UsedPins(pins);
    for (std::size_t a = 0; a < used.size(); ++a) {
        for (std::size_t b = a + 1; b < used.size(); ++b) {
            if (used[a].second.bit != used[b].second.bit) continue;
            return fail("VELMO_FTDI: " + used[a].first + " und " + used[b].first +
                        " liegen beide auf Pin " + std::to_string(used[a].second.bit) +
                        "; jedes Signal braucht seinen eigenen Pin.");
        }
    }
    return pins;
}

std::string DescribeFtdiPins(const FtdiPins& pins, FtdiDrive drive) {
    std::string text;
    for (const auto& [name, pin] : UsedPins(pins)) {
        if (!text.empty()) text += ", ";
        text += name + " " + PinName(pin, drive);
    }
    return text;
}

bool SelectorMatches(const FtdiSelector& selector, const FtdiDevice& device, unsigned sameIds) {
    switch (selector.kind) {
        case FtdiSelector::Kind::None:
            return true;
        case FtdiSelector::Kind::BusAddress:
            return device.bus == selector.bus && device.address == selector.address;
        case FtdiSelector::Kind::Ids:
            return device.vendor == selector.vendor && device.product == selector.product &&
                   sameIds == selector.index;
        case FtdiSelector::Kind::IdsSerial:
            return device.vendor == selector.vendor && device.product == selector.product &&
                   device.serial == selector.serial;
    }
    return false;
}

std::optional<FtdiDrive> DriveOf(FtdiChip chip, unsigned channel) {
    switch (chip) {
        case FtdiChip::Ft232H:
            if (channel == 0) return FtdiDrive::Mpsse;
            break;
        case FtdiChip::Ft2232H:
            if (channel < 2) return FtdiDrive::Mpsse;
            break;
        case FtdiChip::Ft4232H:
            // Only the first two of its four channels have an MPSSE.
            if (channel < 2) return FtdiDrive::Mpsse;
            break;
        case FtdiChip::Ft2232C:
            if (channel == 0) return FtdiDrive::Mpsse;
            break;
        case FtdiChip::Ft232R:
        case FtdiChip::Ft230X:
            if (channel == 0) return FtdiDrive::SyncBitBang;
            break;
        case FtdiChip::Unknown:
        case FtdiChip::Am:
        case FtdiChip::Bm:
            break;
    }
    return std::nullopt;
}

const char* FtdiChipName(FtdiChip chip) {
    switch (chip) {
        case FtdiChip::Am:
            return "FT8U232AM";
        case FtdiChip::Bm:
            return "FT232BM";
        case FtdiChip::Ft2232C:
            return "FT2232C/D";
        case FtdiChip::Ft232R:
            return "FT232R";
        case FtdiChip::Ft2232H:
            return "FT2232H";
        case FtdiChip::Ft4232H:
            return "FT4232H";
        case FtdiChip::Ft232H:
            return "FT232H";
        case FtdiChip::Ft230X:
            return "FT-X (FT231X)";
        case FtdiChip::Unknown:
            break;
    }
    return "FTDI-Chip";
}

}  // namespace velmo
