// Feeds arbitrary text to the command-line parser and checks what it promises for any line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cmdline/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const velmo::CommandLineSettings settings = velmo::ParseCommandLine(line);
    if (!settings.batch.active) std::abort();
    if (settings.batch.action.size() > 1) std::abort();
    if (settings.portIndex < 1 || settings.portIndex > 3) std::abort();
    if (settings.clockRate == 0.0) std::abort();  // 0 always means 24 MHz
    if (settings.mode != velmo::ProgrammerMode::Raw &&
        settings.mode != velmo::ProgrammerMode::Board) {
        std::abort();
    }
    const std::uint32_t delay = velmo::BitDelayForClockRate(settings.clockRate);
    if (delay == 0 || delay > 1000000) std::abort();
    return 0;
}
