#include "sim/SimModels.h"

namespace velmo {

namespace {

// Write and erase times: the AT89S53's as the simulator has always had them (a normal write
// passes the window's first read-back after 1 ms); the others' the longest their data sheets
// give, so that the figures on the simulator are what a slow chip costs.
constexpr SimModel kModels[] = {
    {SimModelKind::At89s53,
     "AT89S53",
     "at89s53",
     12288,
     0,
     false,
     false,
     20.0,
     0,
     0,
     0,
     true,
     false,
     {},
     0,
     500,
     16000},
    {SimModelKind::At89s8252,
     "AT89S8252",
     "at89s8252",
     8192,
     2048,
     false,
     false,
     20.0,
     0,
     0,
     0,
     true,
     false,
     {},
     0,
     500,
     16000},
    {SimModelKind::At89s51,
     "AT89S51",
     "at89s51",
     4096,
     0,
     true,
     false,
     8.0,
     2,
     256,
     0,
     false,
     true,
     {0x1E, 0x51, 0x06},
     3,
     400,
     500000},
    {SimModelKind::At89s52,
     "AT89S52",
     "at89s52",
     8192,
     0,
     true,
     false,
     8.0,
     2,
     256,
     0,
     false,
     true,
     {0x1E, 0x52, 0x06},
     3,
     400,
     500000},
    {SimModelKind::At89s8253,
     "AT89S8253",
     "at89s8253",
     12288,
     2048,
     true,
     true,
     8.0,
     3,
     64,
     32,
     false,
     false,
     {0x1E, 0x73, 0x00},
     2,
     4500,
     9000},
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
