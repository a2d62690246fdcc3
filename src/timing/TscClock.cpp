#include "timing/TscClock.h"

#include <chrono>
#include <optional>
#include <thread>

#include "sys/Time.h"

#if defined(__x86_64__) && defined(__linux__)
#include <x86intrin.h>
#define VELMO_HAVE_TSC 1
#else
#define VELMO_HAVE_TSC 0
#endif

namespace velmo {

namespace {

bool HasWord(std::string_view text, std::string_view word) {
    std::size_t pos = 0;
    while ((pos = text.find(word, pos)) != std::string_view::npos) {
        const bool startsWord = pos == 0 || text[pos - 1] == ' ' || text[pos - 1] == '\t';
        const std::size_t end = pos + word.size();
        const bool endsWord = end == text.size() || text[end] == ' ' || text[end] == '\t';
        if (startsWord && endsWord) {
            return true;
        }
        pos = end;
    }
    return false;
}

// The value part of the first "flags" line; empty if there is none.
std::string_view FirstFlagsLine(std::string_view cpuinfo) {
    std::size_t lineStart = 0;
    while (lineStart < cpuinfo.size()) {
        std::size_t lineEnd = cpuinfo.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = cpuinfo.size();
        }
        const std::string_view line = cpuinfo.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            std::string_view key = line.substr(0, colon);
            while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) {
                key.remove_suffix(1);
            }
            if (key == "flags") {
                return line.substr(colon + 1);
            }
        }
        lineStart = lineEnd + 1;
    }
    return {};
}

#if VELMO_HAVE_TSC

// The fence keeps the counter from being read before the instructions in front of it have
// finished, e.g. before the port write that a delay is timed from; the same as the kernel's
// own ordered read.
inline std::uint64_t OrderedTicks() {
    _mm_lfence();
    return __rdtsc();
}

struct Stamp {
    std::uint64_t before;
    std::uint64_t after;
    std::int64_t ns;
};

// The monotonic clock read between two counter readings, the closest pair of a few tries: a
// pair far apart (an interrupt between them) would blur the calibration.
Stamp TightStamp() {
    Stamp best{0, ~std::uint64_t{0}, 0};
    for (int i = 0; i < 7; ++i) {
        Stamp s{};
        s.before = OrderedTicks();
        s.ns = sys::MonotonicNs();
        s.after = OrderedTicks();
        if (s.after - s.before < best.after - best.before) {
            best = s;
        }
    }
    return best;
}

// Once per process, about 5 ms, most of it asleep. The counter interval is measured from the
// first stamp's earliest to the second one's latest reading, so it holds at least the ticks of
// the monotonic interval: the rate comes out at most as fast as the true one.
std::optional<TickScale> Calibrate() {
    const Stamp first = TightStamp();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const Stamp second = TightStamp();
    const std::uint64_t ticks = second.after - first.before;
    const std::int64_t ns = second.ns - first.ns;
    if (second.after <= first.before || ns < 1'000'000) {
        return std::nullopt;
    }
    const TickScale scale = MakeTickScale(ticks, ns, second.after, second.ns);
    if (scale.nsPerTick == 0) {
        return std::nullopt;
    }
    return scale;
}

const std::optional<TickScale>& ProcessTickScale() {
    static const std::optional<TickScale> scale = Calibrate();
    return scale;
}

class TscClock final : public Clock {
  public:
    explicit TscClock(const TickScale& scale) : m_scale(scale) {}

    // Unordered: a reading taken a little early only lengthens the delay measured from it,
    // and the fences in Delay() order the readings that bound a delay.
    std::int64_t NowNs() override { return TicksToNs(m_scale, __rdtsc()); }

    // The target is counted in ticks, so the loop is one counter read and one compare; a pause
    // instruction in it doubled each turn on an EPYC and shortened nothing. The
    // first fence keeps the start from being read before the port write in front of the call
    // has finished, the last one keeps whatever follows from running before the loop has
    // seen the target pass: both ends of the wait hold even against out-of-order execution.
    void Delay(std::uint32_t microseconds) override {
        const std::uint64_t start = OrderedTicks();
        const std::uint64_t ticks = DelayTicks(m_scale, microseconds);
        while (__rdtsc() - start < ticks) {
        }
        _mm_lfence();
    }

    void SleepMs(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

  private:
    const TickScale m_scale;
};

#endif

}  // namespace

RealClockKind ChooseRealClockKind(std::string_view cpuinfo, const char* clockEnv) {
    if (clockEnv != nullptr && std::string_view(clockEnv) == "monotonic") {
        return RealClockKind::Monotonic;
    }
    const std::string_view flags = FirstFlagsLine(cpuinfo);
    return HasWord(flags, "constant_tsc") && HasWord(flags, "nonstop_tsc")
               ? RealClockKind::Tsc
               : RealClockKind::Monotonic;
}

TickScale MakeTickScale(std::uint64_t ticks, std::int64_t ns, std::uint64_t baseTicks,
                        std::int64_t baseNs) {
    __extension__ using UWide = unsigned __int128;
    TickScale scale{baseTicks, baseNs, 0, 0};
    // 0.01 to 100 ticks per nanosecond: 10 MHz to 100 GHz.
    if (ticks == 0 || ns <= 0 || UWide{ticks} * 100 < static_cast<UWide>(ns) ||
        UWide{ticks} > static_cast<UWide>(ns) * 100) {
        return scale;
    }
    const UWide nsPerTick = (static_cast<UWide>(ns) << 32) / ticks;
    const UWide one = UWide{1} << 64;
    scale.nsPerTick = static_cast<std::uint64_t>(nsPerTick);
    scale.ticksPerNs = static_cast<std::uint64_t>((one + nsPerTick - 1) / nsPerTick);
    return scale;
}

std::unique_ptr<Clock> MakeTscClock() {
#if VELMO_HAVE_TSC
    if (const auto& scale = ProcessTickScale()) {
        return std::make_unique<TscClock>(*scale);
    }
#endif
    return nullptr;
}

}  // namespace velmo
