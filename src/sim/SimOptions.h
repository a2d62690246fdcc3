#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimModels.h"

namespace velmo {

// How the simulated chips and board behave. From VELMO_SIM_OPTIONS, a comma-separated list
// of key=value: board=present|absent, chip=present|absent, xtal=MHz, writetime=us (or
// writetime=never: every byte write stays busy), erasetime=us, stuck=ADDR:VALUE
// (hexadecimal, may repeat), clock=real|virtual, lockwait=seconds (how long a run waits for
// another one on the same chip file), model=at89s53|at89s8252|at89s51|at89s52|at89s8253 (the
// chip; its own write and erase times unless writetime or erasetime say otherwise). Keys and
// words are case-insensitive. The chip's own keys (chip, model, xtal, writetime, erasetime,
// stuck) apply to every socket of a gang fixture, or as KEY@K=VALUE to socket K (1 to 8)
// alone, after the ones for all.
// The write time stays below the 1 ms the programmer waits before its read-back, so a
// normal write passes the first read-back (the chip's own cycle is about 0.4 to 2.5 ms;
// writetime=1500 makes the programmer poll); the erase time stays below the 100 ms wait
// after Chip Erase.
struct SimOptions {
    bool boardPresent = true;
    bool chipPresent = true;
    double xtalMHz = 24.0;
    std::uint32_t writeTimeUs = 500;                   // self-timed byte write
    std::uint32_t eraseTimeUs = 16000;                 // Chip Erase
    std::map<std::uint16_t, std::uint8_t> stuckCells;  // cell reads this value whatever is written
    bool virtualClock = false;
    bool writeNeverCompletes = false;  // every byte write stays busy forever
    SimModelKind model = SimModelKind::At89s53;
    // writetime or erasetime was given: a model named later keeps it.
    bool writeTimeGiven = false;
    bool eraseTimeGiven = false;
    // VELMO_SIM_CHIP: flash kept in this file when set; with several sockets "{n}" in it
    // stands for the socket's number.
    std::string chipFile;
    unsigned lockWaitSeconds = 30;  // real time a run waits for another run's chip file
    // How many chips sit in the fixture, each answering on its own MISO line.
    unsigned sockets = 1;
    // Where the simulator says that it waits for another run; unset: a line on standard error.
    std::function<void(const std::string&)> notice;

    // key@K=value items, by socket (from 0), as written; checked when parsed.
    std::map<unsigned, std::vector<std::pair<std::string, std::string>>> socketItems;
    // The options of one socket: these with that socket's own items applied.
    SimOptions ForSocket(unsigned socket) const;
};

// The most sockets a simulated fixture holds.
inline constexpr unsigned kMaxSimSockets = 8;

// nullopt with a German message naming the bad option.
std::optional<SimOptions> ParseSimOptions(const std::string& text, std::string* error);

}  // namespace velmo
