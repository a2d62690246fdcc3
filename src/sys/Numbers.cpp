#include "sys/Numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

namespace velmo::sys {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

// The leading decimal number of text without its sign: digits with an optional point, then
// an exponent only where digits follow it ("12e" is 12). Empty without a digit.
std::string_view LeadingDecimal(std::string_view text) {
    std::size_t at = 0;
    const auto skipDigits = [&text](std::size_t from) {
        while (from < text.size() && IsDigit(text[from])) ++from;
        return from;
    };
    at = skipDigits(0);
    std::size_t digits = at;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(at + 1);
        digits += fractionEnd - (at + 1);
        at = fractionEnd;
    }
    if (digits == 0) return {};
    std::size_t exponent = at;
    if (exponent < text.size() && (text[exponent] == 'e' || text[exponent] == 'E')) {
        ++exponent;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        if (exponent < text.size() && IsDigit(text[exponent])) at = skipDigits(exponent);
    }
    return text.substr(0, at);
}

}  // namespace

long ParseLong(std::string_view text, int base) {
    text = SkipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // "0x" counts as a prefix only with a digit behind it; "0x" alone is the number 0.
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        DigitValue(text[2]) < 16) {
        text.remove_prefix(2);
    }
    unsigned long magnitude = 0;
    bool overflow = false;
    for (const char c : text) {
        const int digit = DigitValue(c);
        if (digit >= base) break;
        if (magnitude >
            (ULONG_MAX - static_cast<unsigned long>(digit)) / static_cast<unsigned long>(base)) {
            overflow = true;
        } else {
            magnitude =
                magnitude * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
        }
    }
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    if (overflow || magnitude > limit) return negative ? LONG_MIN : LONG_MAX;
    if (negative) return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
    return static_cast<long>(magnitude);
}

double ParseDecimal(std::string_view text) {
    text = SkipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::string_view number = LeadingDecimal(text);
    if (number.empty()) return 0.0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || !std::isfinite(value)) return 0.0;
    return negative ? -value : value;
}

}  // namespace velmo::sys
