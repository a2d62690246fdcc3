#include <gtest/gtest.h>

#include <string>

#include "timing/Clock.h"
#include "timing/TscClock.h"

namespace velmo {
namespace {

TEST(VirtualClock, DelayEndsJustPastItsTargetAndSleepAdvancesExactly) {
    struct Case {
        std::uint32_t us;
        std::int64_t advanceNs;
    };
    const Case cases[] = {
        {0, 1}, {1, 1001}, {20, 20001}, {100000, 100000001}, {4294967295u, 4294967295001}};
    for (const Case& c : cases) {
        VirtualClock clock;
        clock.AdvanceNs(5);
        clock.Delay(c.us);
        EXPECT_EQ(clock.NowNs(), 5 + c.advanceNs) << c.us;
    }
    VirtualClock clock;
    clock.SleepMs(500);
    EXPECT_EQ(clock.NowNs(), 500'000'000);
}

TEST(RealClockKind, CounterOnlyWhenItsRateIsInvariantAndNotOverridden) {
    const std::string both =
        "processor\t: 0\nflags\t\t: fpu tsc constant_tsc rep_good nonstop_tsc cpuid\n";
    const std::string constantOnly = "flags\t\t: fpu tsc constant_tsc cpuid\n";
    const std::string nonstopOnly = "flags\t\t: fpu tsc nonstop_tsc\n";
    // Only whole words of the first flags line count.
    const std::string lookalikes = "flags\t: xconstant_tsc nonstop_tsc_y\n";
    const std::string secondLine = "flags\t: fpu tsc\nflags\t: constant_tsc nonstop_tsc\n";
    const std::string otherKey = "bugs\t: constant_tsc nonstop_tsc\nflags\t: fpu\n";
    const std::string lastWords = "flags : nonstop_tsc constant_tsc";
    struct Case {
        const std::string* cpuinfo;
        const char* env;
        RealClockKind expected;
    };
    const std::string empty;
    const Case cases[] = {
        {&both, nullptr, RealClockKind::Tsc},
        {&both, "", RealClockKind::Tsc},
        {&both, "tsc", RealClockKind::Tsc},
        {&both, "monotonic", RealClockKind::Monotonic},
        {&both, "Monotonic ", RealClockKind::Tsc},  // only the exact word overrides
        {&lastWords, nullptr, RealClockKind::Tsc},
        {&constantOnly, nullptr, RealClockKind::Monotonic},
        {&nonstopOnly, nullptr, RealClockKind::Monotonic},
        {&lookalikes, nullptr, RealClockKind::Monotonic},
        {&secondLine, nullptr, RealClockKind::Monotonic},
        {&otherKey, nullptr, RealClockKind::Monotonic},
        {&empty, nullptr, RealClockKind::Monotonic},
        {&empty, "tsc", RealClockKind::Monotonic},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseRealClockKind(*c.cpuinfo, c.env), c.expected)
            << *c.cpuinfo << " / " << (c.env ? c.env : "(unset)");
    }
}

__extension__ using Wide = __int128;

struct Rate {
    std::uint64_t ticks;
    std::int64_t ns;
};
// 1 GHz exactly, an EPYC's 2.096 GHz, 3.7 GHz, 100 MHz, and the limits 0.01 and 100 per ns.
const Rate kRates[] = {{1'000'000'000, 1'000'000'000},
                       {2'095'995'000, 1'000'000'000},
                       {37'000'000, 10'000'000},
                       {100'000, 1'000'000},
                       {1, 100},
                       {100, 1}};

TEST(TickScale, ConvertsAtMostAsFastAsTheMeasuredRateAndNeverMuchSlower) {
    const std::uint64_t base = 123'456'789'012ull;
    const std::int64_t baseNs = 987'654'321;
    // The last one is a day of ticks at one per nanosecond.
    const std::int64_t offsets[] = {-1'000'000, -7, -1,  0,         1,
                                    2,          3,  999, 1'000'003, 86'400'000'000'000ll};
    for (const Rate& r : kRates) {
        const TickScale scale = MakeTickScale(r.ticks, r.ns, base, baseNs);
        ASSERT_NE(scale.nsPerTick, 0u) << r.ticks << "/" << r.ns;
        for (std::int64_t offset : offsets) {
            const std::int64_t got =
                TicksToNs(scale, base + static_cast<std::uint64_t>(offset)) - baseNs;
            // The exact value, rounded towards the past.
            const Wide num = Wide{offset} * r.ns;
            const Wide exact = num >= 0 ? num / r.ticks : -((-num + r.ticks - 1) / r.ticks);
            EXPECT_LE(Wide{got}, exact) << r.ticks << "/" << r.ns << " at " << offset;
            // Less by the rounding of the fixed point: under 2^-32 ns per tick, plus one.
            const Wide slack = (offset >= 0 ? Wide{offset} : -Wide{offset}) / (Wide{1} << 32) + 1;
            EXPECT_GE(Wide{got}, exact - slack) << r.ticks << "/" << r.ns << " at " << offset;
        }
    }
}

TEST(TickScale, RejectsIntervalsItCannotTrust) {
    const Rate bad[] = {{0, 1'000'000}, {1'000'000, 0}, {1'000'000, -5},
                        {1, 101},       {101, 1},       {~std::uint64_t{0}, 1}};
    for (const Rate& r : bad) {
        EXPECT_EQ(MakeTickScale(r.ticks, r.ns, 0, 0).nsPerTick, 0u) << r.ticks << "/" << r.ns;
    }
}

TEST(TickScale, DelayTicksAlwaysCoverMoreThanTheDelayAndHardlyMore) {
    const std::uint32_t delays[] = {0, 1, 2, 5, 20, 100, 1000, 100000, 4294967295u};
    for (const Rate& r : kRates) {
        const std::uint64_t base = ~std::uint64_t{0} - 1'000'000;  // readings across the wrap
        const TickScale scale = MakeTickScale(r.ticks, r.ns, base, 42);
        const std::uint64_t starts[] = {base - 3, base, base + 1, base + 777, base + 5'000'000};
        // What one tick is worth, rounded up.
        const std::int64_t tickNs =
            (r.ns + static_cast<std::int64_t>(r.ticks) - 1) / static_cast<std::int64_t>(r.ticks);
        for (std::uint32_t us : delays) {
            const std::uint64_t ticks = DelayTicks(scale, us);
            const std::int64_t asked = std::int64_t{us} * 1000;
            for (std::uint64_t start : starts) {
                const std::int64_t elapsed =
                    TicksToNs(scale, start + ticks) - TicksToNs(scale, start);
                EXPECT_GT(elapsed, asked) << r.ticks << "/" << r.ns << " " << us << " us";
                EXPECT_LE(elapsed, asked + 1 + 3 * tickNs + asked / 100'000'000)
                    << r.ticks << "/" << r.ns << " " << us << " us";
            }
        }
    }
}

// Lower bounds only: a busy machine may take longer, never shorter. Both sources, whichever
// this machine has; a counter that cannot be used yields the monotonic clock.
TEST(RealClock, TimeNeverGoesBackAndDelaysReturnOnlyOnceTheirTimeHasPassed) {
    for (RealClockKind kind : {RealClockKind::Monotonic, RealClockKind::Tsc}) {
        SCOPED_TRACE(kind == RealClockKind::Tsc ? "counter" : "monotonic");
        auto clock = MakeRealClock(kind);
        ASSERT_NE(clock, nullptr);
        std::int64_t last = clock->NowNs();
        for (int i = 0; i < 100000; ++i) {
            const std::int64_t now = clock->NowNs();
            ASSERT_GE(now, last) << i;
            last = now;
        }
        for (std::uint32_t us : {0u, 1u, 2u, 50u, 1000u}) {
            const std::int64_t start = clock->NowNs();
            clock->Delay(us);
            EXPECT_GT(clock->NowNs() - start, std::int64_t{us} * 1000) << us;
        }
        const std::int64_t start = clock->NowNs();
        clock->SleepMs(2);
        EXPECT_GE(clock->NowNs() - start, 2'000'000);
    }
    EXPECT_NE(MakeRealClock(), nullptr);
}

}  // namespace
}  // namespace velmo
