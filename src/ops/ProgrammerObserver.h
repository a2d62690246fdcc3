#pragma once

#include <cstddef>
#include <cstdint>

#include "ops/OperationObserver.h"

namespace velmo {

// What an operation of the programmer reports as it goes, in the words of the operation; the
// front end chooses the texts and what to show for each.
enum class ProgrammerStatus : std::uint8_t {
    BoardFailed,  // the board did not answer after the start sequence
    Aborted,      // a byte loop stopped at the user's request
    Erasing,
    Erased,
    Programming,
    Programmed,
    ProgramFailed,  // a byte did not take
    Verifying,
    Verified,
    Reading,
    ReadDone,  // the read-back image and its CRC are in place
    WritingLockBits,
    LockBitsWritten,
};

// What the user must confirm before the operation goes on.
enum class ProgrammerNotice : std::uint8_t {
    BoardFailed,
    NoImage,  // Program or Verify without a usable image
    ProgramFailed,
    ImagesMatch,  // Verify: chip and loaded image agree
    ImagesDiffer,
};

// Which commands may come in while an operation runs. Program, Verify and Lock bits run
// exclusively: only a stop request may reach them. Read shares the time: settings changed
// meanwhile apply from its next byte.
enum class OperationPhase : std::uint8_t { Exclusive, Shared, Finished, SharedFinished };

// The programmer's front end. Every call comes from the thread that runs the operation.
class ProgrammerObserver {
  public:
    virtual ~ProgrammerObserver() = default;

    virtual void Status(ProgrammerStatus) {}
    // Returns once the user has confirmed it.
    virtual void Notice(ProgrammerNotice) {}
    virtual void Phase(OperationPhase) {}
    // A byte loop over total bytes is about to start.
    virtual void ProgressRange(std::size_t /*total*/) {}
    // The loop has reached address; reported at the start and then every few hundred bytes,
    // so that showing it costs nothing next to the bytes themselves.
    virtual void ProgressAt(std::uint32_t /*address*/) {}
    // Once per byte and between the polls of a slow write: whatever is waiting may run now,
    // a stop request among it.
    virtual void Pump() {}
};

}  // namespace velmo
