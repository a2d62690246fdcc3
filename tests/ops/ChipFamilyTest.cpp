// velmo-cli's path on every chip of the family, against the simulated chips: which chip is
// found or refused, the polled erase, page writes, the EEPROM and the lock bits read back.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "link/BitBangLink.h"
#include "ops/ChipIdentity.h"
#include "ops/ChipJobs.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/Images.h"

namespace velmo::testing {
namespace {

SimOptions Options(const std::string& text, unsigned sockets) {
    std::string error;
    std::optional<SimOptions> options = ParseSimOptions("clock=virtual," + text, &error);
    EXPECT_TRUE(options) << error;
    options->sockets = sockets;
    return *options;
}

struct Rig {
    explicit Rig(const std::string& options, unsigned sockets = 1)
        : port(clock, Options(options, sockets)),
          link(port, clock, sockets),
          session(link, clock, observer, ProgrammerMode::Raw, 2) {
        session.SetWriteCompletion(WriteCompletion::DataPolling);
    }
    Identification Open(std::optional<ChipKind> named) {
        session.SetChip(ChipToOpenWith(named));
        EXPECT_TRUE(session.Open().ok());
        const Identification found = IdentifyChips(session, named);
        session.SetBitDelay(chip::BitDelay(session.Chip(), 24.0));
        return found;
    }
    double Seconds(std::int64_t fromNs) {
        return static_cast<double>(clock.NowNs() - fromNs) / 1e9;
    }

    VirtualClock clock;
    SimPort port;
    BitBangLink link;
    OperationObserver observer;
    ChipSession session;
};

TEST(ChipFamily, AutoFindsEachChipAndANamedOneIsChecked) {
    const struct {
        const char* options;
        std::optional<ChipKind> named;
        ChipKind chip;
        bool ok;
        bool bySignature;
        SocketFault fault;
    } cases[] = {
        {"model=at89s53", std::nullopt, ChipKind::At89s53, true, false, SocketFault::None},
        {"model=at89s8252", std::nullopt, ChipKind::At89s53, true, false, SocketFault::None},
        {"model=at89s51", std::nullopt, ChipKind::At89s51, true, true, SocketFault::None},
        {"model=at89s52", std::nullopt, ChipKind::At89s52, true, true, SocketFault::None},
        {"model=at89s8253", std::nullopt, ChipKind::At89s8253, true, true, SocketFault::None},
        {"model=at89s8252", ChipKind::At89s8252, ChipKind::At89s8252, true, false,
         SocketFault::None},
        {"model=at89s8253", ChipKind::At89s8253, ChipKind::At89s8253, true, true,
         SocketFault::None},
        {"model=at89s51", ChipKind::At89s52, ChipKind::At89s52, false, false,
         SocketFault::WrongChip},
        {"model=at89s53", ChipKind::At89s8253, ChipKind::At89s8253, false, false,
         SocketFault::WrongChip},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.options) + (c.named ? " named" : " auto"));
        Rig rig(c.options);
        const Identification found = rig.Open(c.named);
        EXPECT_EQ(rig.session.Chip().kind, c.chip);
        EXPECT_EQ(found.step.ok(), c.ok);
        EXPECT_EQ(found.bySignature, c.bySignature);
        EXPECT_EQ(rig.session.Socket(0).fault, c.fault);
        if (!c.ok) continue;
        // Whatever was tried first, the chip takes the next instruction whole.
        rig.session.SetMemory(ChipMemory::Flash);
        FlashImage seen;
        EXPECT_TRUE(rig.session.Read(Step::Read, seen).ok());
        EXPECT_EQ(rig.port.Chip().ClockViolations(), 0u);
        EXPECT_TRUE(rig.port.Chip().ProgrammingEnabled());
    }
}

// All sockets hold one chip: the first that names itself decides, the others drop out.
TEST(ChipFamily, AGangWorksWithTheFirstSocketsChip) {
    Rig rig("model=at89s52,model@2=at89s51,chip@4=absent", 4);
    EXPECT_TRUE(rig.Open(std::nullopt).step.ok());
    EXPECT_EQ(rig.session.Chip().kind, ChipKind::At89s52);
    EXPECT_EQ(rig.session.Socket(1).fault, SocketFault::WrongChip);
    EXPECT_EQ(rig.session.Socket(3).fault, SocketFault::NoChip);
    EXPECT_EQ(rig.session.LiveSockets(), 2u);
}

// An AT89S51/52 in lock mode 3 hides its signature but still answers 0x69: auto assumes
// nothing, the named chip is taken.
TEST(ChipFamily, ALockedChipWithoutItsSignatureMustBeNamed) {
    Rig rig("model=at89s51");
    rig.Open(std::nullopt);
    ASSERT_TRUE(LockChips(rig.session, {true, true, false}).ok());
    rig.session.Close();
    EXPECT_TRUE(rig.Open(std::nullopt).signatureHidden);
    rig.session.Close();
    EXPECT_TRUE(rig.Open(ChipKind::At89s51).step.ok());
}

// The erase lasts what the chip takes (after its instruction of a few ms at the slow fixed
// clock): not the window's 100 ms, and long erases are waited for; an empty socket ends the
// polling at twice the chip's longest erase.
TEST(ChipFamily, EraseIsPolledUntilTheChipIsDone) {
    const struct {
        const char* options;
        ChipKind chip;
        unsigned sockets;
        double erase;
        StepOutcome checked;
    } cases[] = {
        {"model=at89s52,erasetime=300000", ChipKind::At89s52, 1, 0.300, StepOutcome::Ok},
        {"model=at89s53,erasetime=150000", ChipKind::At89s53, 1, 0.150, StepOutcome::Ok},
        {"model=at89s8253", ChipKind::At89s8253, 1, 0.009, StepOutcome::Ok},
        {"model=at89s8253,chip=absent", ChipKind::At89s8253, 2, 0.018, StepOutcome::NoChip},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Rig rig(c.options, c.sockets);
        rig.session.SetChip(chip::Describe(c.chip));
        ASSERT_TRUE(rig.session.Open().ok());
        rig.session.SettleNow(ChipSession::kSettleUs);
        const std::int64_t start = rig.clock.NowNs();
        EXPECT_TRUE(rig.session.Erase().ok());
        EXPECT_GE(rig.Seconds(start), c.erase);
        EXPECT_LE(rig.Seconds(start), c.erase + 0.008);
        EXPECT_EQ(rig.session.CheckErased().outcome, c.checked);
    }
}

// Pages of 64 on the AT89S8253, each polled at its last byte; blank pages are left alone.
TEST(ChipFamily, TheAt89s8253IsWrittenAPageAtATime) {
    Rig rig("model=at89s8253");
    rig.Open(std::nullopt);
    FlashImage image;
    ClearImage(image);
    for (std::uint32_t a = 0x0100; a < 0x0150; ++a) image[a] = static_cast<std::uint8_t>(a);
    ASSERT_TRUE(EraseChips(rig.session).ok());
    const std::int64_t start = rig.clock.NowNs();
    const StepResult written = rig.session.Write(image, WriteSelection::SkipBlank);
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(written.written, 128u) << "two pages";
    // Two write cycles of 4.5 ms; byte by byte it would take 80 of them.
    EXPECT_LT(rig.Seconds(start), 0.012);
    EXPECT_EQ(rig.port.Chip().Flash(), image);
}

TEST(ChipFamily, TheEepromIsASecondMemoryThatIsNeverErased) {
    const struct {
        const char* options;
        std::optional<ChipKind> named;
    } cases[] = {{"model=at89s8252", ChipKind::At89s8252}, {"model=at89s8253", std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Rig rig(c.options);
        rig.Open(c.named);
        rig.port.Chip().SetFlash(PatternImage());
        const FlashImage flash = rig.port.Chip().Flash();
        rig.session.SetMemory(ChipMemory::Eeprom);
        FlashImage image;
        ClearImage(image);
        for (std::uint32_t a = 0; a < 2048; a += 3) image[a] = static_cast<std::uint8_t>(a >> 3);
        std::vector<FlashImage> seen;
        ASSERT_TRUE(ProgramChips(rig.session, image, ProgramStrategy::SkipBlank, seen).step.ok());
        EXPECT_TRUE(std::equal(rig.port.Chip().Eeprom().begin(), rig.port.Chip().Eeprom().end(),
                               image.begin()));
        EXPECT_EQ(rig.port.Chip().Flash(), flash) << "the flash is untouched";
        EXPECT_TRUE(VerifyChips(rig.session, image, seen).ok());
        EXPECT_TRUE(rig.session.Socket(0).ok());
    }
}

TEST(ChipFamily, LockBitsAreReadBackWhereTheChipCan) {
    Rig rig("model=at89s52,chip@2=absent", 2);
    rig.session.SetChip(chip::Describe(ChipKind::At89s52));
    ASSERT_TRUE(rig.session.Open().ok());
    EXPECT_TRUE(LockChips(rig.session, {true, true, true}).ok());
    EXPECT_TRUE(rig.port.Chip(0).LockBit(3));
    EXPECT_EQ(rig.session.Socket(1).fault, SocketFault::LockFailed);
    EXPECT_EQ(rig.session.Socket(1).wanted, 7);
}

}  // namespace
}  // namespace velmo::testing
