#pragma once

#include <cstdint>
#include <vector>

#include "image/FlashImage.h"
#include "link/IspLink.h"
#include "ops/ChipJobs.h"
#include "timing/Clock.h"

namespace velmo::bench {

// The same random bytes in every bench, so their figures compare: the first size cells from a
// xorshift generator, the rest erased.
inline FlashImage RandomImage(std::uint32_t size = FLASH_SIZE) {
    FlashImage image;
    ClearImage(image);
    std::uint32_t state = 0x2545F491;
    for (std::uint32_t a = 0; a < size; ++a) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[a] = static_cast<std::uint8_t>(state);
    }
    return image;
}

// velmo-cli's program of image into every socket of link (erase, write the bytes that are not
// 0xFF with data polling, read back every cell) at 24 MHz. Whether every socket succeeded, and
// the virtual seconds it took.
struct Timed {
    bool ok = false;
    double seconds = 0;
};

inline Timed ProgramAt24MHz(IspLink& link, VirtualClock& clock, const FlashImage& image) {
    OperationObserver observer;
    ChipSession session(link, clock, observer, ProgrammerMode::Raw, BitDelayForClockRate(24.0));
    session.SetWriteCompletion(WriteCompletion::DataPolling);
    Timed timed;
    const std::int64_t start = clock.NowNs();
    std::vector<FlashImage> seen;
    timed.ok = session.Open().ok() &&
               ProgramChips(session, image, ProgramStrategy::SkipBlank, seen).step.ok();
    session.Close();
    timed.seconds = static_cast<double>(clock.NowNs() - start) / 1e9;
    for (unsigned s = 0; s < session.Sockets(); ++s) timed.ok = timed.ok && session.Socket(s).ok();
    return timed;
}

}  // namespace velmo::bench
