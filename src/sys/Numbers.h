#pragma once

#include <string_view>

// Numbers in the C way whatever language the process runs in: a decimal point, never a
// comma, and the same digits on every platform.
namespace velmo::sys {

// As strtol reads them: blanks first are skipped, then an optional sign, for base 16 an
// optional 0x, then as many digits as there are; no digits give 0. A number too large for a
// long gives the largest long of its sign.
long ParseLong(std::string_view text, int base);

// The longest leading decimal number (optional sign, digits with an optional point, an
// optional exponent that has digits), or 0 when there is none or it is too large for a double.
double ParseDecimal(std::string_view text);

}  // namespace velmo::sys
