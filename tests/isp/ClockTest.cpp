#include <gtest/gtest.h>

#include "isp/Clock.h"

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

// Lower bounds only: a busy machine may take longer, never shorter.
TEST(RealClock, DelayReturnsOnlyOnceTheTimeHasPassed) {
    auto clock = MakeRealClock();
    for (std::uint32_t us : {0u, 1u, 50u, 1000u}) {
        const std::int64_t start = clock->NowNs();
        clock->Delay(us);
        EXPECT_GT(clock->NowNs() - start, std::int64_t{us} * 1000) << us;
    }
    const std::int64_t start = clock->NowNs();
    clock->SleepMs(2);
    EXPECT_GE(clock->NowNs() - start, 2'000'000);
}

}  // namespace
}  // namespace velmo
