#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmo {

// The chips the simulator can stand for. The simulator keeps its own knowledge of them, from
// their data sheets, so that it checks the programmer instead of repeating it.
enum class SimModelKind : std::uint8_t { At89s53, At89s8252, At89s51, At89s52, At89s8253 };

struct SimModel {
    SimModelKind kind;
    const char* name;  // "AT89S52"
    const char* key;   // "at89s52", as VELMO_SIM_OPTIONS model= names it
    std::uint32_t flashSize;
    std::uint32_t eepromSize;
    bool fourBytes;  // instructions of four bytes (otherwise three)
    // SPI mode 1: MOSI taken on the falling edge of SCK, MISO changed after the rising one.
    bool mode1;
    // Each SCK phase must last this many crystal periods (20: SCK below XTAL/40; 8: XTAL/16).
    double minPhaseClocks;
    // A page instruction's bytes before its data (0: no page instructions), and page sizes.
    std::uint8_t pageHeader;
    std::uint32_t flashPage;
    std::uint32_t eepromPage;
    // A flash write erases its cell first; otherwise programming only clears bits.
    bool flashErasesItself;
    bool answersEnable;  // Programming Enable answers 0x69 in its fourth byte
    std::array<std::uint8_t, 3> signature;
    std::uint8_t signatureBytes;
    std::uint32_t writeTimeUs;  // a byte or page write, and its erase, when not set otherwise
    std::uint32_t eraseTimeUs;
};

const SimModel& SimModelOf(SimModelKind kind);
std::optional<SimModelKind> SimModelByKey(std::string_view key);

}  // namespace velmo
