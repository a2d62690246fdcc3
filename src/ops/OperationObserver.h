#pragma once

#include <cstddef>
#include <cstdint>

namespace velmo {

// The long steps of a session with the chip, each over many bytes.
enum class Step : std::uint8_t {
    Erase,    // Chip Erase (one instruction, but it takes its time)
    Write,    // writing the image (every byte, or those that are not 0xFF)
    Compare,  // reading every cell and writing those that differ
    Reread,   // reading the cells written by Compare once more
    Read,     // reading all 12288 cells
    Verify,   // reading all 12288 cells to compare them with the image
};

enum class StepOutcome : std::uint8_t {
    Ok,
    DriverFailed,  // the port's driver did not start
    BoardFailed,   // Board mode: the board did not answer on READY
    WriteFailed,   // a cell did not take its byte within the polling
    Stopped,       // the front end asked to stop; the step ended before a byte
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

// What a running step tells its front end and asks of it. All calls come from the thread
// that runs the step; the defaults do nothing and never stop.
class OperationObserver {
  public:
    virtual ~OperationObserver() = default;

    // A step begins; total: how many bytes it will go through.
    virtual void StepBegins(Step, std::size_t /*total*/) {}
    // The work on one address is done; done counts the step's bytes so far.
    virtual void ByteDone(std::uint32_t /*address*/, std::size_t /*done*/) {}
    virtual void StepEnds(Step, const StepResult&) {}
    // Before each byte, and between the read-back polls of a slow write: the front end deals
    // with what is waiting (a window's Abort button, its close box).
    virtual void Pump() {}
    // Asked before each byte, after Pump; true ends the step there.
    virtual bool StopRequested() { return false; }
};

}  // namespace velmo
