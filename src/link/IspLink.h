#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "isp/Instruction.h"
#include "isp/Sequences.h"

namespace velmo {

// The most sockets one link serves: every socket shares MOSI, SCK and RST and answers on a
// MISO line of its own.
inline constexpr unsigned kMaxSockets = 8;

// What one instruction brought back: the byte each socket answered, in socket order (0 for
// every socket when the instruction reads nothing, and beyond the link's sockets).
using SocketBytes = std::array<std::uint8_t, kMaxSockets>;

// The way to the chips, one instruction or one short batch at a time. The operations hand it
// whole instructions with their waits and get back every socket's answer; how the bits get
// onto the lines (a register port bit by bit, a USB adapter a batch per transfer) is the
// link's. A link reports no error from Transfer: one that notices a failure stops its driver
// and says why in DriverMessage.
class IspLink {
  public:
    virtual ~IspLink() = default;

    virtual void StartDriver() = 0;
    virtual void StopDriver() = 0;
    virtual bool DriverActive() const = 0;
    // German text for the user; after a failed start it says what to do.
    virtual std::string DriverMessage() const = 0;
    // After a failed start: the call asked for what cannot be (no adapter named among several,
    // pins the adapter does not have), rather than the hardware failing.
    virtual bool RefusedCall() const { return false; }

    // How many sockets answer, each on its own MISO line.
    virtual unsigned Sockets() const = 0;

    // Runs a line sequence with its waits. False when an input step found its line at the
    // other level (the board did not answer); true otherwise.
    virtual bool RunSequence(std::span<const LineStep> steps) = 0;

    // Sends the instructions one after the other, each with its waits, and appends one entry
    // per instruction to answers.
    virtual void Transfer(std::span<const Instruction> batch,
                          std::vector<SocketBytes>& answers) = 0;

    // How many reads one Transfer should carry (the polls of a write, a run of reads): 1 where
    // a transfer costs no more than its bits, more where each one has a fixed cost of its own
    // (a USB round trip): as many as the adapter holds.
    virtual unsigned PollsPerTransfer() const { return 1; }

    // The port address, where the link has one (a parallel port's base); others ignore it.
    virtual void SetBaseAddress(std::uint16_t) {}
    virtual std::uint16_t BaseAddress() const { return 0; }

    // One instruction, for the callers that send them singly.
    virtual SocketBytes Send(const Instruction& instruction) {
        std::vector<SocketBytes> answers;
        Transfer(std::span<const Instruction>(&instruction, 1), answers);
        return answers.empty() ? SocketBytes{} : answers.front();
    }
};

}  // namespace velmo
