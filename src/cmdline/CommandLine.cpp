#include "cmdline/CommandLine.h"

#include <cstddef>

#include "sys/Numbers.h"

namespace velmo {
namespace {

// The characters directly behind the first occurrence of a switch, or nothing when the switch
// is absent. Switches are found anywhere in the line, also inside another switch's value.
bool ValueBehind(const std::string& text, const char* key, std::string& value) {
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return false;
    value = text.substr(at + 2);
    return true;
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

CommandLineSettings ParseCommandLine(const std::string& text) {
    CommandLineSettings settings;
    settings.batch.active = true;
    // assign(count, char) rather than = "1": GCC 12 at -O3 reports a false -Wrestrict on the
    // literal assignment.
    settings.batch.action.assign(1, '1');
    settings.portIndex = 1;
    settings.portAddress = LPT1_ADDRESS;
    settings.mode = ProgrammerMode::Board;
    settings.clockRate = 24.0;

    std::string value;
    if (ValueBehind(text, "-a", value)) settings.batch.action = value.substr(0, 1);

    if (ValueBehind(text, "-p", value)) {
        const std::string_view digits = std::string_view(value).substr(0, 3);
        const long address = sys::ParseLong(digits, 16);
        // Any value is taken as the base address; only the three known ones move the mark.
        settings.portAddress = static_cast<std::uint16_t>(address);
        if (address == LPT2_ADDRESS) {
            settings.portIndex = 2;
        } else if (address == LPT3_ADDRESS) {
            settings.portIndex = 3;
        }
    }

    if (ValueBehind(text, "-m", value)) {
        if (value.substr(0, 1) == "1") settings.mode = ProgrammerMode::Raw;
        if (value.substr(0, 1) == "2") settings.mode = ProgrammerMode::Board;
    }

    if (ValueBehind(text, "-t", value)) {
        // The value ends where the next switch begins; without a following "-" it is empty.
        const std::size_t dash = value.find('-');
        const std::string number =
            TrimBlanks(dash == std::string::npos ? std::string() : value.substr(0, dash));
        // A number too large for a double names no rate either, rather than an infinite one.
        // Read the C way: the documented call writes -t11.0 whatever the user's language.
        const double rate = sys::ParseDecimal(number);
        settings.clockRate = rate == 0.0 ? 24.0 : rate;
    }

    if (ValueBehind(text, "-f", value)) settings.batch.filePath = value;
    return settings;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

std::string TextAfterProgramName(std::string_view commandLine) {
    std::size_t at = 0;
    if (!commandLine.empty() && commandLine.front() == '"') {
        // A quoted name ends at the next quote; blanks inside it belong to it.
        at = commandLine.find('"', 1);
        at = at == std::string_view::npos ? commandLine.size() : at + 1;
    } else {
        at = commandLine.find_first_of(" \t");
        if (at == std::string_view::npos) at = commandLine.size();
    }
    at = commandLine.find_first_not_of(" \t", at);
    return at == std::string_view::npos ? std::string() : std::string(commandLine.substr(at));
}

}  // namespace velmo
