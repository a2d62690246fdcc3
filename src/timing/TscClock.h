#pragma once

// The parts of the real clock that can be checked without a stopwatch: which time source it
// runs on, and the fixed-point arithmetic that turns processor time-stamp counter ticks into
// nanoseconds and microsecond delays into ticks.

#include <cstdint>
#include <memory>
#include <string_view>

#include "timing/Clock.h"

namespace velmo {

enum class RealClockKind : std::uint8_t {
    Monotonic,  // std::chrono::steady_clock
    Tsc,        // the x86 time-stamp counter, calibrated once against the monotonic clock
};

// The counter is used only where it runs at one rate in every power state (constant_tsc and
// nonstop_tsc among the first "flags" line of cpuinfo). VELMO_CLOCK=monotonic (clockEnv) keeps
// the monotonic clock anyway; any other value leaves the choice to the processor flags.
RealClockKind ChooseRealClockKind(std::string_view cpuinfo, const char* clockEnv);

// ns = baseNs + (ticks - baseTicks) * nsPerTick / 2^32, rounding towards the past.
struct TickScale {
    std::uint64_t baseTicks = 0;
    std::int64_t baseNs = 0;
    std::uint64_t nsPerTick = 0;   // times 2^32, rounded down
    std::uint64_t ticksPerNs = 0;  // times 2^32, rounded up: at least 2^64 / nsPerTick
};

// From an interval of `ticks` that lasted at least `ns`: the resulting clock runs no faster
// than time does, so a delay counted on it is never short. Needs ticks > 0 and ns > 0, and
// the counter at 0.01 to 100 ticks per nanosecond; otherwise nsPerTick is 0.
TickScale MakeTickScale(std::uint64_t ticks, std::int64_t ns, std::uint64_t baseTicks,
                        std::int64_t baseNs);

inline std::int64_t TicksToNs(const TickScale& scale, std::uint64_t ticks) {
    // Signed, so that a reading a few ticks before the base (another core) stays near it.
    const auto delta = static_cast<std::int64_t>(ticks - scale.baseTicks);
    __extension__ using Wide = __int128;
    return scale.baseNs +
           static_cast<std::int64_t>((Wide{delta} * static_cast<Wide>(scale.nsPerTick)) >> 32);
}

// The number of ticks after which TicksToNs has advanced by more than the given microseconds,
// from whichever tick it starts; at most two ticks more than that needs.
inline std::uint64_t DelayTicks(const TickScale& scale, std::uint32_t microseconds) {
    __extension__ using UWide = unsigned __int128;
    const UWide ns = UWide{microseconds} * 1000 + 1;
    return static_cast<std::uint64_t>((ns * scale.ticksPerNs + 0xFFFFFFFFu) >> 32);
}

// The real clock on the given source; Tsc falls back to Monotonic where the counter cannot be
// used (not x86-64 Linux, or its calibration failed).
std::unique_ptr<Clock> MakeRealClock(RealClockKind kind);

// Busy-waits on the time-stamp counter, calibrated once per process (about 5 ms, asleep);
// null where there is no such counter or its calibration failed.
std::unique_ptr<Clock> MakeTscClock();

}  // namespace velmo
