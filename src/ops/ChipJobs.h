#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/FlashImage.h"
#include "ops/ChipSession.h"

namespace velmo {

// How a program run gets the image into the chips; every way ends in a byte-exact
// verification.
// The data EEPROM is never erased with the flash: its cells erase themselves, so there
// SkipBlank writes the cells that differ (as ChangedOnly; every page where it has pages), and
// All writes every cell.
enum class ProgramStrategy : std::uint8_t {
    SkipBlank,    // erase, write only the bytes that are not 0xFF (an erased cell holds 0xFF)
    All,          // erase, write every byte of the memory
    ChangedOnly,  // no erase: read every cell, write only those that differ in any socket;
                  // only where the chip erases a written cell by itself
};

struct ProgramResult {
    StepResult step;          // not ok: the run ended in that step
    std::size_t written = 0;  // bytes written
};

// The jobs of a whole run on an opened session, for a front end that works with every socket
// at once (velmo-cli): what each socket came to is the session's Socket(k); seen and out get
// one image per socket.

// Chip Erase, then the check that every socket holds an erased chip.
StepResult EraseChips(ChipSession& session);
// The image into every socket by the strategy, then every cell read back and compared.
ProgramResult ProgramChips(ChipSession& session, const FlashImage& image, ProgramStrategy strategy,
                           std::vector<FlashImage>& seen);
// Every cell read and compared with the image.
StepResult VerifyChips(ChipSession& session, const FlashImage& image,
                       std::vector<FlashImage>& seen);
StepResult ReadChips(ChipSession& session, std::vector<FlashImage>& out);
// Writes the lock bits; where the chip reads them back, a socket that does not show every
// bit asked for is dropped (LockFailed).
StepResult LockChips(ChipSession& session, const LockBitChoice& bits);

}  // namespace velmo
