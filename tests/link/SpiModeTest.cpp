// SPI mode 1 on the bit-bang link: MOSI changes while SCK is high and is taken on the falling
// edge, MISO is read at the end of the high half.
#include <gtest/gtest.h>

#include "link/BitBangLink.h"
#include "support/FakePort.h"

namespace velmo {
namespace {

using testing::FakePort;

TEST(SpiMode1, MosiSettlesWhileSckIsHighAndMisoIsReadBeforeTheFall) {
    VirtualClock clock;
    FakePort port(&clock);
    // MISO follows a pattern that changes with every status read: 1, 0, 0, 1, 1, 0, 1, 0.
    int reads = 0;
    port.statusSource = [&reads] {
        const bool bit = ((0x9A >> (7 - (reads++ % 8))) & 1) != 0;
        return WithLine(IspLine::Miso, 0, bit);
    };
    BitBangLink link(port, clock);
    Instruction instruction;
    instruction.bytes = {0x28, 0x00, 0x31, 0x00};
    instruction.length = 4;
    instruction.readsLast = true;
    instruction.halfPeriodUs = 3;
    instruction.mode = SpiMode::Mode1;
    EXPECT_EQ(link.Send(instruction)[0], 0x9A);

    // Replay the log: MOSI as it stands at each falling edge, and SCK at each status read.
    const std::uint16_t status = port.BaseAddress() + 1;
    bool sck = false;
    std::int64_t riseNs = 0;
    std::uint32_t taken = 0;
    int bits = 0;
    for (const FakePort::Access& access : port.log) {
        if (!access.write && access.address == status) {
            EXPECT_TRUE(sck) << "MISO read while SCK is low";
            continue;
        }
        if (!access.write || access.address != port.BaseAddress()) continue;
        const bool high = LineLevel(IspLine::Sck, access.value);
        if (high && !sck) riseNs = access.timeNs;
        if (!high && sck) {
            EXPECT_GE(access.timeNs - riseNs, 3000) << "high half shorter than the half-period";
            taken = (taken << 1) | (LineLevel(IspLine::Mosi, access.value) ? 1u : 0u);
            ++bits;
        } else if (high && sck) {
            EXPECT_EQ(access.timeNs, riseNs) << "MOSI changes right after the rising edge";
        }
        sck = high;
    }
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(taken, 0x28003100u);
    EXPECT_EQ(reads, 8);
    EXPECT_FALSE(sck) << "an instruction ends with SCK low";
}

}  // namespace
}  // namespace velmo
