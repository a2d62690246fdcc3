#pragma once

#include <cstdint>
#include <string>

namespace velmo {

// Raw: a plain cable. Board: the Velmo board, which must answer on READY.
enum class ProgrammerMode : std::uint8_t { Raw = 1, Board = 2 };

// What only the command line fills.
struct BatchJob {
    std::string filePath;  // empty: nothing to do
    std::string action;    // "1": program the file
    bool active = false;   // started with a non-empty command line
};

inline constexpr std::uint16_t LPT1_ADDRESS = 0x378;
inline constexpr std::uint16_t LPT2_ADDRESS = 0x278;
inline constexpr std::uint16_t LPT3_ADDRESS = 0x3BC;

// Half-period of the bit clock for flash reads and writes: trunc(40 / MHz + 1) microseconds.
// A rate that is not a positive finite number (or one so small that the delay would
// stall the program) gets the half-period of 24 MHz instead.
std::uint32_t BitDelayForClockRate(double mhz);

}  // namespace velmo
