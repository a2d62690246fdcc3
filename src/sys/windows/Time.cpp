#include "sys/Time.h"

#include <windows.h>

namespace velmo::sys {

std::int64_t MonotonicNs() {
    // The performance counter's rate is fixed at boot; asked once.
    static const std::int64_t frequency = [] {
        LARGE_INTEGER rate{};
        ::QueryPerformanceFrequency(&rate);
        return static_cast<std::int64_t>(rate.QuadPart);
    }();
    LARGE_INTEGER ticks{};
    ::QueryPerformanceCounter(&ticks);
    const std::int64_t count = ticks.QuadPart;
    // Split, so that the product stays far from overflowing after months of uptime.
    return count / frequency * 1'000'000'000 + count % frequency * 1'000'000'000 / frequency;
}

}  // namespace velmo::sys
