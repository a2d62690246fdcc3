#include "sim/SimModels.h"

namespace velmo {

namespace {

// Write and erase times: the AT89S53's as the simulator has always had them (a normal write
// passes the window's first read-back after 1 ms); the others' the longest their data sheets
// give, so that the figures on the simulator are what a slow chip costs.
constexpr SimModel kModels[] = {
    {.kind = SimModelKind::At89s53,
     .name = "AT89S53",
     .key = "at89s53",
     .flashSize = 12288,
     .eepromSize = 0,
     .fourBytes = false,
     .mode1 = false,
     .minPhaseClocks = 20.0,
     .pageHeader = 0,
     .flashPage = 0,
     .eepromPage = 0,
     .flashErasesItself = true,
     .answersEnable = false,
     .signature = {},
     .signatureBytes = 0,
     .writeTimeUs = 500,
     .eraseTimeUs = 16000},
    {.kind = SimModelKind::At89s8252,
     .name = "AT89S8252",
     .key = "at89s8252",
     .flashSize = 8192,
     .eepromSize = 2048,
     .fourBytes = false,
     .mode1 = false,
     .minPhaseClocks = 20.0,
     .pageHeader = 0,
     .flashPage = 0,
     .eepromPage = 0,
     .flashErasesItself = true,
     .answersEnable = false,
     .signature = {},
     .signatureBytes = 0,
     .writeTimeUs = 500,
     .eraseTimeUs = 16000},
    {.kind = SimModelKind::At89s51,
     .name = "AT89S51",
     .key = "at89s51",
     .flashSize = 4096,
     .eepromSize = 0,
     .fourBytes = true,
     .mode1 = false,
     .minPhaseClocks = 8.0,
     .pageHeader = 2,
     .flashPage = 256,
     .eepromPage = 0,
     .flashErasesItself = false,
     .answersEnable = true,
     .signature = {0x1E, 0x51, 0x06},
     .signatureBytes = 3,
     .writeTimeUs = 400,
     .eraseTimeUs = 500000},
    {.kind = SimModelKind::At89s52,
     .name = "AT89S52",
     .key = "at89s52",
     .flashSize = 8192,
     .eepromSize = 0,
     .fourBytes = true,
     .mode1 = false,
     .minPhaseClocks = 8.0,
     .pageHeader = 2,
     .flashPage = 256,
     .eepromPage = 0,
     .flashErasesItself = false,
     .answersEnable = true,
     .signature = {0x1E, 0x52, 0x06},
     .signatureBytes = 3,
     .writeTimeUs = 400,
     .eraseTimeUs = 500000},
    {.kind = SimModelKind::At89s8253,
     .name = "AT89S8253",
     .key = "at89s8253",
     .flashSize = 12288,
     .eepromSize = 2048,
     .fourBytes = true,
     .mode1 = true,
     .minPhaseClocks = 8.0,
     .pageHeader = 3,
     .flashPage = 64,
     .eepromPage = 32,
     .flashErasesItself = false,
     .answersEnable = false,
     .signature = {0x1E, 0x73, 0x00},
     .signatureBytes = 2,
     .writeTimeUs = 4500,
     .eraseTimeUs = 9000},
};

}  // namespace

const SimModel& SimModelOf(SimModelKind kind) {
    for (const SimModel& model : kModels) {
        if (model.kind == kind) return model;
    }
    return kModels[0];
}

std::optional<SimModelKind> SimModelByKey(std::string_view key) {
    for (const SimModel& model : kModels) {
        if (key == model.key) return model.kind;
    }
    return std::nullopt;
}

}  // namespace velmo
