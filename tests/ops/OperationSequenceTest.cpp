// What each device operation shows the user, in order, and what it sends down the cable,
// on a port whose chip reads as erased.
#include <gtest/gtest.h>

#include <functional>

#include "FakeRig.h"

namespace velmo::testing {
namespace {

using Calls = std::vector<std::string>;

const std::string kChooseFile = "notice:NoImage";

const std::vector<std::uint8_t> kProgrammingEnable = {0xAC, 0x53, 0x55};
const std::vector<std::uint8_t> kChipErase = {0xAC, 0x04, 0x00};

std::uint8_t ReadInstructionFor(std::uint32_t address) {
    const std::uint32_t high = (address >> 8) & 0x1F;  // A8..A12
    const std::uint32_t a13 = (address >> 13) & 1;
    return static_cast<std::uint8_t>((high << 3) | (a13 << 2) | 0x01);
}
std::uint8_t WriteInstructionFor(std::uint32_t address) {
    return static_cast<std::uint8_t>((ReadInstructionFor(address) & 0xFC) | 0x02);
}

std::vector<std::uint8_t> Bytes(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Write plus the read-back that confirms it at once, for every address in [0, count).
std::vector<std::uint8_t> WritesOf(const FlashImage& image, std::uint32_t count) {
    std::vector<std::uint8_t> wire;
    for (std::uint32_t a = 0; a < count; ++a) {
        const auto low = static_cast<std::uint8_t>(a & 0xFF);
        wire.insert(wire.end(),
                    {WriteInstructionFor(a), low, image[a], ReadInstructionFor(a), low, 0x00});
    }
    return wire;
}
std::vector<std::uint8_t> ReadsOf(std::uint32_t count) {
    std::vector<std::uint8_t> wire;
    for (std::uint32_t a = 0; a < count; ++a) {
        wire.insert(wire.end(), {ReadInstructionFor(a), static_cast<std::uint8_t>(a & 0xFF), 0x00});
    }
    return wire;
}

const Calls kEraseCalls = {"status:Erasing", "status:Erased", "pump"};

// Lines after an operation's end sequence: the board is switched off; the raw cable only
// leaves reset.
void ExpectEnded(const FakePort& port, ProgrammerMode mode) {
    EXPECT_EQ(port.Line(IspLine::Enable), mode == ProgrammerMode::Raw);
    EXPECT_FALSE(port.Line(IspLine::Rst));
    EXPECT_FALSE(port.Line(IspLine::Sck));
}
// Lines as a start sequence leaves them when nothing ends it.
void ExpectStartedOnly(const FakePort& port) {
    EXPECT_TRUE(port.Line(IspLine::Enable));
    EXPECT_TRUE(port.Line(IspLine::Rst));
}

class OperationSequence : public ::testing::TestWithParam<ProgrammerMode> {};

INSTANTIATE_TEST_SUITE_P(Modes, OperationSequence,
                         ::testing::Values(ProgrammerMode::Raw, ProgrammerMode::Board),
                         [](const auto& info) {
                             return info.param == ProgrammerMode::Raw ? std::string("Raw")
                                                                      : std::string("Board");
                         });

TEST_P(OperationSequence, Erase) {
    FakeRig rig(GetParam());
    rig.programmer.Erase();
    EXPECT_EQ(rig.observer.Calls(), kEraseCalls);
    EXPECT_EQ(rig.port.Mosi(), Bytes({kProgrammingEnable, kChipErase}));
    EXPECT_EQ(rig.programmer.m_errorFlag, 0);
    ExpectEnded(rig.port, GetParam());
}

TEST_P(OperationSequence, ProgramWritesAllBytesWithProgressAndPause) {
    FakeRig rig(GetParam());
    rig.LoadImage(Filled(0xFF));
    EXPECT_EQ(rig.programmer.Program(), ProgramOutcome::Programmed);

    EXPECT_EQ(rig.observer.Calls(),
              Concat({kEraseCalls,
                      {"pump", "exclusive", "range:12288", "pos:0", "status:Programming"},
                      ByteLoopCalls(),
                      {"status:Programmed", "finished"}}));
    EXPECT_EQ(rig.clock.sleeps, std::vector<std::uint32_t>{500});
    EXPECT_EQ(rig.port.Mosi(), Bytes({kProgrammingEnable, kChipErase, kProgrammingEnable,
                                      WritesOf(rig.programmer.m_image, 12288)}));
    EXPECT_EQ(rig.programmer.m_errorFlag, 0);
    ExpectEnded(rig.port, GetParam());
}

TEST_P(OperationSequence, VerifyAgreeingAndDisagreeing) {
    for (const bool agree : {true, false}) {
        FakeRig rig(GetParam());
        FlashImage image = Filled(0xFF);
        if (!agree) image[12287] = 0xFE;
        rig.LoadImage(image);
        rig.programmer.m_readImage.fill(0x00);
        rig.programmer.Verify();

        const std::string notice = agree ? "notice:ImagesMatch" : "notice:ImagesDiffer";
        EXPECT_EQ(rig.observer.Calls(), Concat({{"status:Verifying", "exclusive", "range:12288"},
                                                ByteLoopCalls(),
                                                {"status:Verified", notice, "finished"}}));
        EXPECT_EQ(rig.programmer.m_readImage, Filled(0xFF));
        EXPECT_EQ(rig.programmer.m_readCrc, 0x80F8);
        EXPECT_EQ(rig.port.Mosi(), Bytes({kProgrammingEnable, ReadsOf(12288)}));
        // A mismatch is a result, not a failure.
        EXPECT_EQ(rig.programmer.m_errorFlag, 0);
        ExpectEnded(rig.port, GetParam());
    }
}

TEST_P(OperationSequence, ReadShowsTheCrcOfTheErasedChip) {
    FakeRig rig(GetParam());
    rig.programmer.m_readImage.fill(0x12);
    rig.programmer.m_image.fill(0x34);
    rig.programmer.m_imageCrc = 0x4321;
    rig.programmer.Read();

    EXPECT_EQ(rig.observer.Calls(), Concat({{"status:Reading", "shared", "range:12288"},
                                            ByteLoopCalls(),
                                            {"status:ReadDone", "sharedFinished"}}));
    EXPECT_EQ(rig.programmer.m_readImage, Filled(0xFF));
    EXPECT_EQ(rig.programmer.m_readCrc, 0x80F8);
    EXPECT_EQ(rig.port.Mosi(), Bytes({kProgrammingEnable, ReadsOf(12288)}));
    // Read does not need or change the loaded image.
    EXPECT_EQ(rig.programmer.m_image, Filled(0x34));
    EXPECT_EQ(rig.programmer.m_imageCrc, 0x4321);
    ExpectEnded(rig.port, GetParam());
}

TEST_P(OperationSequence, LockBitsForEveryCombination) {
    const struct {
        bool bit1, bit2, bit3;
        std::uint8_t lockByte;
    } cases[] = {{false, false, false, 0xFF}, {true, false, false, 0x7F},
                 {false, true, false, 0xBF},  {false, false, true, 0xDF},
                 {true, true, false, 0x3F},   {true, false, true, 0x5F},
                 {false, true, true, 0x9F},   {true, true, true, 0x1F}};
    for (const auto& c : cases) {
        FakeRig rig(GetParam());
        rig.programmer.WriteLockBits({c.bit1, c.bit2, c.bit3});

        EXPECT_EQ(rig.observer.Calls(), (Calls{"status:WritingLockBits", "exclusive", "finished",
                                               "status:LockBitsWritten"}));
        EXPECT_EQ(rig.port.Mosi(), Bytes({kProgrammingEnable, {0xAC, c.lockByte, 0x00}}))
            << c.bit1 << c.bit2 << c.bit3;
        ExpectEnded(rig.port, GetParam());
    }
}

TEST_P(OperationSequence, ProgramWithoutAFileTouchesNothing) {
    FakeRig rig(GetParam());
    EXPECT_EQ(rig.programmer.Program(), ProgramOutcome::NoImage);
    EXPECT_EQ(rig.observer.Calls(), Calls{kChooseFile});
    EXPECT_TRUE(rig.port.DataValues().empty());
    EXPECT_TRUE(rig.clock.sleeps.empty());
    EXPECT_EQ(rig.programmer.m_errorFlag, 0);
}

TEST_P(OperationSequence, VerifyWithoutAFileStopsAfterTheStart) {
    FakeRig rig(GetParam());
    rig.programmer.m_readImage.fill(0x12);
    rig.programmer.Verify();
    EXPECT_EQ(rig.observer.Calls(), Calls{kChooseFile});
    EXPECT_TRUE(rig.port.Mosi().empty());
    EXPECT_EQ(rig.programmer.m_readImage, Filled(0x12));
    ExpectStartedOnly(rig.port);
}

TEST_P(OperationSequence, ProgressRunsInStepsOf307AndNeverReachesTheEnd) {
    FakeRig rig(GetParam());
    rig.programmer.Read();
    std::vector<int> expected;
    for (int position = 0; position <= 12280; position += 307) expected.push_back(position);
    EXPECT_EQ(rig.observer.ProgressPositions(), expected);
    EXPECT_EQ(expected.back(), 12280);
    EXPECT_EQ(rig.observer.Count("pos:12288"), 0);
}

TEST_P(OperationSequence, OperationRunningHoldsWhileTheLoopPumps) {
    FakeRig rig(GetParam());
    bool runningInside = false;
    rig.observer.AtPump(100, [&] { runningInside = rig.programmer.OperationRunning(); });
    rig.programmer.Read();
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(rig.programmer.OperationRunning());
}

// --- the board does not answer ---

TEST(OperationWithoutBoard, EveryOperationStopsAtTheStartWithTheBoardMessage) {
    const Calls failed = {"notice:BoardFailed", "status:BoardFailed"};
    const struct {
        const char* name;
        std::function<void(Programmer&)> run;
        Calls expected;
    } cases[] = {
        {"erase", [](Programmer& p) { p.Erase(); }, failed},
        // Once in its erase step, once in its own start; nothing programmed in between.
        {"program", [](Programmer& p) { p.Program(); }, Concat({failed, {"pump"}, failed})},
        {"verify", [](Programmer& p) { p.Verify(); }, failed},
        {"read", [](Programmer& p) { p.Read(); }, failed},
        {"lock bits",
         [](Programmer& p) {
             p.WriteLockBits({true, false, false});
         },
         failed},
    };
    for (const auto& c : cases) {
        FakeRig rig(ProgrammerMode::Board);
        rig.port.SetReady(false);
        rig.LoadImage(Filled(0x00));
        rig.programmer.m_readImage.fill(0x12);
        c.run(rig.programmer);

        EXPECT_EQ(rig.observer.Calls(), c.expected) << c.name;
        EXPECT_EQ(rig.programmer.m_errorFlag, 1) << c.name;
        EXPECT_TRUE(rig.port.Mosi().empty()) << c.name;
        // No end sequence after a failed start.
        ExpectStartedOnly(rig.port);
        // Read clears its image before it starts.
        const std::uint8_t expectedRead = std::string(c.name) == "read" ? 0xFF : 0x12;
        EXPECT_EQ(rig.programmer.m_readImage, Filled(expectedRead)) << c.name;
    }
}

TEST(OperationWithoutBoard, ProgramSaysTheBoardFailedBeforeAnyByte) {
    FakeRig rig(ProgrammerMode::Board);
    rig.port.SetReady(false);
    rig.LoadImage(Filled(0x00));
    EXPECT_EQ(rig.programmer.Program(), ProgramOutcome::BoardFailed);
}

TEST(OperationWithoutBoard, TheErrorFlagStaysSetAfterALaterSuccess) {
    FakeRig rig(ProgrammerMode::Board);
    rig.port.SetReady(false);
    rig.programmer.Erase();
    rig.port.SetReady(true);
    rig.programmer.Erase();
    EXPECT_EQ(rig.observer.LastStatus(), "Erased");
    EXPECT_EQ(rig.programmer.m_errorFlag, 1);
}

TEST(OperationWithoutBoard, TheRawCableNeedsNoAnswer) {
    FakeRig rig(ProgrammerMode::Raw);
    rig.port.SetReady(false);
    rig.programmer.Erase();
    EXPECT_EQ(rig.observer.Calls(), kEraseCalls);
    EXPECT_EQ(rig.programmer.m_errorFlag, 0);
}

// --- abort ---

struct AbortCase {
    const char* name;
    std::function<void(Programmer&)> run;
    int pumpsBeforeLoop;
    Calls before;  // calls up to the byte loop
};

TEST(OperationAbort, TheLoopStopsBeforeTheNextByte) {
    const AbortCase cases[] = {
        {"program", [](Programmer& p) { p.Program(); }, 2,
         Concat(
             {kEraseCalls, {"pump", "exclusive", "range:12288", "pos:0", "status:Programming"}})},
        {"verify",
         [](Programmer& p) { p.Verify(); },
         0,
         {"status:Verifying", "exclusive", "range:12288"}},
        {"read", [](Programmer& p) { p.Read(); }, 0, {"status:Reading", "shared", "range:12288"}},
    };
    for (const auto& c : cases) {
        for (const int abortAtByte : {0, 1, 614, 12287}) {
            FakeRig rig(ProgrammerMode::Board);
            rig.LoadImage(Filled(0xFF));
            rig.programmer.m_readCrc = 0x1234;
            rig.observer.AtPump(c.pumpsBeforeLoop + abortAtByte + 1,
                                [&] { rig.programmer.Abort(); });
            const std::size_t wireBefore = c.pumpsBeforeLoop ? 9 : 3;
            c.run(rig.programmer);

            EXPECT_EQ(rig.observer.Calls(), Concat({c.before,
                                                    ByteLoopCalls(abortAtByte),
                                                    {"pump", "finished", "status:Aborted"}}))
                << c.name << " at " << abortAtByte;
            // Exactly the bytes before the abort went over the wire.
            const std::size_t perByte = c.pumpsBeforeLoop ? 6 : 3;
            EXPECT_EQ(rig.port.Mosi().size(), wireBefore + perByte * abortAtByte) << c.name;
            EXPECT_EQ(rig.programmer.m_errorFlag, 0) << c.name;
            EXPECT_EQ(rig.programmer.m_readCrc, 0x1234) << c.name;
            ExpectEnded(rig.port, ProgrammerMode::Board);
        }
    }
}

TEST(OperationAbort, EachLoopClearsAnEarlierAbort) {
    FakeRig rig(ProgrammerMode::Raw);
    rig.programmer.Abort();
    EXPECT_EQ(rig.observer.Calls(), Calls{"finished"});
    rig.observer.Clear();
    rig.programmer.Read();
    EXPECT_EQ(rig.observer.LastStatus(), "ReadDone");
    EXPECT_EQ(rig.programmer.AbortRequested(), false);
}

// --- a byte that does not program ---

TEST(OperationWriteFailure, StopsAtTheByteThatDidNotTake) {
    {
        FakeRig rig(ProgrammerMode::Board);
        FlashImage image = Filled(0xFF);
        image[3] = 0x00;  // reads back as 0xFF on this port, however long it is polled
        rig.LoadImage(image);
        EXPECT_EQ(rig.programmer.Program(), ProgramOutcome::WriteFailed);

        EXPECT_EQ(rig.observer.CallsWithoutLoop(),
                  (Calls{"status:Erasing", "status:Erased", "exclusive", "range:12288",
                         "status:Programming", "notice:ProgramFailed", "status:ProgramFailed",
                         "finished"}));
        EXPECT_EQ(rig.programmer.m_errorFlag, 1);
        EXPECT_EQ(rig.programmer.AbortRequested(), true);

        // Bytes 0..2 went out once each, byte 3 was written and polled, nothing after it.
        const auto& wire = rig.port.Mosi();
        const auto programStart =
            Bytes({kProgrammingEnable, kChipErase, kProgrammingEnable, WritesOf(image, 3)});
        ASSERT_GT(wire.size(), programStart.size());
        EXPECT_TRUE(std::equal(programStart.begin(), programStart.end(), wire.begin()));
        const std::vector<std::uint8_t> writeOfByte3 = {WriteInstructionFor(3), 3, 0x00};
        EXPECT_TRUE(std::equal(writeOfByte3.begin(), writeOfByte3.end(),
                               wire.begin() + static_cast<long>(programStart.size())));
        const std::size_t readBacks = (wire.size() - programStart.size() - 3) / 3;
        EXPECT_EQ(readBacks, 202u);
        EXPECT_EQ((wire.size() - programStart.size() - 3) % 3, 0u);
        ExpectEnded(rig.port, ProgrammerMode::Board);
    }
}

TEST(OperationWriteFailure, AnAbortDuringThePollingIsReportedAsAbort) {
    FakeRig rig(ProgrammerMode::Board);
    FlashImage image = Filled(0xFF);
    image[0] = 0x00;
    rig.LoadImage(image);
    // Pumps: the erase's, the pause's, byte 0's; then the write's polls.
    std::size_t wireAtAbort = 0;
    rig.observer.AtPump(3 + 5, [&] {
        rig.programmer.Abort();
        wireAtAbort = rig.port.Mosi().size();
    });
    EXPECT_EQ(rig.programmer.Program(), ProgramOutcome::Aborted);
    EXPECT_EQ(rig.port.Mosi().size(), wireAtAbort) << "no poll clocks the released lines";
    ExpectEnded(rig.port, ProgrammerMode::Board);

    EXPECT_EQ(rig.observer.LastStatus(), "Aborted");
    EXPECT_EQ(rig.observer.Count("notice:ProgramFailed"), 0);
    EXPECT_EQ(rig.observer.Count("finished"), 1);
    EXPECT_EQ(rig.programmer.m_errorFlag, 0);
}

}  // namespace
}  // namespace velmo::testing
