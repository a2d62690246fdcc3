// The batch call without a window, on the simulated chip: every outcome's lines and exit
// status, a stop from outside, and a close request in the middle of the run.
#include "ops/BatchRunner.h"

#include <gtest/gtest.h>

#include "link/BitBangLink.h"
#include "sim/SimOptions.h"
#include "sim/SimPort.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

const std::string kBlink = VELMO_SOURCE_DIR "/examples/blink.ihx";

// A runner on the simulator; the lines it writes, without the progress lines (counted).
struct RunnerRig {
    explicit RunnerRig(const std::string& simOptions, const std::string& chipFile = "",
                       const volatile std::sig_atomic_t* stop = nullptr) {
        std::string error;
        SimOptions options = *ParseSimOptions(simOptions, &error);
        options.virtualClock = true;
        options.chipFile = chipFile;
        port = std::make_unique<SimPort>(clock, options);
        link = std::make_unique<BitBangLink>(*port, clock);
        runner = std::make_unique<BatchRunner>(
            *link, clock, nullptr, "velmo",
            [this](const std::string& line) {
                if (line.rfind("Fortschritt: ", 0) == 0) {
                    ++progress;
                } else {
                    lines.push_back(line);
                }
            },
            stop);
        runner->SetStartDelayMs(0);
    }
    int Run(const std::string& line) { return runner->Run(ParseCommandLine(line)); }

    VirtualClock clock;
    std::unique_ptr<SimPort> port;
    std::unique_ptr<BitBangLink> link;
    std::unique_ptr<BatchRunner> runner;
    std::vector<std::string> lines;
    int progress = 0;
};

TEST(BatchRunner, EachOutcomeWritesItsLinesAndEndsWithItsStatus) {
    testing::TempDir dir;
    const std::string large = dir.Write("large.bin", std::string(12289, '\0'));
    const std::string started = "Status: DriverLinx I/O erfolgreich gestartet!";
    const std::string board = "Fehler beim Initialisieren des Velmo-Boards";
    const std::vector<std::string> programming = {started, "Status: Lösche Flash..",
                                                  "Status: Flash gelöscht",
                                                  "Status: Programmieren des Controllers..."};
    auto with = [](std::vector<std::string> lines, std::vector<std::string> more) {
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    };
    struct Row {
        const char* name;
        std::string line;
        const char* simOptions;
        std::string chipFile;
        int status;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"programmed", "-a1 -p378 -m2 -t11.0 -f" + kBlink, "", "", 0,
         with(programming, {"Status: Datei erfolgreich programmiert!"})},
        {"not found",
         "-a1 -f" + dir.Path("fehlt.hex"),
         "",
         "",
         1,
         {started, "velmo: Datei nicht gefunden!"}},
        {"no usable image",
         "-a1 -m1 -f" + large,
         "",
         "",
         1,
         {started, "Status: Datei erfolgreich geöffnet!",
          "velmo: Datei ist größer als Flash-Speicher des Controllers!",
          "velmo: Bitte wählen Sie zuerst eine Datei aus!"}},
        {"no board",
         "-a1 -m2 -f" + kBlink,
         "board=absent",
         "",
         1,
         {started, "velmo: " + board, "Status: " + board, "velmo: " + board, "Status: " + board}},
        {"byte fails", "-a1 -m2 -f" + kBlink, "stuck=0000:55", "", 1,
         with(programming,
              {"velmo: Fehler beim Programmieren!", "Status: Fehler beim Programmieren!"})},
        {"nothing to program", "-a1 -p378 -m2", "", "", 0, {started}},
        {"another action", "-a2 -f" + kBlink, "", "", 0, {started}},
        // A folder as the chip file: the simulator's driver does not start.
        {"no driver",
         "-a1 -f" + kBlink,
         "",
         dir.Root(),
         1,
         {"Status: Fehler beim Starten von DriverLinx I/O! Die Chip-Datei"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunnerRig rig(row.simOptions, row.chipFile);
        EXPECT_EQ(rig.Run(row.line), row.status);
        ASSERT_EQ(rig.lines.size(), row.lines.size()) << ::testing::PrintToString(rig.lines);
        for (std::size_t i = 0; i < row.lines.size(); ++i) {
            EXPECT_EQ(rig.lines[i].rfind(row.lines[i], 0), 0u) << rig.lines[i];
        }
        // The progress bar's positions: every 307 bytes of the 12288.
        if (row.status == 0 && row.lines.size() > 1) {
            EXPECT_GE(rig.progress, 41);
        }
    }
}

TEST(BatchRunner, AStopOrACloseRequestEndsTheRunWithStatusOne) {
    volatile std::sig_atomic_t stop = 0;
    RunnerRig stopped("", "", &stop);
    int pumps = 0;
    stopped.runner->SetPump([&] {
        if (++pumps == 100) stop = 2;
    });
    EXPECT_EQ(stopped.Run("-a1 -m2 -f" + kBlink), 1);
    EXPECT_EQ(stopped.lines.back(), "Status: Aktion abgebrochen");

    // The program ends on a close request with the status Close gives: 1 until the file is
    // programmed, 0 once it is.
    RunnerRig closed("");
    int status = -1;
    closed.runner->SetPump([&] {
        if (++pumps == 300) status = closed.runner->Close();
    });
    closed.Run("-a1 -m2 -f" + kBlink);
    EXPECT_EQ(status, 1);
    RunnerRig finished("");
    EXPECT_EQ(finished.Run("-a1 -m2 -f" + kBlink), 0);
    EXPECT_EQ(finished.runner->Close(), 0);
}

}  // namespace
}  // namespace velmo
