#pragma once

#include <cstdint>
#include <memory>

namespace velmo {

// Time as the programming lines see it. Delay() busy-waits: the bit timing must not depend
// on the scheduler. SleepMs() is for the long pauses where giving up the processor is fine.
class Clock {
  public:
    virtual ~Clock() = default;
    // Monotonic nanoseconds since an arbitrary origin.
    virtual std::int64_t NowNs() = 0;
    // Returns as soon as more than n microseconds have passed; never sleeps or yields.
    virtual void Delay(std::uint32_t microseconds) = 0;
    virtual void SleepMs(std::uint32_t milliseconds) = 0;
};

// Busy-waits on the processor's time-stamp counter where its rate is invariant (x86-64 Linux),
// else on the monotonic clock; VELMO_CLOCK=monotonic chooses the monotonic clock anyway.
std::unique_ptr<Clock> MakeRealClock();

// Only advances when asked to, so a whole chip runs in milliseconds with every delay counted.
class VirtualClock : public Clock {
  public:
    std::int64_t NowNs() override { return m_nowNs; }
    void Delay(std::uint32_t microseconds) override;
    void SleepMs(std::uint32_t milliseconds) override;
    void AdvanceNs(std::int64_t ns) { m_nowNs += ns; }

  private:
    std::int64_t m_nowNs = 0;
};

}  // namespace velmo
