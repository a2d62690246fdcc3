#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "isp/Settings.h"
#include "port/PortIo.h"

namespace velmo {

// What only the command line fills.
struct BatchJob {
    std::string filePath;  // empty: nothing to do
    std::string action;    // "1": program the file
    bool active = false;   // started with a non-empty command line
};

// Everything a command line sets. Switches are found as the first occurrence of their two
// characters anywhere in the line; an absent switch keeps its default.
struct CommandLineSettings {
    BatchJob batch;  // active is always true after parsing
    ProgrammerMode mode = ProgrammerMode::Board;
    std::uint8_t portIndex = 1;  // 1, 2, 3: LPT1, LPT2, LPT3 (1 for other addresses)
    std::uint16_t portAddress = LPT1_ADDRESS;
    double clockRate = 24.0;  // MHz
};

CommandLineSettings ParseCommandLine(const std::string& text);

// On Linux the command line is the program's arguments joined by single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// On Windows a program gets its command line as one string, its own name first: the text
// after that name (quoted, or up to the first blank) and the blanks behind it.
std::string TextAfterProgramName(std::string_view commandLine);

}  // namespace velmo
