#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "isp/Chips.h"
#include "ops/ChipSession.h"

namespace velmo {

// Which chip sits in the sockets, for a front end that is told a chip or finds it itself.
struct Identification {
    StepResult step;           // NoChip: every socket was dropped
    bool bySignature = false;  // the chip said what it is (otherwise named, or assumed)
    // Auto: a chip answered Programming Enable like an AT89S51/52, but no signature could be
    // read (lock bits set); nothing is assumed then.
    bool signatureHidden = false;
    std::array<std::uint8_t, 3> signature{};  // as the first socket that gave one read it
};

// The chip to open the session with: the one named, or the first one auto tries.
const ChipDescription& ChipToOpenWith(std::optional<ChipKind> named);

// Right after Open with ChipToOpenWith(named). Auto (named empty) tries the four-byte chips
// first, the AT89S51/52 (Programming Enable answered with 0x69 and a signature 1E 51/52 06)
// and the AT89S8253 (in SPI mode 1, signature 1E 73), restarting the chip's serial interface
// between tries so that a three-byte chip never keeps half an instruction, and falls back to
// the AT89S53, which an AT89S8252 cannot be told from. A named chip with a signature is
// checked against it. A socket that answers as another chip is dropped (WrongChip), one that
// answers nothing but 0x00 (its MISO pulled low) as empty (NoChip). The session then works
// with the chip found, Programming Enable sent.
Identification IdentifyChips(ChipSession& session, std::optional<ChipKind> named);

// The chip of the family whose signature this is; nullopt for any other bytes.
std::optional<ChipKind> ChipBySignature(const std::array<std::uint8_t, 3>& signature);

}  // namespace velmo
