// Placeholder until the clock lands.
#include "isp/Clock.h"

namespace velmo {
void VirtualClock::Delay(std::uint32_t microseconds) { m_nowNs += std::int64_t{microseconds} * 1000 + 1; }
void VirtualClock::SleepMs(std::uint32_t milliseconds) { m_nowNs += std::int64_t{milliseconds} * 1000000; }
std::unique_ptr<Clock> MakeRealClock() { return std::make_unique<VirtualClock>(); }
}  // namespace velmo
