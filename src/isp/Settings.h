#pragma once

#include <cstdint>

namespace velmo {

// Raw: a plain cable. Board: the Velmo board, which must answer on READY.
enum class ProgrammerMode : std::uint8_t { Raw = 1, Board = 2 };

// Half-period of the bit clock for flash reads and writes: trunc(40 / MHz + 1) microseconds.
// A rate that is not a positive finite number (or one so small that the delay would
// stall the program) gets the half-period of 24 MHz instead.
std::uint32_t BitDelayForClockRate(double mhz);

}  // namespace velmo
