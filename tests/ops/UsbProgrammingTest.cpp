// velmo-cli's jobs and the window's operations over a USB adapter: the fake FTDI adapter, wired
// to the simulated chips, with its round trips on the virtual clock.
#include <gtest/gtest.h>

#include "RecordingObserver.h"
#include "link/ftdi/FtdiLink.h"
#include "ops/ChipIdentity.h"
#include "ops/ChipJobs.h"
#include "ops/Programmer.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/FakeFtdi.h"
#include "support/Images.h"

namespace velmo::testing {
namespace {

bool Mpsse(FtdiChip chip) {
    return chip != FtdiChip::Ft232R && chip != FtdiChip::Ft230X;
}

// A few hundred bytes over the whole flash: every write is pipelined, every cell read back.
FlashImage SparseImage() {
    FlashImage image = Filled(0xFF);
    const FlashImage pattern = PatternImage(5);
    for (std::size_t a = 0; a < image.size(); a += 37) image[a] = pattern[a];
    image[0x2FFF] = 0x00;
    return image;
}

struct UsbRig {
    UsbRig(FtdiChip chip, unsigned sockets = 1, const std::string& simOptions = "")
        : sim(clock, Options(sockets, simOptions)),
          fake(clock),
          link(Adapter(fake, chip), clock, FtdiConfig{}, sockets),
          session(link, clock, log, ProgrammerMode::Raw, 2) {
        fake.Connect(sim, DefaultFtdiWires(Mpsse(chip), false, sockets));
        session.SetWriteCompletion(WriteCompletion::DataPolling);
    }
    static std::unique_ptr<FtdiSystem> Adapter(FakeFtdi& fake, FtdiChip chip) {
        fake.Add(chip, "A1");
        return fake.System();
    }
    static SimOptions Options(unsigned sockets, const std::string& text) {
        SimOptions options = ParseSimOptions(text, nullptr).value();
        options.sockets = sockets;
        options.boardPresent = false;
        return options;
    }

    VirtualClock clock;
    SimPort sim;
    FakeFtdi fake;
    FtdiLink link;
    OperationObserver log;
    ChipSession session;
};

TEST(UsbProgramming, VelmoCliProgramsEveryAdapterKindWithWritesBehindThePolls) {
    struct Case {
        const char* name;
        FtdiChip chip;
        unsigned sockets;
        ProgramStrategy strategy;
        const char* simOptions;
        unsigned failing;  // the socket whose writes never finish, or 0
    };
    const Case cases[] = {
        {"FT232H", FtdiChip::Ft232H, 1, ProgramStrategy::SkipBlank, "", 0},
        {"FT232R", FtdiChip::Ft232R, 1, ProgramStrategy::SkipBlank, "", 0},
        {"FT232H, changed only", FtdiChip::Ft232H, 1, ProgramStrategy::ChangedOnly,
         "writetime=2000", 0},
        {"FT231X gang, one socket never finishes", FtdiChip::Ft230X, 3, ProgramStrategy::SkipBlank,
         "writetime@2=never", 2},
    };
    const FlashImage image = SparseImage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbRig rig(c.chip, c.sockets, c.simOptions);
        ASSERT_TRUE(rig.session.Open().ok()) << rig.link.DriverMessage();
        std::vector<FlashImage> seen;
        const ProgramResult result = ProgramChips(rig.session, image, c.strategy, seen);
        ASSERT_TRUE(result.step.ok());
        EXPECT_EQ(result.written, CountNotBlank(image));
        for (unsigned s = 0; s < c.sockets; ++s) {
            const bool fails = s + 1 == c.failing;
            EXPECT_EQ(rig.session.Socket(s).ok(), !fails) << s;
            if (!fails) {
                EXPECT_EQ(rig.sim.Chip(s).Flash(), image) << s;
            }
            EXPECT_EQ(rig.sim.Chip(s).ClockViolations(), 0u);
        }
        // About one transfer per byte written, the reads in runs.
        const long reads = 12288 / static_cast<long>(rig.link.PollsPerTransfer()) + 1;
        EXPECT_LT(rig.fake.transfers, static_cast<long>(result.written) * 11 / 10 + 2 * reads + 40);
        rig.session.Close();
    }
}

// Every chip of the family over both kinds of adapter: found by auto, written at its own SCK
// limit and SPI mode (pages on the AT89S8253), each cell checked.
TEST(UsbProgramming, EveryChipOfTheFamilyOnBothKindsOfAdapter) {
    const struct {
        const char* model;
        ChipKind named;  // the AT89S8252 cannot be found, only named
        std::uint32_t size;
    } chips[] = {
        {"model=at89s53", ChipKind::At89s53, 12288},
        {"model=at89s8252", ChipKind::At89s8252, 8192},
        {"model=at89s51", ChipKind::At89s51, 4096},
        {"model=at89s52", ChipKind::At89s52, 8192},
        {"model=at89s8253", ChipKind::At89s8253, 12288},
    };
    for (const FtdiChip adapter : {FtdiChip::Ft232H, FtdiChip::Ft232R}) {
        for (const auto& c : chips) {
            SCOPED_TRACE(std::string(c.model) + (Mpsse(adapter) ? " on MPSSE" : " on bit-bang"));
            UsbRig rig(adapter, 1, c.model);
            const std::optional<ChipKind> named =
                c.named == ChipKind::At89s8252 ? std::optional(c.named) : std::nullopt;
            rig.session.SetChip(ChipToOpenWith(named));
            ASSERT_TRUE(rig.session.Open().ok()) << rig.link.DriverMessage();
            ASSERT_TRUE(IdentifyChips(rig.session, named).step.ok());
            EXPECT_EQ(rig.session.Chip().kind, c.named);
            rig.session.SetBitDelay(chip::BitDelay(rig.session.Chip(), 24.0));
            FlashImage image = SparseImage();
            std::fill(image.begin() + c.size, image.end(), 0xFF);
            std::vector<FlashImage> seen;
            ASSERT_TRUE(
                ProgramChips(rig.session, image, ProgramStrategy::SkipBlank, seen).step.ok());
            EXPECT_TRUE(rig.session.Socket(0).ok());
            EXPECT_TRUE(
                std::equal(image.begin(), image.begin() + c.size, rig.sim.Chip(0).Flash().begin()));
            EXPECT_EQ(rig.sim.Chip(0).ClockViolations(), 0u);
            rig.session.Close();
        }
    }
}

TEST(UsbProgramming, AnAdapterUnpluggedDuringTheWriteFailsTheStepAndTheWindowsProgram) {
    const FlashImage image = SparseImage();
    for (const FtdiChip chip : {FtdiChip::Ft232H, FtdiChip::Ft232R}) {
        SCOPED_TRACE(FtdiChipName(chip));
        UsbRig rig(chip);
        ASSERT_TRUE(rig.session.Open().ok());
        ASSERT_TRUE(EraseChips(rig.session).ok());
        rig.fake.unplugAfterBytes = rig.fake.bytesOut + 2000;
        const StepResult written = rig.session.Write(image, WriteSelection::SkipBlank);
        EXPECT_EQ(written.outcome, StepOutcome::LinkLost);
        EXPECT_TRUE(rig.session.LinkLost());
        EXPECT_NE(rig.session.DriverMessage().find("Seriennummer A1"), std::string::npos);

        UsbRig window(chip);
        RecordingObserver observer;
        Programmer programmer(window.link, window.clock, observer);
        programmer.SelectMode(ProgrammerMode::Raw);
        programmer.m_image = image;
        programmer.m_noFileLoaded = 0;
        ASSERT_TRUE(programmer.StartDriver());
        window.fake.unplugAfterBytes = 200'000;
        EXPECT_EQ(programmer.Program(), ProgramOutcome::WriteFailed);
        EXPECT_EQ(programmer.m_errorFlag, 1);
    }
}

// The window's Program with its fixed millisecond after every write, over the bit-bang drive:
// every wait the adapter cannot make itself is made by the host after the answers came back.
TEST(UsbProgramming, TheWindowProgramsTheWholeChipWithItsFixedWaits) {
    UsbRig rig(FtdiChip::Ft232R);
    RecordingObserver observer;
    Programmer programmer(rig.link, rig.clock, observer);
    programmer.SelectMode(ProgrammerMode::Raw);
    programmer.SetClockRate(24.0);
    programmer.m_image = PatternImage(9);
    programmer.m_noFileLoaded = 0;
    ASSERT_TRUE(programmer.StartDriver());
    EXPECT_EQ(programmer.Program(), ProgramOutcome::Programmed);
    EXPECT_EQ(rig.sim.Chip().Flash(), PatternImage(9));
    EXPECT_EQ(rig.sim.Chip().ClockViolations(), 0u);
    EXPECT_EQ(rig.sim.Chip().BusyReads(), 0u) << "every read came a millisecond after its write";
}

}  // namespace
}  // namespace velmo::testing
