#pragma once

#include <cstdint>

namespace velmo::sys {

// The system's monotonic clock in nanoseconds since an arbitrary origin: it never goes back
// and does not follow changes of the time of day. Cheap enough to be read in a busy-wait.
std::int64_t MonotonicNs();

}  // namespace velmo::sys
