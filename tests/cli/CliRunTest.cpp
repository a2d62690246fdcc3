#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "CliTestRig.h"
#include "cli/CliOptions.h"
#include "image/Crc16.h"
#include "image/ImageFiles.h"
#include "port/Cable.h"

using namespace velmo;
using namespace velmo::cli;
using namespace velmo::testing;

namespace {

constexpr std::uint8_t kRstBit = MaskOf(IspLine::Rst);
constexpr std::uint8_t kEnableBit = MaskOf(IspLine::Enable);

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::size_t CountDifferent(const FlashImage& a, const FlashImage& b) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < FLASH_SIZE; ++i) count += a[i] != b[i] ? 1 : 0;
    return count;
}

// A program with erased stretches, so that --skip-blank has something to skip.
FlashImage ProgramWithGaps() {
    FlashImage image = PatternImage(1);
    for (std::size_t a = 0x0800; a < 0x2000; ++a) image[a] = 0xFF;
    for (std::size_t a = 0x2F00; a < FLASH_SIZE; ++a) image[a] = 0xFF;
    return image;
}

TEST(CliRunTest, EveryCommandLeavesTheChipAsItSays) {
    TempDir dir;
    CliRig rig;
    const LoadedImage example = LoadImageFile(kExampleHex);
    ASSERT_TRUE(example.Loaded());

    ASSERT_EQ(rig.Run({"info", kExampleHex}), kExitOk) << rig.err.str();
    EXPECT_TRUE(Contains(rig.out.str(), "Intel-HEX"));
    EXPECT_TRUE(Contains(rig.out.str(), "0x0000-0x00A2 (163 Bytes)")) << rig.out.str();
    EXPECT_TRUE(Contains(rig.out.str(), FormatCrc(example.crc)));
    EXPECT_EQ(rig.sim.Chip().InstructionCount(), 0u);  // info needs no chip

    ASSERT_EQ(rig.Run({"program", kExampleHex}), kExitOk) << rig.err.str();
    EXPECT_EQ(rig.Chip(), example.image);
    EXPECT_TRUE(Contains(rig.out.str(),
                         std::to_string(CountNotBlank(example.image)) + " Bytes geschrieben"))
        << rig.out.str();
    EXPECT_EQ(rig.sim.Chip().ClockViolations(), 0u);

    ASSERT_EQ(rig.Run({"verify", kExampleBin}), kExitOk) << rig.err.str();
    EXPECT_TRUE(Contains(rig.out.str(), "stimmen in allen 12288 Bytes überein"));

    const std::string binary = dir.Path("chip.bin");
    ASSERT_EQ(rig.Run({"read", binary}), kExitOk) << rig.err.str();
    EXPECT_EQ(ReadBytes(binary), std::string(example.image.begin(), example.image.end()));
    const std::string hex = dir.Path("chip.HEX");
    ASSERT_EQ(rig.Run({"read", hex}), kExitOk) << rig.err.str();
    const LoadedImage readBack = LoadImageFile(hex);
    ASSERT_TRUE(readBack.Loaded());
    EXPECT_EQ(readBack.format, ImageFormat::IntelHex);
    EXPECT_EQ(readBack.image, example.image);

    ASSERT_EQ(rig.Run({"lock", "1,2"}), kExitOk) << rig.err.str();
    EXPECT_TRUE(rig.sim.Chip().LockBit(1));
    EXPECT_TRUE(rig.sim.Chip().LockBit(2));
    EXPECT_FALSE(rig.sim.Chip().LockBit(3));

    ASSERT_EQ(rig.Run({"erase"}), kExitOk) << rig.err.str();
    FlashImage erased;
    ClearImage(erased);
    EXPECT_EQ(rig.Chip(), erased);
    EXPECT_FALSE(rig.sim.Chip().LockBit(1));
    EXPECT_FALSE(rig.sim.Chip().LockBit(2));
}

TEST(CliRunTest, AllThreeWaysToProgramLeaveTheSameChip) {
    TempDir dir;
    const FlashImage image = ProgramWithGaps();
    const std::string file = dir.WriteImage("gaps.bin", image);
    FlashImage erased;
    ClearImage(erased);
    const FlashImage before[] = {erased, PatternImage(9), image};
    const struct {
        std::vector<std::string> extra;
        std::string name;
    } ways[] = {{{}, "default"},
                {{"--skip-blank"}, "skip-blank"},
                {{"--all"}, "all"},
                {{"--changed-only"}, "changed"}};

    for (const auto& way : ways) {
        for (std::size_t b = 0; b < std::size(before); ++b) {
            SCOPED_TRACE(way.name + " from chip " + std::to_string(b));
            CliRig rig;
            rig.sim.Chip().SetFlash(before[b]);
            std::vector<std::string> args = {"program", file};
            args.insert(args.end(), way.extra.begin(), way.extra.end());
            ASSERT_EQ(rig.Run(args), kExitOk) << rig.err.str();
            EXPECT_EQ(rig.Chip(), image);
            EXPECT_EQ(rig.sim.Chip().ClockViolations(), 0u);

            // By default, as with --skip-blank, the erased chip's 0xFF are not written again.
            std::size_t expectWritten = CountNotBlank(image);
            if (way.name == "all") expectWritten = FLASH_SIZE;
            if (way.name == "changed") expectWritten = CountDifferent(before[b], image);
            EXPECT_TRUE(
                Contains(rig.out.str(), "verifiziert: " + std::to_string(expectWritten) + " Byte"))
                << rig.out.str();
        }
    }
}

TEST(CliRunTest, VerifyNamesTheFirstDifferenceAndCountsThemAll) {
    TempDir dir;
    CliRig rig;
    const FlashImage programmed = PatternImage(2);
    rig.sim.Chip().SetFlash(programmed);
    FlashImage file = programmed;
    file[0x0100] = static_cast<std::uint8_t>(programmed[0x0100] ^ 0x5A);
    file[0x2FFF] = 0xFF;
    const std::string path = dir.WriteImage("other.bin", file);

    EXPECT_EQ(rig.Run({"verify", path}), kExitFailure);
    char expected[120];
    std::snprintf(
        expected, sizeof expected,
        "erste Abweichung an Adresse 0x0100: Datei 0x%02X, Chip 0x%02X; 2 Bytes weichen ab",
        file[0x0100], programmed[0x0100]);
    EXPECT_TRUE(Contains(rig.err.str(), expected)) << rig.err.str();
    EXPECT_EQ(rig.Chip(), programmed);  // verify writes nothing
}

TEST(CliRunTest, LockBitMakesChangedOnlyFailAndAFullProgramHelps) {
    TempDir dir;
    const FlashImage first = PatternImage(4);
    FlashImage second = first;
    for (std::size_t a = 0x0200; a < 0x0210; ++a) second[a] ^= 0x33;
    const std::string secondFile = dir.WriteImage("second.bin", second);

    for (const std::string bits : {"1", "1,2"}) {
        SCOPED_TRACE("lock " + bits);
        CliRig rig;
        rig.sim.Chip().SetFlash(first);
        ASSERT_EQ(rig.Run({"lock", bits}), kExitOk);

        EXPECT_EQ(rig.Run({"program", "--changed-only", secondFile}), kExitFailure);
        const std::string err = rig.err.str();
        EXPECT_TRUE(Contains(err, "Lock-Bit")) << err;
        EXPECT_TRUE(Contains(err, "vollständiges \"velmo-cli program " + secondFile)) << err;
        EXPECT_EQ(rig.Chip(), first);  // nothing took

        ASSERT_EQ(rig.Run({"program", secondFile}), kExitOk) << rig.err.str();
        EXPECT_EQ(rig.Chip(), second);
        EXPECT_FALSE(rig.sim.Chip().LockBit(1));
    }
}

TEST(CliRunTest, CellsThatDoNotTakeTheirValueAreReported) {
    TempDir dir;
    SimOptions options = VirtualSim();
    options.stuckCells[0x0200] = 0x00;
    FlashImage image = PatternImage(6);
    image[0x0200] = 0xFF;  // not written by default, so only the verification can see it
    const std::string file = dir.WriteImage("stuck.bin", image);

    {
        CliRig rig(options);
        EXPECT_EQ(rig.Run({"program", file}), kExitFailure);
        EXPECT_TRUE(Contains(rig.err.str(),
                             "Verifizierung nach dem Programmieren fehlgeschlagen: erste "
                             "Abweichung an Adresse 0x0200: Datei 0xFF, Chip 0x00; 1 Byte weicht "
                             "ab"))
            << rig.err.str();
    }
    {
        // Writing every byte writes 0xFF there too; the cell never answers with it.
        CliRig rig(options);
        EXPECT_EQ(rig.Run({"program", "--all", file}), kExitFailure);
        EXPECT_TRUE(Contains(rig.err.str(),
                             "Fehler beim Programmieren: Adresse 0x0200 nimmt 0xFF nicht an "
                             "(Chip liefert 0x00)."))
            << rig.err.str();
        EXPECT_EQ(rig.DataRegister() & (kRstBit | kEnableBit), 0);
    }
}

TEST(CliRunTest, MissingBoardFailsInBoardModeOnlyAndReleasesTheLines) {
    SimOptions options = VirtualSim();
    options.boardPresent = false;
    CliRig rig(options);
    EXPECT_EQ(rig.Run({"--port", "278", "erase"}), kExitFailure);
    EXPECT_TRUE(
        Contains(rig.err.str(), "Fehler beim Initialisieren des Velmo-Boards (Port 0x0278;"))
        << rig.err.str();
    EXPECT_EQ(rig.DataRegister() & (kRstBit | kEnableBit), 0);
    // A board on GPIO lines has no port address to name.
    EXPECT_EQ(rig.Run({"--port", "gpio", "erase"}), kExitFailure);
    EXPECT_TRUE(Contains(rig.err.str(), "Velmo-Boards (GPIO-Leitungen;")) << rig.err.str();

    // The plain cable has no READY line and needs none.
    rig.sim.Chip().SetFlash(PatternImage(0));
    EXPECT_EQ(rig.Run({"--mode", "raw", "erase"}), kExitOk) << rig.err.str();
    EXPECT_EQ(rig.Chip()[0x1000], 0xFF);
}

TEST(CliRunTest, ADriverThatDoesNotStartIsAFailureWithItsReason) {
    std::ostringstream out;
    std::ostringstream err;
    CliContext context{out, err, false,
                       [](const std::string&, PortChoice, unsigned, const std::string&) {
                           return CreateLink({"nonsense", "", "", ""});
                       },
                       nullptr};
    EXPECT_EQ(RunCli({"erase"}, context), kExitFailure);
    EXPECT_TRUE(Contains(err.str(), "Port-Treiber nicht gestartet: Unbekannter Port-Treiber"))
        << err.str();
}

TEST(CliRunTest, UnusableInputIsRefusedBeforeTheChipIsTouched) {
    TempDir dir;
    const std::string broken = dir.Write("broken.hex", ":0300000002000BF1\n");
    const std::string empty = dir.Write("empty.hex", "");
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"program", dir.Path("missing.hex")}, "kann nicht geöffnet werden"},
        {{"verify", broken}, "besteht aber deren Prüfung nicht"},
        {{"program", empty}, "enthält keine Daten"},
        {{"read", dir.Path("no/such/dir/out.bin")}, "kann nicht angelegt werden"},
        {{"read", dir.Path("")}, "ist ein Verzeichnis"},
        {{"info", dir.Path("missing.bin")}, "kann nicht geöffnet werden"},
        {{"lock", "3"}, "Ungültige Lock-Bits"},
    };
    for (const auto& c : cases) {
        CliRig rig;
        EXPECT_EQ(rig.Run(c.args), kExitUsage) << c.reason;
        const std::string err = rig.err.str();
        EXPECT_TRUE(Contains(err, c.reason)) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(rig.sim.Chip().InstructionCount(), 0u) << c.reason;
    }
}

// The stop flag goes up while the chip works on byte n; the step ends before byte n + 1
// and the end sequence releases the lines.
TEST(CliRunTest, InterruptStopsBetweenTwoBytesAndEndsTheSequence) {
    TempDir dir;
    const FlashImage image = PatternImage(7);
    const std::string file = dir.WriteImage("image.bin", image);
    constexpr std::size_t kStopAt = 1000;
    const struct {
        ProgrammerMode mode;
        std::uint8_t linesAfter;  // RST and ENABLE after the end sequence
    } modes[] = {{ProgrammerMode::Board, 0}, {ProgrammerMode::Raw, kEnableBit}};

    for (const auto& m : modes) {
        const bool board = m.mode == ProgrammerMode::Board;
        SCOPED_TRACE(board ? "board" : "raw");
        CliRig rig;
        rig.afterWrite = [&rig, &image] {
            if (rig.stop == 0 && rig.sim.Chip().Flash()[kStopAt - 1] == image[kStopAt - 1]) {
                rig.stop = SIGINT;
            }
        };
        EXPECT_EQ(rig.Run({"program", file, "--mode", board ? "board" : "raw"}), 130);
        EXPECT_TRUE(Contains(rig.err.str(), "Abgebrochen bei Adresse " + Hex4(kStopAt)))
            << rig.err.str();
        EXPECT_TRUE(Contains(rig.err.str(), "Schreiben: ")) << rig.err.str();
        EXPECT_EQ(rig.DataRegister() & (kRstBit | kEnableBit), m.linesAfter);
        const FlashImage& chip = rig.Chip();
        EXPECT_TRUE(std::equal(chip.begin(), chip.begin() + kStopAt, image.begin()));
        EXPECT_TRUE(std::all_of(chip.begin() + kStopAt, chip.end(),
                                [](std::uint8_t b) { return b == 0xFF; }));
        EXPECT_FALSE(Contains(rig.out.str(), "Programmiert"));
    }
}

TEST(CliRunTest, InterruptDuringThePollingOfAByteStopsAtThatByte) {
    SimOptions options = VirtualSim();
    options.writeNeverCompletes = true;
    CliRig rig(options);
    std::int64_t polledFromNs = 0;
    rig.afterWrite = [&rig, &polledFromNs] {
        // The first byte's write never ends; Ctrl-C comes while it is being polled.
        if (rig.stop == 0 && rig.sim.Chip().BusyReads() == 3) {
            rig.stop = SIGINT;
            polledFromNs = rig.clock.NowNs();
        }
    };
    EXPECT_EQ(rig.Run({"program", kExampleHex}), 130);
    EXPECT_TRUE(Contains(rig.err.str(), "Abgebrochen bei Adresse 0x0000")) << rig.err.str();
    EXPECT_EQ(rig.DataRegister() & (kRstBit | kEnableBit), 0);
    EXPECT_LT(rig.sim.Chip().BusyReads(), 6u) << "the polling looks at the signal";
    EXPECT_GT(polledFromNs, 0);
}

TEST(CliRunTest, InterruptDuringTheStartSequenceSendsNoInstruction) {
    CliRig rig;
    rig.afterWrite = [&rig] { rig.stop = SIGINT; };
    EXPECT_EQ(rig.Run({"program", kExampleHex}), 130);
    const std::string err = rig.err.str();
    EXPECT_TRUE(Contains(err, "velmo-cli: Abgebrochen (Signal 2); Leitungen freigegeben")) << err;
    EXPECT_EQ(rig.sim.Chip().InstructionCount(), 0u);
    EXPECT_EQ(rig.DataRegister() & (kRstBit | kEnableBit), 0);
}

TEST(CliRunTest, InterruptedReadWritesNoFile) {
    TempDir dir;
    CliRig rig;
    rig.afterWrite = [&rig] {
        if (rig.sim.Chip().InstructionCount() >= 1 + 500) rig.stop = SIGTERM;
    };
    const std::string out = dir.Path("out.bin");
    // Named, so that no instruction goes out to find the chip before the reads are counted.
    EXPECT_EQ(rig.Run({"--chip", "at89s53", "read", out}), 128 + SIGTERM);
    EXPECT_TRUE(Contains(rig.err.str(), "Abgebrochen bei Adresse 0x01F4")) << rig.err.str();
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(rig.DataRegister() & (kRstBit | kEnableBit), 0);
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

TEST(CliRunTest, ProgressIsAFewPlainLinesPerStepWithoutATerminal) {
    CliRig rig;
    ASSERT_EQ(rig.Run({"program", "--all", kExampleHex}), kExitOk);
    const std::string err = rig.err.str();
    EXPECT_EQ(err.find('\r'), std::string::npos);
    for (const std::string step : {"Löschen: ", "Schreiben: ", "Verifizieren: "}) {
        const auto lines = LinesStartingWith(err, step);
        ASSERT_GE(lines.size(), 2u) << step;
        EXPECT_LE(lines.size(), 5u) << step;
        EXPECT_TRUE(Contains(lines.front(), "0/12288 Bytes (0 %)")) << lines.front();
        EXPECT_TRUE(Contains(lines.back(), "12288/12288 Bytes (100 %)")) << lines.back();
        EXPECT_TRUE(Contains(lines.back(), " s")) << lines.back();
    }
    // Simulated time: each of the 12288 writes takes the chip's 500 us plus the instruction and
    // the polls (about 7.3 to 9 s), far less than a fixed millisecond each would (12.3 s).
    const auto write = LinesStartingWith(err, "Schreiben: ");
    const std::size_t comma = write.back().rfind(", ");
    ASSERT_NE(comma, std::string::npos) << write.back();
    const double seconds = std::stod(write.back().substr(comma + 2));
    EXPECT_GT(seconds, 7.3) << write.back();
    EXPECT_LT(seconds, 9.0) << write.back();
}

TEST(CliRunTest, ProgressOnATerminalIsOneRedrawnBar) {
    CliRig rig;
    ASSERT_EQ(rig.Run({"verify", kExampleHex}, /*terminal=*/true), kExitFailure);
    const std::string err = rig.err.str();
    const auto redraws = std::count(err.begin(), err.end(), '\r');
    EXPECT_GT(redraws, 10);
    EXPECT_LT(redraws, 400);  // not one per byte
    EXPECT_TRUE(Contains(err, "[####################] 12288/12288 Bytes (100 %)")) << err;
    // The bar's line is ended before the failure's reason is printed.
    EXPECT_TRUE(Contains(err, "\x1b[K\nvelmo-cli: Chip und Datei stimmen nicht überein")) << err;
}

}  // namespace
