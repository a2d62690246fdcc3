#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmo {

// The long steps of a session with the chip, each over many bytes.
enum class Step : std::uint8_t {
    Erase,    // Chip Erase (one instruction, but it takes its time)
    Write,    // writing the image (every byte, or those that are not 0xFF)
    Compare,  // reading every cell and writing those that differ
    Reread,   // reading the cells written by Compare once more
    Read,     // reading every cell
    Verify,   // reading every cell to compare it with the image
};

enum class StepOutcome : std::uint8_t {
    Ok,
    DriverFailed,  // the port's driver did not start
    BoardFailed,   // Board mode: the board did not answer on READY
    WriteFailed,   // a cell did not take its byte within the polling (in every socket left)
    Stopped,       // the front end asked to stop; the step ended before a byte
    NoChip,        // no socket is left to work on
    LinkLost,      // the link failed during the step (an adapter unplugged); it says why
};

// What a step came to. For WriteFailed: the address, the byte that did not take and what the
// cell answered last. For Stopped: the address the step had reached (kNoAddress when the stop
// came outside a byte loop).
struct StepResult {
    static constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;

    StepOutcome outcome = StepOutcome::Ok;
    std::uint32_t address = kNoAddress;
    std::uint8_t wanted = 0;
    std::uint8_t readBack = 0;
    std::size_t written = 0;  // bytes the step wrote
    bool ok() const { return outcome == StepOutcome::Ok; }
};

// Why a socket of a gang dropped out; the others go on without it.
enum class SocketFault : std::uint8_t {
    None,
    NoChip,       // after the erase it answered 0x00 where an erased chip answers 0xFF
    NotErased,    // after the erase a cell still held something else than 0xFF
    WriteFailed,  // a cell did not take its byte
    Mismatch,     // the read-back differed from the image
    WrongChip,    // it is not the chip the run works with (signature in SocketResult)
    LockFailed,   // its lock bits did not read back as written
};

struct SocketResult {
    SocketFault fault = SocketFault::None;
    std::uint32_t address = 0;  // the first address concerned
    std::uint8_t wanted = 0;    // the byte written or expected there
    std::uint8_t readBack = 0;  // what the socket answered
    std::size_t differing = 0;  // Mismatch: how many bytes differ
    // WrongChip: what the socket answered to the signature reads. LockFailed: wanted and
    // readBack hold Lock-Bit 1..3 in bits 0..2.
    std::array<std::uint8_t, 3> signature{};
    std::uint8_t signatureBytes = 0;  // how many of them were read
    bool ok() const { return fault == SocketFault::None; }
};

// What the window's operations report as they go, in the words of the operation; the front
// end chooses the texts and what to show for each.
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

// The one way a running operation talks to its front end: what it reports, and what it asks.
// Every call comes from the thread that runs the operation; the defaults do nothing and never
// stop. A front end takes what it shows: the window the statuses, notices and progress
// positions, velmo-cli the steps, bytes and sockets.
class OperationObserver {
  public:
    virtual ~OperationObserver() = default;

    // --- the window's operations ---
    virtual void Status(ProgrammerStatus) {}
    // Returns once the user has confirmed it.
    virtual void Notice(ProgrammerNotice) {}
    virtual void Phase(OperationPhase) {}
    // A byte loop over total bytes is about to start.
    virtual void ProgressRange(std::size_t /*total*/) {}
    // The loop has reached address; reported at the start and then every few hundred bytes,
    // so that showing it costs nothing next to the bytes themselves.
    virtual void ProgressAt(std::uint32_t /*address*/) {}

    // --- the steps ---
    // A step begins; total: how many bytes it will go through.
    virtual void StepBegins(Step, std::size_t /*total*/) {}
    // The work on one address is done; done counts the step's bytes so far.
    virtual void ByteDone(std::uint32_t /*address*/, std::size_t /*done*/) {}
    virtual void StepEnds(Step, const StepResult&) {}
    // A socket has dropped out (socket counted from 0); the others go on.
    virtual void SocketFailed(unsigned /*socket*/, const SocketResult&) {}

    // --- asked of the front end ---
    // Before each byte, and between the read-back polls of a slow write: the front end deals
    // with what is waiting (a window's Abort button, its close box).
    virtual void Pump() {}
    // Asked before each byte and between the polls, after Pump; true ends the step there.
    virtual bool StopRequested() { return false; }
};

}  // namespace velmo
