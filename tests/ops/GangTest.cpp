// A gang fixture on the simulator: one image into every socket at once, the failing sockets
// named and left out, the others holding the image byte for byte.
#include <gtest/gtest.h>

#include <vector>

#include "link/BitBangLink.h"
#include "ops/ChipJobs.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/Images.h"

namespace velmo::testing {
namespace {

class FailureLog : public OperationObserver {
  public:
    void SocketFailed(unsigned socket, const SocketResult&) override { failed.push_back(socket); }
    std::vector<unsigned> failed;
};

struct Gang {
    explicit Gang(unsigned sockets, const std::string& options)
        : port(clock, Options(sockets, options)),
          link(port, clock, sockets),
          session(link, clock, log, ProgrammerMode::Raw, 2) {
        session.SetWriteCompletion(WriteCompletion::DataPolling);
        EXPECT_TRUE(session.Open().ok());
    }
    static SimOptions Options(unsigned sockets, const std::string& text) {
        SimOptions options = ParseSimOptions(text, nullptr).value();
        options.virtualClock = true;
        options.sockets = sockets;
        return options;
    }

    VirtualClock clock;
    SimPort port;
    BitBangLink link;
    FailureLog log;
    ChipSession session;
};

TEST(Gang, EverySocketComesToItsOwnResultAndTheGoodOnesHoldTheImage) {
    FlashImage image = PatternStart(0x100, 3);
    image[0x0010] = 0x02;
    Gang gang(5, "stuck@2=0010:00,chip@3=absent,writetime@4=2000,writetime@5=never");
    std::vector<FlashImage> seen;
    const ProgramResult result =
        ProgramChips(gang.session, image, ProgramStrategy::SkipBlank, seen);
    ASSERT_TRUE(result.step.ok());
    EXPECT_EQ(result.written, CountNotBlank(image));

    const struct {
        SocketFault fault;
        std::uint32_t address;
        std::uint8_t wanted, readBack;
    } expected[] = {
        {SocketFault::None, 0, 0, 0},
        {SocketFault::WriteFailed, 0x0010, 0x02, 0x00},
        {SocketFault::NoChip, 0, 0xFF, 0x00},
        {SocketFault::None, 0, 0, 0},  // slow, but done within the polling
        {SocketFault::WriteFailed, 0x0000, image[0], static_cast<std::uint8_t>(image[0] ^ 0x80)},
    };
    for (unsigned s = 0; s < 5; ++s) {
        SCOPED_TRACE(s + 1);
        const SocketResult& got = gang.session.Socket(s);
        EXPECT_EQ(got.fault, expected[s].fault);
        if (!got.ok()) {
            EXPECT_EQ(got.address, expected[s].address);
            EXPECT_EQ(got.wanted, expected[s].wanted);
            EXPECT_EQ(got.readBack, expected[s].readBack);
        } else {
            EXPECT_EQ(gang.port.Chip(s).Flash(), image);
        }
    }
    EXPECT_EQ(gang.log.failed, (std::vector<unsigned>{2, 4, 1}))
        << "each named once, when it dropped out";
}

TEST(Gang, VerifyNamesEachSocketsFirstDifference) {
    const FlashImage image = PatternImage(5);
    Gang gang(3, "");
    for (unsigned s = 0; s < 3; ++s) gang.port.Chip(s).SetFlash(image);
    FlashImage changed = image;
    changed[0x0100] ^= 0x10;
    changed[0x2000] ^= 0x01;
    gang.port.Chip(1).SetFlash(changed);
    std::vector<FlashImage> seen;
    ASSERT_TRUE(VerifyChips(gang.session, image, seen).ok());
    EXPECT_TRUE(gang.session.Socket(0).ok());
    EXPECT_TRUE(gang.session.Socket(2).ok());
    const SocketResult& bad = gang.session.Socket(1);
    EXPECT_EQ(bad.fault, SocketFault::Mismatch);
    EXPECT_EQ(bad.address, 0x0100u);
    EXPECT_EQ(bad.wanted, image[0x0100]);
    EXPECT_EQ(bad.readBack, changed[0x0100]);
    EXPECT_EQ(bad.differing, 2u);
    EXPECT_EQ(seen[1], changed);
}

// Without an erase, a byte is written where any socket differs, and only the sockets that
// differed change.
TEST(Gang, ChangedOnlyWritesWhereAnySocketDiffers) {
    const FlashImage image = PatternImage(7);
    Gang gang(2, "");
    FlashImage older = image;
    older[0x0042] = 0x00;
    gang.port.Chip(0).SetFlash(image);
    gang.port.Chip(1).SetFlash(older);
    std::vector<FlashImage> seen;
    const ProgramResult result =
        ProgramChips(gang.session, image, ProgramStrategy::ChangedOnly, seen);
    ASSERT_TRUE(result.step.ok());
    EXPECT_EQ(result.written, 1u);
    for (unsigned s = 0; s < 2; ++s) {
        EXPECT_TRUE(gang.session.Socket(s).ok());
        EXPECT_EQ(gang.port.Chip(s).Flash(), image);
    }
}

}  // namespace
}  // namespace velmo::testing
