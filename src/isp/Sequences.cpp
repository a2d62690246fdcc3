#include "isp/Sequences.h"

#include <array>

namespace velmo {

namespace {

// Two short reset pulses for the plain cable; the chip runs its serial interface once RST
// has been high for a while.
constexpr std::array<LineStep, 5> kRawStart = {{
    {IspLine::Enable, true, 0},
    {IspLine::Rst, false, 1000},
    {IspLine::Rst, true, 1000},
    {IspLine::Rst, false, 1000},
    {IspLine::Rst, true, 100000},
}};

// The board wants a long high, a short low pulse and another long high before it answers.
constexpr std::array<LineStep, 6> kBoardStart = {{
    {IspLine::Enable, true, 0},
    {IspLine::Rst, false, 1000},
    {IspLine::Rst, true, 300000},
    {IspLine::Rst, false, 100},
    {IspLine::Rst, true, 300000},
    {IspLine::Ready, true, 0},
}};

// The plain cable keeps its interface enabled.
constexpr std::array<LineStep, 1> kRawEnd = {{{IspLine::Rst, false, 0}}};

constexpr std::array<LineStep, 2> kBoardEnd = {{
    {IspLine::Enable, false, 0},
    {IspLine::Rst, false, 1000},
}};

// Long enough low for a reset the chip sees, long enough high before its first clock.
constexpr std::array<LineStep, 2> kSerialRestart = {{
    {IspLine::Rst, false, 1000},
    {IspLine::Rst, true, 10000},
}};

constexpr std::array<LineStep, 2> kIdle = {{
    {IspLine::Enable, false, 0},
    {IspLine::Rst, false, 0},
}};

}  // namespace

std::span<const LineStep> StartSequence(ProgrammerMode mode) {
    if (mode == ProgrammerMode::Raw) return kRawStart;
    return kBoardStart;
}

std::span<const LineStep> EndSequence(ProgrammerMode mode) {
    if (mode == ProgrammerMode::Raw) return kRawEnd;
    return kBoardEnd;
}

std::span<const LineStep> SerialRestart() {
    return kSerialRestart;
}

std::span<const LineStep> IdleSequence() {
    return kIdle;
}

}  // namespace velmo
