#include "sim/SimOptions.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "image/FlashImage.h"
#include "port/SettingText.h"

namespace velmo {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// The whole text must be the number: "12x" or "" is refused, not read as 12 or 0.
template <typename T>
bool ParseUnsigned(std::string_view text, int base, T* value) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool ParseMHz(std::string_view text, double* value) {
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc{} && end == text.data() + text.size() && std::isfinite(*value) &&
           *value > 0.0 && *value <= 1000.0;
}

// Ten seconds is far beyond any real cycle time; larger values are almost surely typos.
constexpr std::uint32_t kMaxTimeUs = 10'000'000;

// An hour: a run that waits longer for another one is waiting for a run that hangs.
constexpr unsigned kMaxLockWaitSeconds = 3600;

bool ParseTimeUs(std::string_view text, std::uint32_t* value) {
    return ParseUnsigned(text, 10, value) && *value <= kMaxTimeUs;
}

std::string BadValue(std::string_view key, std::string_view value, std::string_view expected) {
    return "Ungültiger Wert \"" + std::string(value) + "\" für die Simulator-Option " +
           std::string(key) + " in VELMO_SIM_OPTIONS (erwartet: " + std::string(expected) + ").";
}

// One key=value onto options; a German message when the value does not fit the key.
std::string ApplyItem(SimOptions& options, const std::string& key, std::string_view rawValue) {
    const std::string value = Lowercase(rawValue);
    if (key == "board" || key == "chip") {
        if (value != "present" && value != "absent") {
            return BadValue(key, rawValue, "present oder absent");
        }
        (key == "board" ? options.boardPresent : options.chipPresent) = value == "present";
    } else if (key == "xtal") {
        if (!ParseMHz(value, &options.xtalMHz)) {
            return BadValue(key, rawValue, "Quarzfrequenz in MHz, z. B. xtal=24");
        }
    } else if (key == "model") {
        const std::optional<SimModelKind> model = SimModelByKey(value);
        if (!model) {
            return BadValue(key, rawValue, "at89s51, at89s52, at89s53, at89s8252 oder at89s8253");
        }
        options.model = *model;
        if (!options.writeTimeGiven) options.writeTimeUs = SimModelOf(*model).writeTimeUs;
        if (!options.eraseTimeGiven) options.eraseTimeUs = SimModelOf(*model).eraseTimeUs;
    } else if (key == "writetime") {
        if (value == "never") {
            options.writeNeverCompletes = true;
        } else if (ParseTimeUs(value, &options.writeTimeUs)) {
            options.writeNeverCompletes = false;
        } else {
            return BadValue(key, rawValue, "Mikrosekunden von 0 bis 10000000 oder never");
        }
        options.writeTimeGiven = true;
    } else if (key == "erasetime") {
        if (!ParseTimeUs(value, &options.eraseTimeUs)) {
            return BadValue(key, rawValue, "Mikrosekunden von 0 bis 10000000");
        }
        options.eraseTimeGiven = true;
    } else if (key == "stuck") {
        const std::size_t colon = value.find(':');
        std::uint16_t address = 0;
        std::uint8_t cell = 0;
        if (colon == std::string::npos ||
            !ParseUnsigned(std::string_view(value).substr(0, colon), 16, &address) ||
            !ParseUnsigned(std::string_view(value).substr(colon + 1), 16, &cell) ||
            address >= FLASH_SIZE) {
            return BadValue(key, rawValue,
                            "ADRESSE:WERT hexadezimal, Adresse 0 bis 2FFF, z. B. stuck=1234:00");
        }
        options.stuckCells[address] = cell;
    } else if (key == "clock") {
        if (value != "real" && value != "virtual")
            return BadValue(key, rawValue, "real oder virtual");
        options.virtualClock = value == "virtual";
    } else if (key == "lockwait") {
        if (!ParseUnsigned(value, 10, &options.lockWaitSeconds) ||
            options.lockWaitSeconds > kMaxLockWaitSeconds) {
            return BadValue(key, rawValue, "Sekunden von 0 bis 3600");
        }
    }
    return {};
}

constexpr const char* kKeys[] = {"board",     "chip",  "model", "xtal",    "writetime",
                                 "erasetime", "stuck", "clock", "lockwait"};
// What differs from chip to chip; the board, the clock and the lock are the fixture's.
constexpr const char* kSocketKeys[] = {"chip", "model", "xtal", "writetime", "erasetime", "stuck"};

template <std::size_t N>
bool OneOf(const std::string& key, const char* const (&keys)[N]) {
    for (const char* known : keys) {
        if (key == known) return true;
    }
    return false;
}

}  // namespace

std::optional<SimOptions> ParseSimOptions(const std::string& text, std::string* error) {
    SimOptions options;
    auto fail = [error](std::string message) -> std::optional<SimOptions> {
        if (error) {
            *error = std::move(message);
        }
        return std::nullopt;
    };

    for (std::string_view item : Split(text, ',')) {
        item = TrimBlanks(item);
        if (item.empty()) {
            continue;  // tolerates "a=1,,b=2" and a trailing comma
        }
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            return fail("Die Simulator-Option \"" + std::string(item) +
                        "\" in VELMO_SIM_OPTIONS hat keinen Wert (Form: name=wert).");
        }
        const std::string_view name = TrimBlanks(item.substr(0, eq));
        const std::string_view rawValue = TrimBlanks(item.substr(eq + 1));
        std::string key = Lowercase(name);
        std::optional<unsigned> socket;
        if (const std::size_t at = key.find('@'); at != std::string::npos) {
            unsigned number = 0;
            if (!ParseUnsigned(std::string_view(key).substr(at + 1), 10, &number) || number < 1 ||
                number > kMaxSimSockets) {
                return fail("Ungültiger Sockel in der Simulator-Option \"" + std::string(name) +
                            "\" in VELMO_SIM_OPTIONS (erwartet: NAME@1 bis NAME@8).");
            }
            key.resize(at);
            socket = number - 1;
            if (!OneOf(key, kSocketKeys)) {
                return fail("Die Simulator-Option \"" + key +
                            "\" in VELMO_SIM_OPTIONS gilt für alle Sockel und nimmt kein @ "
                            "(einzeln einstellbar: "
                            "chip, model, xtal, writetime, erasetime, stuck).");
            }
        } else if (!OneOf(key, kKeys)) {
            return fail("Unbekannte Simulator-Option \"" + std::string(name) +
                        "\" in VELMO_SIM_OPTIONS (bekannt: board, chip, model, xtal, "
                        "writetime, erasetime, stuck, clock, lockwait).");
        }
        // A socket's own value is checked on a copy now and applied when its chip is made.
        SimOptions scratch;
        std::string problem = ApplyItem(socket ? scratch : options, key, rawValue);
        if (!problem.empty()) return fail(std::move(problem));
        if (socket) options.socketItems[*socket].emplace_back(key, std::string(rawValue));
    }
    return options;
}

SimOptions SimOptions::ForSocket(unsigned socket) const {
    SimOptions own = *this;
    own.socketItems.clear();
    if (const auto items = socketItems.find(socket); items != socketItems.end()) {
        for (const auto& [key, value] : items->second) ApplyItem(own, key, value);
    }
    return own;
}

}  // namespace velmo
