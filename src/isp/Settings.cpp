#include "isp/Settings.h"

#include "isp/Chips.h"

namespace velmo {

std::uint32_t BitDelayForClockRate(double mhz) {
    return chip::BitDelay(chip::Describe(ChipKind::At89s53), mhz);
}

}  // namespace velmo
