#include "cmdline/CommandLine.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstddef>

namespace velmo {
namespace {

// The window may switch the process to the user's locale, where strtod would want a decimal
// comma; the documented call writes -t11.0, so the numbers are read in the "C" locale.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

// The characters directly behind the first occurrence of a switch, or nothing when the switch
// is absent. Switches are found anywhere in the line, also inside another switch's value.
bool ValueBehind(const std::string& text, const char* key, std::string& value) {
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return false;
    value = text.substr(at + 2);
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The longest leading part of text that is a decimal number: optional sign, digits with an
// optional decimal point, then an optional exponent. The C library's own reader also takes
// hexadecimal numbers, "inf" and "nan"; none of them is a clock rate a batch file means.
std::string LeadingDecimal(const std::string& text) {
    std::size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string::npos) return {};
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const auto skipDigits = [&text](std::size_t from) {
        while (from < text.size() && IsDigit(text[from])) ++from;
        return from;
    };
    const std::size_t integerEnd = skipDigits(at);
    std::size_t digits = integerEnd - at;
    at = integerEnd;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(at + 1);
        digits += fractionEnd - (at + 1);
        at = fractionEnd;
    }
    if (digits == 0) return {};
    // An exponent counts only with digits behind it; "12e" is 12.
    std::size_t exponent = at;
    if (exponent < text.size() && (text[exponent] == 'e' || text[exponent] == 'E')) {
        ++exponent;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        if (exponent < text.size() && IsDigit(text[exponent])) at = skipDigits(exponent);
    }
    return text.substr(0, at);
}

// The clock rate a -t text names, in MHz; 0 when it names none. A number too large for a
// double names none either, rather than an infinite rate.
double DecimalRate(const std::string& text) {
    const std::string number = LeadingDecimal(text);
    if (number.empty()) return 0.0;
    const double rate = strtod_l(number.c_str(), nullptr, CLocale());
    return std::isfinite(rate) ? rate : 0.0;
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
        const std::string digits = value.substr(0, 3);
        const long address = strtol_l(digits.c_str(), nullptr, 16, CLocale());
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
        const double rate = DecimalRate(number);
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

}  // namespace velmo
