// Feeds arbitrary text to the command-line parser and checks what it promises for any line.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cmdline/CommandLine.h"

namespace {

// Any clock text gives a rate the bit timing can use: finite, above 0, a delay of at least 1.
void CheckClockRate(double rate) {
    if (!std::isfinite(rate) || rate <= 0.0) std::abort();
    if (velmo::BitDelayForClockRate(rate) < 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    // The same bytes once more as a -t value, so that every input reaches the number reader.
    CheckClockRate(velmo::ParseCommandLine("-t" + line + " -f").clockRate);
    const velmo::CommandLineSettings settings = velmo::ParseCommandLine(line);
    CheckClockRate(settings.clockRate);
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
