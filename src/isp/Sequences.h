#pragma once

#include <cstdint>
#include <span>

#include "isp/Settings.h"
#include "port/Cable.h"

namespace velmo {

// One step of a line sequence: an output line goes to level, then the sequence waits
// afterUs. A step on an input line reads it instead, and the sequence fails when the line is
// not at level (the board's READY answer).
struct LineStep {
    IspLine line;
    bool level;
    std::uint32_t afterUs;
};

// The sequences that frame every operation, as data of the mode. Any mode other than Raw gets
// the Board sequences: they are the ones that check the target's answer, so an unexpected
// value cannot make a missing board look fine.
std::span<const LineStep> StartSequence(ProgrammerMode mode);
std::span<const LineStep> EndSequence(ProgrammerMode mode);
// RST low, then high again: the chip's serial interface starts afresh and waits for a new
// Programming Enable, whatever part of an instruction it had taken.
std::span<const LineStep> SerialRestart();
// The lines as an interactive start leaves them: interface off, target out of reset.
std::span<const LineStep> IdleSequence();

}  // namespace velmo
