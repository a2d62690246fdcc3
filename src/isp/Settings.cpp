#include "isp/Settings.h"

#include <cmath>

namespace velmo {

std::uint32_t BitDelayForClockRate(double mhz) {
    constexpr std::uint32_t kDelayAt24MHz = 2;
    // Below 40 Hz the half-period would exceed a second: no crystal of this chip runs there,
    // and such a delay would only stall the program.
    constexpr double kLongestSensibleDelay = 1.0e6;
    if (!std::isfinite(mhz) || mhz <= 0.0) return kDelayAt24MHz;
    const double delay = std::trunc(40.0 / mhz + 1.0);
    if (!(delay <= kLongestSensibleDelay)) return kDelayAt24MHz;
    return static_cast<std::uint32_t>(delay);
}

}  // namespace velmo
