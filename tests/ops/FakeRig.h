#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RecordingObserver.h"
#include "link/BitBangLink.h"
#include "ops/Programmer.h"
#include "support/FakePort.h"
#include "support/Images.h"
#include "timing/Clock.h"

namespace velmo::testing {

// Virtual time that also remembers the long pauses asked for.
class RecordingClock : public VirtualClock {
  public:
    void SleepMs(std::uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        VirtualClock::SleepMs(milliseconds);
    }
    std::vector<std::uint32_t> sleeps;
};

// The programmer with its driver running, on a port where the board answers and every byte
// reads 0xFF.
struct FakeRig {
    explicit FakeRig(ProgrammerMode mode = ProgrammerMode::Board) {
        port.SetReady(true);
        port.SetMiso(true);
        programmer.SelectMode(mode);
        programmer.StartDriver();
        observer.Clear();
        port.ClearLog();
    }

    // An image as a successful load leaves it.
    void LoadImage(const FlashImage& image) {
        programmer.m_image = image;
        programmer.m_noFileLoaded = 0;
    }

    FakePort port;
    RecordingClock clock;
    RecordingObserver observer;
    BitBangLink link{port, clock};
    Programmer programmer{link, clock, observer};
};

// What a byte loop over the whole flash reports: one pump per byte and the progress position
// every 307 bytes, up to `bytes` bytes.
inline std::vector<std::string> ByteLoopCalls(int bytes = 12288) {
    std::vector<std::string> calls;
    for (int address = 0; address < bytes; ++address) {
        calls.push_back("pump");
        if (address % 307 == 0) calls.push_back("pos:" + std::to_string(address));
    }
    return calls;
}

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace velmo::testing
