// Two velmo-cli runs on one simulated chip at once: the chip file is locked while a driver
// runs on it, so the second run waits (and says so) or, after its time, is refused; neither
// loses the other's work.
#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <string>

#include "ChildProcess.h"
#include "CliTestRig.h"

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

}  // namespace
