#include "port/GpioConfig.h"

#include <cctype>
#include <charconv>
#include <string_view>

#include "port/SettingText.h"

namespace velmo {

namespace {

static_assert([] {
    for (std::size_t i = 0; i < kGpioDefaultLines.size(); ++i) {
        if (static_cast<std::size_t>(kGpioDefaultLines[i].line) != i) return false;
    }
    return true;
}());

// No GPIO chip has anywhere near this many lines; a larger number is a typo.
constexpr std::uint32_t kMaxOffset = 65535;

constexpr const char* kExample =
    ". Beispiel: VELMO_GPIO=chip=gpiochip0,mosi=10,sck=11,rst=25,miso=9,enable=24,ready=23; "
    "\"!\" vor der Nummer kehrt die Leitung um, \"-\" lässt ENABLE oder READY weg.";

// "-", "N" or "!N"; nullopt for anything else.
std::optional<GpioLine> ParseLine(std::string_view value) {
    GpioLine result;
    if (value == "-") return result;
    if (!value.empty() && value.front() == '!') {
        result.inverted = true;
        value = TrimBlanks(value.substr(1));
    }
    std::uint32_t offset = 0;
    if (value.empty() || value.size() > 5) return std::nullopt;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), offset);
    if (ec != std::errc{} || end != value.data() + value.size() || offset > kMaxOffset) {
        return std::nullopt;
    }
    result.used = true;
    result.offset = offset;
    return result;
}

// miso=A/B/C: one line per socket, none left out.
bool ParseMisoList(std::string_view value, GpioConfig& config) {
    unsigned count = 0;
    while (true) {
        const std::size_t slash = value.find('/');
        const std::optional<GpioLine> line = ParseLine(TrimBlanks(value.substr(0, slash)));
        if (!line || !line->used || count == kMaxRegisterSockets) return false;
        config.Miso(count++) = *line;
        if (slash == std::string_view::npos) break;
        value.remove_prefix(slash + 1);
    }
    config.misoLines = count;
    return true;
}

std::string KnownKeys() {
    std::string keys = "chip";
    for (const CableLine& wire : kCable) keys += ", " + GpioKey(wire.line);
    return keys;
}

}  // namespace

GpioConfig DefaultGpioConfig() {
    GpioConfig config;
    for (const GpioDefaultLine& line : kGpioDefaultLines) {
        config.Line(line.line) = {true, line.bcm, false};
    }
    for (unsigned socket = 1; socket < kMaxRegisterSockets; ++socket) {
        config.Miso(socket) = {true, kGpioDefaultMiso[socket], false};
    }
    return config;
}

std::vector<GpioSignal> GpioSignals(const GpioConfig& config) {
    std::vector<GpioSignal> wires;
    for (const CableLine& wire : kCable) {
        const GpioLine& line = config.Line(wire.line);
        if (!line.used) continue;
        wires.push_back({wire.name, GpioKey(wire.line), line, wire.output, PinOf(wire.line),
                         wire.line == IspLine::Rst});
    }
    for (unsigned socket = 1; socket < config.sockets && socket < kMaxRegisterSockets; ++socket) {
        wires.push_back({"MISO" + std::to_string(socket + 1), "miso", config.Miso(socket), false,
                         SocketMisoPin(socket), false});
    }
    return wires;
}

std::string GpioSocketProblem(const GpioConfig& config, unsigned sockets) {
    if (sockets > config.misoLines) {
        return "VELMO_GPIO nennt mit miso= " + std::to_string(config.misoLines) +
               (config.misoLines == 1 ? " MISO-Leitung" : " MISO-Leitungen") + ", für " +
               std::to_string(sockets) + " Sockel braucht es eine je Sockel (z. B. miso=9/5/6).";
    }
    GpioConfig served = config;
    served.sockets = sockets;
    const std::vector<GpioSignal> wires = GpioSignals(served);
    for (std::size_t a = 0; a < wires.size(); ++a) {
        for (std::size_t b = a + 1; b < wires.size(); ++b) {
            if (wires[a].line.offset != wires[b].line.offset) continue;
            return "VELMO_GPIO: " + wires[a].name + " und " + wires[b].name +
                   " liegen beide auf Leitung " + std::to_string(wires[a].line.offset) +
                   "; jeder Sockel braucht seine eigene MISO-Leitung (miso=9/5/6...).";
        }
    }
    return {};
}

std::string GpioKey(IspLine line) {
    return Lowercase(CableOf(line).name);
}

std::optional<GpioConfig> ParseGpioConfig(const std::string& text, std::string* error) {
    GpioConfig config = DefaultGpioConfig();
    auto fail = [error](std::string message) -> std::optional<GpioConfig> {
        if (error) *error = "VELMO_GPIO: " + std::move(message) + kExample;
        return std::nullopt;
    };
    const std::string problem = ForEachSetting(
        text, [&](std::string_view item, const std::string& key, std::string_view value) {
            bool known = false;
            if (key == "chip") {
                if (value.empty()) {
                    return Quoted(item) +
                           " nennt keinen Chip (z. B. chip=gpiochip0 oder "
                           "chip=/dev/gpiochip0)";
                }
                config.chip = std::string(value);
                known = true;
            }
            if (key == GpioKey(IspLine::Miso) && value.find('/') != std::string_view::npos) {
                if (!ParseMisoList(value, config)) {
                    return Quoted(item) +
                           " ist keine Liste von MISO-Leitungen (erwartet: 1 bis 8 "
                           "Leitungsnummern, getrennt durch \"/\", z. B. miso=9/5/!6)";
                }
                known = true;
            }
            for (const CableLine& wire : kCable) {
                if (known || key != GpioKey(wire.line)) continue;
                known = true;
                const std::optional<GpioLine> line = ParseLine(value);
                if (!line) {
                    return Quoted(item) +
                           " ist keine Leitungsnummer (erwartet: eine Zahl von 0 bis " +
                           std::to_string(kMaxOffset) +
                           ", davor \"!\" für eine "
                           "umgekehrte Leitung)";
                }
                if (!line->used && !MayBeLeftOut(wire.line)) {
                    return LineNeeded(item, wire.name);
                }
                config.Line(wire.line) = *line;
                if (wire.line == IspLine::Miso) config.misoLines = 1;
            }
            if (!known) {
                return UnknownSettingName(item, KnownKeys());
            }
            return std::string();
        });
    if (!problem.empty()) return fail(problem);
    // One line cannot carry two signals: an output would drive against an input or two
    // outputs would move together.
    for (std::size_t a = 0; a < kCable.size(); ++a) {
        for (std::size_t b = a + 1; b < kCable.size(); ++b) {
            const GpioLine& first = config.lines[a];
            const GpioLine& second = config.lines[b];
            if (first.used && second.used && first.offset == second.offset) {
                return fail(std::string(kCable[a].name) + " und " + kCable[b].name +
                            " liegen beide auf Leitung " + std::to_string(first.offset) +
                            "; jedes Signal braucht seine eigene Leitung");
            }
        }
    }
    return config;
}

std::string DescribeGpioLines(const GpioConfig& config) {
    std::string text;
    for (const GpioSignal& wire : GpioSignals(config)) {
        if (!text.empty()) text += ", ";
        text +=
            wire.name + " " + (wire.line.inverted ? "!" : "") + std::to_string(wire.line.offset);
    }
    return text;
}

}  // namespace velmo
