// Two velmo-cli runs on one simulated chip at once: the chip file is locked while a driver
// runs on it, so the second run waits (and says so), ends at a stop signal, or, after its
// time, is refused; neither loses the other's work. The lock holds while the file is made
// and when it is replaced, and every byte the chip took is in the file at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>
#include <string>

#include "cli/CliTestRig.h"
#include "cli/posix/ChildProcess.h"

using namespace velmo;
using namespace velmo::testing;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::map<std::string, std::string> Sim(const std::string& chip, const std::string& options) {
    return {{"VELMO_PORT", "sim"},
            {"VELMO_SIM_OPTIONS", options},
            {"VELMO_SIM_CHIP", chip},
            {"VELMO_TRACE", ""}};
}

const char* const kWaits = "wird von einem anderen Lauf benutzt; warte bis zu";

TEST(TwoRunsOnOneChip, TheSecondWaitsForTheFirstAndLeavesItsOwnImage) {
    TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    // The first run takes real time (its read-back alone some seconds at a slow programming
    // clock); the second runs on the virtual clock once it may.
    const std::string first = dir.WriteImage("first.bin", ImageOf("\x01\x02\x03\x04"));
    const FlashImage secondImage = PatternImage(5);
    const std::string second = dir.WriteImage("second.bin", secondImage);

    ChildResult later;
    bool started = false;
    const ChildResult earlier =
        RunCli({"--mode", "raw", "--clock", "6", "program", "--skip-blank", first},
               Sim(chip, "clock=real"), [&](pid_t, const std::string& err) {
                   if (started || !Contains(err, "Schreiben:")) return;
                   started = true;
                   later = RunCli({"program", second}, Sim(chip, "clock=virtual"));
               });
    ASSERT_TRUE(started) << earlier.err;
    EXPECT_EQ(earlier.status, 0) << earlier.err;
    EXPECT_EQ(later.status, 0) << later.err;
    EXPECT_TRUE(Contains(later.err, std::string("velmo-cli: Die Chip-Datei \"") + chip +
                                        "\" (VELMO_SIM_CHIP) " + kWaits + " 30 s"))
        << later.err;
    EXPECT_TRUE(Contains(later.out, "Programmiert und verifiziert")) << later.out;
    // The run that ended last left its whole image; nothing of the first run's is mixed in.
    EXPECT_EQ(ReadBytes(chip), std::string(secondImage.begin(), secondImage.end()));
    const ChildResult check = RunCli({"verify", second}, Sim(chip, "clock=virtual"));
    EXPECT_EQ(check.status, 0) << check.err;
}

TEST(TwoRunsOnOneChip, ASecondRunThatWaitsTooLongIsRefusedAndTouchesNothing) {
    TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    const FlashImage image = PatternImage(4);
    const std::string file = dir.WriteImage("image.bin", image);

    ChildResult later;
    bool started = false;
    const ChildResult earlier =
        RunCli({"program", file}, Sim(chip, "clock=real"), [&](pid_t pid, const std::string& err) {
            if (started || !Contains(err, "Schreiben: 0/12288")) return;
            started = true;
            later = RunCli({"erase"}, Sim(chip, "clock=virtual,lockwait=1"));
            ::kill(pid, SIGINT);
        });
    ASSERT_TRUE(started) << earlier.err;
    EXPECT_EQ(earlier.status, 130) << earlier.err;
    EXPECT_EQ(later.status, 1) << later.err;
    EXPECT_TRUE(Contains(later.err, kWaits)) << later.err;
    EXPECT_TRUE(Contains(later.err, "nach 1 s Warten aufgegeben")) << later.err;
    // The first run's bytes are still there: the refused run erased nothing.
    const std::string flash = ReadBytes(chip);
    ASSERT_EQ(flash.size(), FLASH_SIZE);
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0]), image[0]);
}

// A slow run that holds the chip (about 3 s of real time for the example at this clock).
ChildResult Holder(const std::string& chip, const std::string& image,
                   const std::function<void(pid_t, const std::string&)>& onErr) {
    return RunCli({"--mode", "raw", "--clock", "12", "program", image}, Sim(chip, "clock=real"),
                  onErr);
}

TEST(TwoRunsOnOneChip, ARunWaitingForTheLockEndsAtOnceOnAStopSignal) {
    TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
    bool started = false;
    Holder(chip, kExampleBin, [&](pid_t holder, const std::string& err) {
        if (started || !Contains(err, "Schreiben:")) return;
        started = true;
        for (const auto& c : cases) {
            SCOPED_TRACE(c.signal);
            const ChildResult waiting = RunCli({"erase"}, Sim(chip, "clock=virtual,lockwait=3600"),
                                               [&](pid_t pid, const std::string& text) {
                                                   if (Contains(text, kWaits))
                                                       ::kill(pid, c.signal);
                                               });
            EXPECT_EQ(waiting.status, c.status) << waiting.err;
            EXPECT_TRUE(Contains(waiting.err, "wurde abgebrochen (Signal")) << waiting.err;
        }
        ::kill(holder, SIGINT);
    });
    EXPECT_TRUE(started);
}

// Three runs that start together on a chip file not made yet: one makes it and works, the
// others find it locked (they may not wait) and touch nothing.
TEST(TwoRunsOnOneChip, RunsOnAChipFileNotMadeYetNeverWorkTogether) {
    TempDir dir;
    for (char n : {'1', '2', '3'}) dir.Write(std::string("image") + n + ".bin", std::string(16, n));
    ChildSetup shell;
    shell.prefix = {"/bin/bash", "-c",
                    "cd '" + dir.Root() +
                        "'; for n in 1 2 3; do (\"$1\" --mode raw --clock 12 program image$n.bin "
                        "2>err$n; echo $? >status$n) & done; wait",
                    "bash"};
    const ChildResult result =
        RunCli({}, Sim(dir.Path("chip.bin"), "clock=real,lockwait=0"), {}, shell);
    ASSERT_EQ(result.status, 0) << result.err;
    int succeeded = 0;
    std::string image;
    for (char n : {'1', '2', '3'}) {
        const std::string status = ReadBytes(dir.Path(std::string("status") + n));
        const std::string err = ReadBytes(dir.Path(std::string("err") + n));
        if (status == "0\n") {
            ++succeeded;
            const FlashImage programmed = ImageOf(std::string(16, n));
            image.assign(programmed.begin(), programmed.end());
        } else {
            EXPECT_EQ(status, "1\n") << err;
            EXPECT_TRUE(Contains(err, "nach 0 s Warten aufgegeben")) << err;
        }
    }
    EXPECT_EQ(succeeded, 1);
    EXPECT_EQ(ReadBytes(dir.Path("chip.bin")), image);
}

// What happens to the chip file while a run reads the chip back.
TEST(TwoRunsOnOneChip, TheChipFileHoldsWhatTheChipTookAndIsNeverWrittenOnceReplaced) {
    const FlashImage example = ImageOf(ReadBytes(kExampleBin));
    const FlashImage other = PatternImage(9);
    const struct {
        const char* name;
        bool replace;  // else: the run is killed
        int status;
        FlashImage left;  // the file afterwards
    } cases[] = {
        {"killed", false, -1, example},
        {"replaced", true, 1, other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string chip = dir.Path("chip.bin");
        const std::string replacement = dir.WriteImage("other.bin", other);
        bool acted = false;
        ChildResult second;
        const ChildResult holder =
            Holder(chip, kExampleBin, [&](pid_t pid, const std::string& err) {
                if (acted || !Contains(err, "Verifizieren:")) return;
                acted = true;
                if (!c.replace) {
                    ::kill(pid, SIGKILL);
                    return;
                }
                std::filesystem::rename(replacement, chip);
                // The lock stays with the name: a second run still finds it taken.
                second = RunCli({"erase"}, Sim(chip, "clock=virtual,lockwait=0"));
            });
        ASSERT_TRUE(acted) << holder.err;
        EXPECT_EQ(holder.status, c.status) << holder.err;
        EXPECT_EQ(ReadBytes(chip), std::string(c.left.begin(), c.left.end()));
        if (c.replace) {
            EXPECT_TRUE(Contains(holder.err, "während des Laufs ersetzt oder entfernt"))
                << holder.err;
            EXPECT_EQ(second.status, 1) << second.err;
        }
    }
}

}  // namespace
