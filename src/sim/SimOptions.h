#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace velmo {

// How the simulated chip and board behave. From VELMO_SIM_OPTIONS, a comma-separated list
// of key=value: board=present|absent, chip=present|absent, xtal=MHz, writetime=us,
// erasetime=us, stuck=ADDR:VALUE (hexadecimal, may repeat), clock=real|virtual.
struct SimOptions {
    bool boardPresent = true;
    bool chipPresent = true;
    double xtalMHz = 24.0;
    std::uint32_t writeTimeUs = 500;                   // self-timed byte write
    std::uint32_t eraseTimeUs = 16000;                 // Chip Erase
    std::map<std::uint16_t, std::uint8_t> stuckCells;  // cell reads this value whatever is written
    bool virtualClock = false;
    bool writeNeverCompletes = false;  // every byte write stays busy forever
    std::string chipFile;              // VELMO_SIM_CHIP: flash kept in this file when set
};

// nullopt with a German message naming the bad option.
std::optional<SimOptions> ParseSimOptions(const std::string& text, std::string* error);

}  // namespace velmo
