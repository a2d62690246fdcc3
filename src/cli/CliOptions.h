#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "isp/Chips.h"
#include "isp/Settings.h"
#include "ops/ChipJobs.h"
#include "port/PortIo.h"

namespace velmo::cli {

enum class Command { None, Info, Erase, Program, Verify, Read, Lock };

// What --port asked for: nothing (VELMO_PORT decides), a parallel port at an address, the
// GPIO lines, or an FTDI USB adapter.
enum class PortChoice { Environment, Parallel, Gpio, Ftdi };

// Exit statuses of the program, also returned by RunCli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;        // device, verification or output file
inline constexpr int kExitUsage = 2;          // the call itself or its input file is unusable
inline constexpr int kExitInterrupted = 130;  // SIGINT, after the lines were released

struct CliOptions {
    Command command = Command::None;
    std::string file;  // the input of info/program/verify, the output of read
    ProgramStrategy strategy = ProgramStrategy::SkipBlank;
    std::array<bool, 3> lockBits{};  // Lock-Bit 1, 2, 3 to be programmed
    std::uint16_t port = LPT1_ADDRESS;
    PortChoice portChoice = PortChoice::Environment;
    std::string adapterSerial;  // --port ftdi:SERIAL, empty for any
    ProgrammerMode mode = ProgrammerMode::Board;
    double clockMHz = 24.0;
    std::string trace;                      // empty: VELMO_TRACE decides
    unsigned sockets = 1;                   // chips in a gang fixture, 1 to 8
    std::optional<ChipKind> chip;           // --chip; empty: auto, found at the start
    ChipMemory memory = ChipMemory::Flash;  // --memory: what program, verify and read touch
    std::string report;    // --report: the per-socket results as JSON, empty for none
    bool help = false;     // --help: general help, or the command's own with a command
    bool version = false;  // --version
};

struct ParseResult {
    bool ok = false;
    CliOptions options;
    std::string error;  // one German line when !ok
};

// Options may stand before or after the command and its argument; "--" ends the options.
// Both "--port 278" and "--port=278" are accepted. The last of a repeated option counts.
ParseResult ParseArguments(const std::vector<std::string>& args);

// Texts for --help and <command> --help.
std::string GeneralHelp();
std::string CommandHelp(Command command);
std::string VersionText();

// The name a user types for the command ("program"), for messages.
const char* CommandName(Command command);

// Why the call cannot run on this chip (no EEPROM, --changed-only where the chip must be
// erased first), in German; empty when it can. Checked at once for a named chip, after the
// start for one that auto found.
std::string ChipRefusal(const CliOptions& options, const ChipDescription& chip);

}  // namespace velmo::cli
