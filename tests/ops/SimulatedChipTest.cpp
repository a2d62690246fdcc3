// Whole-chip operations against the simulated AT89S53, with the chip's flash checked byte
// for byte afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "FakeRig.h"
#include "image/Crc16.h"
#include "image/ImageFiles.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/Images.h"
#include "support/IspDriver.h"
#include "support/TempDir.h"

namespace velmo::testing {
namespace {

using Calls = std::vector<std::string>;

struct SimRig {
    explicit SimRig(ProgrammerMode mode = ProgrammerMode::Board, SimOptions options = {})
        : port(clock, WithVirtualClock(std::move(options))) {
        programmer.SelectMode(mode);
        programmer.SetClockRate(24.0);
        programmer.StartDriver();
        observer.Clear();
    }
    static SimOptions WithVirtualClock(SimOptions options) {
        options.virtualClock = true;
        return options;
    }
    void LoadImage(const FlashImage& image) {
        programmer.m_image = image;
        programmer.m_imageCrc = Crc(image);
        programmer.m_noFileLoaded = 0;
    }
    static std::uint16_t Crc(const FlashImage& image) {
        CCrc16 crc;
        crc.BuildTable();
        return crc.Compute(image.data(), static_cast<std::uint16_t>(image.size()));
    }
    const FlashImage& Flash() const { return port.Chip().Flash(); }

    VirtualClock clock;
    SimPort port;
    RecordingObserver observer;
    BitBangLink link{port, clock};
    Programmer programmer{link, clock, observer};
};

// Bytes [0, count) from `front`, the rest from `back`.
FlashImage Spliced(const FlashImage& front, const FlashImage& back, std::size_t count) {
    FlashImage image = back;
    std::copy_n(front.begin(), count, image.begin());
    return image;
}

const std::string kMatch = "notice:ImagesMatch";
const std::string kMismatch = "notice:ImagesDiffer";

class SimulatedChip : public ::testing::TestWithParam<ProgrammerMode> {};

INSTANTIATE_TEST_SUITE_P(Modes, SimulatedChip,
                         ::testing::Values(ProgrammerMode::Raw, ProgrammerMode::Board),
                         [](const auto& info) {
                             return info.param == ProgrammerMode::Raw ? std::string("Raw")
                                                                      : std::string("Board");
                         });

TEST_P(SimulatedChip, ProgramVerifyAndReadTheWholeChip) {
    SimRig rig(GetParam());
    rig.port.Chip().SetFlash(Filled(0x00));
    const FlashImage image = PatternImage();
    rig.LoadImage(image);

    rig.programmer.Program();
    EXPECT_EQ(rig.observer.LastStatus(), "Programmed");
    EXPECT_EQ(rig.Flash(), image);

    rig.observer.Clear();
    rig.programmer.Verify();
    EXPECT_EQ(rig.observer.Count(kMatch), 1);
    EXPECT_EQ(rig.programmer.m_readImage, image);
    EXPECT_EQ(rig.programmer.m_readCrc, rig.programmer.m_imageCrc);

    rig.programmer.m_readImage.fill(0x00);
    rig.programmer.Read();
    EXPECT_EQ(rig.programmer.m_readImage, image);
    EXPECT_EQ(rig.programmer.m_readCrc, SimRig::Crc(image));

    EXPECT_EQ(rig.programmer.m_errorFlag, 0);
    EXPECT_EQ(rig.port.Chip().ClockViolations(), 0u);
}

TEST_P(SimulatedChip, ReadOfAnErasedChipShows80F8) {
    SimRig rig(GetParam());
    rig.port.Chip().SetFlash(PatternImage());
    rig.programmer.Erase();
    EXPECT_EQ(rig.Flash(), Filled(0xFF));
    rig.programmer.Read();
    EXPECT_EQ(FormatCrc(rig.programmer.m_readCrc), "0x80F8");
}

TEST_P(SimulatedChip, ASmallFileIsProgrammedAsTheWholeFlash) {
    TempDir dir;
    const std::string path = dir.Path("klein.bin");
    FlashImage expected = Filled(0xFF);
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 100; ++i) {
            expected[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 3);
            out.put(static_cast<char>(i * 3));
        }
    }
    SimRig rig(GetParam());
    const LoadedImage loaded = LoadImageFile(path);
    ASSERT_TRUE(loaded.Loaded());
    rig.LoadImage(loaded.image);

    rig.programmer.Program();
    EXPECT_EQ(rig.Flash(), expected);
    // Every cell got its own write and read-back, the 0xFF behind the file's end included:
    // Programming Enable and Chip Erase of the erase step, Programming Enable, then two
    // instructions per byte.
    EXPECT_EQ(rig.port.Chip().InstructionCount(), 3u + 2u * 12288u);

    rig.observer.Clear();
    rig.programmer.Verify();
    EXPECT_EQ(rig.observer.Count(kMatch), 1);
}

TEST_P(SimulatedChip, VerifyComparesTheBytesNotOnlyTheCrc) {
    const FlashImage onChip = PatternImage(7);
    FlashImage differentByOne = onChip;
    differentByOne[4000] ^= 0x40;
    // A message followed by its own CRC has the CRC 0; adding such a tail changes three
    // bytes and keeps the CRC of the whole image.
    FlashImage sameCrc = onChip;
    sameCrc[12285] ^= 0x01;
    sameCrc[12286] ^= 0x10;
    sameCrc[12287] ^= 0x21;
    ASSERT_NE(sameCrc, onChip);
    ASSERT_EQ(SimRig::Crc(sameCrc), SimRig::Crc(onChip));

    const struct {
        const char* name;
        const FlashImage& loaded;
        const std::string& box;
    } cases[] = {{"equal", onChip, kMatch},
                 {"one byte", differentByOne, kMismatch},
                 {"equal CRC", sameCrc, kMismatch}};
    for (const auto& c : cases) {
        SimRig rig(GetParam());
        rig.port.Chip().SetFlash(onChip);
        rig.LoadImage(c.loaded);
        rig.programmer.Verify();
        EXPECT_EQ(rig.observer.Count(c.box), 1) << c.name;
        EXPECT_EQ(rig.programmer.m_readImage, onChip) << c.name;
        EXPECT_EQ(rig.programmer.m_readCrc, SimRig::Crc(onChip)) << c.name;
        // The result is only shown: no flag, the chip unchanged.
        EXPECT_EQ(rig.programmer.m_errorFlag, 0) << c.name;
        EXPECT_EQ(rig.Flash(), onChip) << c.name;
    }
}

TEST_P(SimulatedChip, AbortStopsBeforeTheNextByte) {
    const FlashImage image = PatternImage(3);
    for (const std::size_t byte : {std::size_t{0}, std::size_t{1}, std::size_t{5000}}) {
        {
            SimRig rig(GetParam());
            rig.LoadImage(image);
            // The erase's pump, the pause's pump, then one per byte.
            rig.observer.AtPump(2 + static_cast<int>(byte) + 1, [&] { rig.programmer.Abort(); });
            rig.programmer.Program();
            EXPECT_EQ(rig.observer.LastStatus(), "Aborted");
            EXPECT_EQ(rig.Flash(), Spliced(image, Filled(0xFF), byte)) << "program " << byte;
        }
        for (const bool verify : {false, true}) {
            SimRig rig(GetParam());
            rig.port.Chip().SetFlash(image);
            rig.LoadImage(image);
            rig.programmer.m_readCrc = 0xABCD;
            rig.observer.AtPump(static_cast<int>(byte) + 1, [&] { rig.programmer.Abort(); });
            verify ? rig.programmer.Verify() : rig.programmer.Read();
            EXPECT_EQ(rig.observer.LastStatus(), "Aborted");
            EXPECT_EQ(rig.programmer.m_readImage, Spliced(image, Filled(0xFF), byte))
                << (verify ? "verify " : "read ") << byte;
            EXPECT_EQ(rig.programmer.m_readCrc, 0xABCD);
            EXPECT_EQ(rig.observer.Count("status:ReadDone"), 0);
            EXPECT_EQ(rig.observer.Count(kMatch) + rig.observer.Count(kMismatch), 0);
        }
    }
}

TEST_P(SimulatedChip, AStuckCellEndsProgramWithTheBytesBeforeItWritten) {
    constexpr std::uint16_t kStuck = 0x1234;
    {
        SimOptions options;
        options.stuckCells[kStuck] = 0x00;
        SimRig rig(GetParam(), options);
        FlashImage image = PatternImage(5);
        image[kStuck] = 0xA5;
        rig.LoadImage(image);
        EXPECT_EQ(rig.programmer.Program(), ProgramOutcome::WriteFailed);

        EXPECT_EQ(rig.observer.LastStatus(), "ProgramFailed");
        EXPECT_EQ(rig.observer.Count("notice:ProgramFailed"), 1);
        EXPECT_EQ(rig.programmer.m_errorFlag, 1);
        FlashImage expected = Spliced(image, Filled(0xFF), kStuck);
        expected[kStuck] = rig.Flash()[kStuck];  // whatever the broken cell holds
        EXPECT_EQ(rig.Flash(), expected);
        // The progress bar stopped at the last step before the stuck cell.
        EXPECT_EQ(rig.observer.ProgressPositions().back(), kStuck / 307 * 307);
    }
}

TEST_P(SimulatedChip, AWriteThatNeverEndsFailsAfterPollingWithThePumpRunning) {
    SimOptions options;
    options.writeNeverCompletes = true;
    SimRig rig(GetParam(), options);
    rig.LoadImage(PatternImage(9));
    rig.programmer.Program();
    EXPECT_EQ(rig.observer.LastStatus(), "ProgramFailed");
    EXPECT_EQ(rig.programmer.m_errorFlag, 1);
    // The erase's, the pause's, byte 0's, and one between each of the polls.
    EXPECT_GT(rig.observer.Pumps(), 3 + 100);
}

TEST_P(SimulatedChip, SlowWritesArePolledToTheEnd) {
    SimOptions options;
    options.writeTimeUs = 2500;
    SimRig rig(GetParam(), options);
    const FlashImage image = PatternImage(11);
    rig.LoadImage(image);
    rig.programmer.Program();
    EXPECT_EQ(rig.observer.LastStatus(), "Programmed");
    EXPECT_EQ(rig.Flash(), image);
    EXPECT_GT(rig.observer.Pumps(), 2 + 12288);
}

TEST_P(SimulatedChip, LockBitsReachTheChipAndOnlyChipEraseLiftsThem) {
    for (int boxes = 0; boxes < 8; ++boxes) {
        SimRig rig(GetParam());
        rig.programmer.WriteLockBits({(boxes & 1) != 0, (boxes & 2) != 0, (boxes & 4) != 0});
        for (int bit = 1; bit <= 3; ++bit) {
            EXPECT_EQ(rig.port.Chip().LockBit(bit), ((boxes >> (bit - 1)) & 1) == 1)
                << boxes << " bit " << bit;
        }
        rig.programmer.Erase();
        for (int bit = 1; bit <= 3; ++bit) EXPECT_FALSE(rig.port.Chip().LockBit(bit));
    }
}

TEST_P(SimulatedChip, AfterLockBitOneAWriteFailsUntilTheChipIsErased) {
    SimRig rig(GetParam());
    rig.programmer.WriteLockBits({true, false, false});

    IspDriver isp(rig.port, rig.clock, GetParam(), rig.programmer.BitDelay());
    ASSERT_TRUE(isp.StartSequence());
    isp.ProgrammingEnable();
    rig.clock.Delay(10000);
    EXPECT_EQ(isp.WriteCodeByte(0x0100, 0x42), 0);
    isp.EndSequence();
    EXPECT_EQ(rig.Flash()[0x0100], 0xFF);

    // Program erases first, which lifts the lock.
    const FlashImage image = PatternImage(13);
    rig.LoadImage(image);
    rig.programmer.Program();
    EXPECT_EQ(rig.observer.LastStatus(), "Programmed");
    EXPECT_EQ(rig.Flash(), image);
    EXPECT_FALSE(rig.port.Chip().LockBit(1));
}

TEST_P(SimulatedChip, AfterLockBitTwoTheChipNoLongerReadsBack) {
    SimRig rig(GetParam());
    const FlashImage image = PatternImage(15);
    rig.port.Chip().SetFlash(image);
    rig.LoadImage(image);
    rig.programmer.WriteLockBits({false, true, false});
    rig.programmer.Read();
    EXPECT_NE(rig.programmer.m_readImage, image);
    rig.observer.Clear();
    rig.programmer.Verify();
    EXPECT_EQ(rig.observer.Count(kMismatch), 1);
    EXPECT_EQ(rig.Flash(), image);
}

TEST_P(SimulatedChip, ProgramWithoutAFileLeavesTheChipUntouched) {
    SimRig rig(GetParam());
    const FlashImage before = PatternImage(17);
    rig.port.Chip().SetFlash(before);
    rig.programmer.Program();
    EXPECT_EQ(rig.observer.Calls(), Calls{"notice:NoImage"});
    EXPECT_EQ(rig.Flash(), before);
    EXPECT_EQ(rig.port.Chip().InstructionCount(), 0u);
}

TEST(SimulatedChipWithoutBoard, ProgramShowsTheBoardMessageTwiceAndProgramsNothing) {
    SimOptions options;
    options.boardPresent = false;
    SimRig rig(ProgrammerMode::Board, options);
    const FlashImage before = PatternImage(19);
    rig.port.Chip().SetFlash(before);
    rig.LoadImage(PatternImage(21));
    rig.programmer.Program();

    EXPECT_EQ(rig.observer.Count("notice:BoardFailed"), 2);
    EXPECT_EQ(rig.observer.Count("status:BoardFailed"), 2);
    EXPECT_EQ(rig.observer.Count("exclusive"), 0);
    EXPECT_EQ(rig.programmer.m_errorFlag, 1);
    EXPECT_EQ(rig.Flash(), before);
}

}  // namespace
}  // namespace velmo::testing
