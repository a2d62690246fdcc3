#include "timing/Clock.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "sys/Time.h"
#include "timing/TscClock.h"

namespace velmo {

namespace {

class MonotonicClock final : public Clock {
  public:
    std::int64_t NowNs() override { return sys::MonotonicNs(); }

    // Spins instead of sleeping: a sleep's wake-up latency is far longer than the bit
    // clock's half-period, and the target samples on the edges we time here.
    void Delay(std::uint32_t microseconds) override {
        const std::int64_t target = NowNs() + std::int64_t{microseconds} * 1000;
        while (NowNs() <= target) {
        }
    }

    void SleepMs(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

}  // namespace

std::unique_ptr<Clock> MakeRealClock(RealClockKind kind) {
    if (kind == RealClockKind::Tsc) {
        if (auto clock = MakeTscClock()) {
            return clock;
        }
    }
    return std::make_unique<MonotonicClock>();
}

// Where the processor's counter is usable, it costs a third of a monotonic clock reading,
// and every bit of the serial protocol pays several readings. VELMO_CLOCK=monotonic keeps
// the monotonic clock, e.g. to compare the two.
std::unique_ptr<Clock> MakeRealClock() {
    static const RealClockKind kind = [] {
        std::ifstream file("/proc/cpuinfo");
        const std::string cpuinfo{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
        return ChooseRealClockKind(cpuinfo, std::getenv("VELMO_CLOCK"));
    }();
    return MakeRealClock(kind);
}

// One nanosecond more than asked, as the real clock returns only once it is strictly past
// the target; the simulator's timing checks see the same durations on both clocks.
void VirtualClock::Delay(std::uint32_t microseconds) {
    m_nowNs += std::int64_t{microseconds} * 1000 + 1;
}

void VirtualClock::SleepMs(std::uint32_t milliseconds) {
    m_nowNs += std::int64_t{milliseconds} * 1000000;
}

}  // namespace velmo
