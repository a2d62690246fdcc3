// The simulated chip driven by the real instruction layer: what a programmer sees.
#include <gtest/gtest.h>

#include "isp/Clock.h"
#include "isp/IspProtocol.h"
#include "isp/Settings.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"

namespace velmo {
namespace {

class SimBench {
  public:
    explicit SimBench(SimOptions options = {}, ProgrammerMode mode = ProgrammerMode::Board,
                      std::uint32_t bitDelay = 2)
        : mode_(static_cast<std::uint8_t>(mode)),
          bitDelay_(bitDelay),
          port(clock, std::move(options)),
          isp(port, clock, mode_, bitDelay_) {
        port.StartDriver();
    }

    void SetMode(ProgrammerMode mode) { mode_ = static_cast<std::uint8_t>(mode); }
    void SetBitDelay(std::uint32_t d) { bitDelay_ = d; }

    // Start sequence and Programming Enable, as every operation begins.
    bool Begin() {
        if (!isp.StartSequence()) {
            return false;
        }
        isp.ProgrammingEnable();
        clock.Delay(10000);
        return true;
    }

    std::uint8_t mode_;
    std::uint32_t bitDelay_;
    VirtualClock clock;
    SimPort port;
    IspProtocol isp;
};

TEST(SimProgramming, WritesAndReadsBackEveryKindOfByte) {
    SimBench bench;
    ASSERT_TRUE(bench.Begin());
    EXPECT_TRUE(bench.port.Chip().ProgrammingEnabled());
    const std::uint32_t addresses[] = {0x0000, 0x0001, 0x1234, 0x2000, 0x2FFF};
    const std::uint8_t values[] = {0x00, 0x5A, 0xA5, 0x80, 0x7F, 0xFF};
    for (std::uint32_t address : addresses) {
        for (std::uint8_t value : values) {
            SCOPED_TRACE(testing::Message() << "address " << address << " value " << +value);
            EXPECT_EQ(bench.isp.WriteCodeByte(address, value), 1);
            EXPECT_EQ(bench.isp.ReadCodeByte(address), value);
            EXPECT_EQ(bench.port.Chip().Flash()[address], value);
        }
    }
    EXPECT_EQ(bench.port.Chip().ClockViolations(), 0u);
}

}  // namespace
}  // namespace velmo
