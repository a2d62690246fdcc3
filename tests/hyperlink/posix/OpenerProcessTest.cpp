// The opener's own answer decides: its exit status, a program that is not there, and one
// that is still busy when the wait is over.
#include "hyperlink/LinkOpening.h"
#include "hyperlink/OpenerProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace velmo;

namespace {

std::vector<std::string> Shell(const std::string& script) {
    return {"/bin/sh", "-c", script};
}

// Waits for a file the child writes, up to 20 s; its first line, or nothing.
std::string FirstLineOf(const std::string& path) {
    for (int i = 0; i < 2000; ++i) {
        std::ifstream in(path);
        std::string line;
        if (std::getline(in, line) && !line.empty()) return line;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

}  // namespace

TEST(RunOpener, TheOpenersOwnAnswerDecides) {
    const struct {
        const char* name;
        std::vector<std::string> command;
        OpenerState state;
        int exitStatus;
    } cases[] = {
        {"opens", Shell("exit 0"), OpenerState::Succeeded, 0},
        {"syntax error", Shell("exit 1"), OpenerState::Failed, 1},
        {"target not found", Shell("exit 2"), OpenerState::Failed, 2},
        {"no tool for it", Shell("exit 3"), OpenerState::Failed, 3},
        {"action failed", Shell("exit 4"), OpenerState::Failed, 4},
        {"killed", Shell("kill -9 $$"), OpenerState::Failed, -1},
        {"not installed", {"velmo-no-such-opener-here"}, OpenerState::NotStarted, -1},
        {"not a program", {"/dev/null"}, OpenerState::NotStarted, -1},
        {"nothing to run", {}, OpenerState::NotStarted, -1},
        // Standard input is /dev/null: a read gets end of file at once instead of waiting.
        {"reads its input", Shell("read line; exit $?"), OpenerState::Failed, 1},
    };
    for (const auto& c : cases) {
        const OpenerOutcome outcome = RunOpener(c.command, 20000);
        EXPECT_EQ(outcome.state, c.state) << c.name;
        EXPECT_EQ(outcome.exitStatus, c.exitStatus) << c.name;
    }
}

TEST(RunOpener, PassesTheTargetAsOneArgument) {
    velmo::testing::TempDir dir;
    const std::string out = dir.Path("argument");
    const OpenerOutcome outcome =
        RunOpener({"/bin/sh", "-c", "printf '%s|%s\\n' \"$#\" \"$1\" > \"$0\"", out,
                   "mailto:kontakt@velmo-programmer.example?subject=Hallo Welt"},
                  20000);
    EXPECT_EQ(outcome.state, OpenerState::Succeeded);
    EXPECT_EQ(FirstLineOf(out), "1|mailto:kontakt@velmo-programmer.example?subject=Hallo Welt");
}

TEST(RunOpener, AnOpenerStillBusyAfterTheWaitIsLeftRunning) {
    velmo::testing::TempDir dir;
    const std::string pidFile = dir.Path("pid");
    const OpenerOutcome outcome =
        RunOpener(Shell("echo $$ > '" + pidFile + "'; exec sleep 60"), 200);
    EXPECT_EQ(outcome.state, OpenerState::StillRunning);
    EXPECT_EQ(outcome.exitStatus, -1);
    const std::string pid = FirstLineOf(pidFile);
    ASSERT_FALSE(pid.empty());
    // Not killed when the wait was over: it still runs, in a session of its own.
    EXPECT_EQ(::kill(std::stoi(pid), 0), 0);
    EXPECT_EQ(::getsid(std::stoi(pid)), std::stoi(pid));
    ::kill(std::stoi(pid), SIGKILL);
    // The next run collects the ended one; a short-lived opener is still answered normally.
    EXPECT_EQ(RunOpener(Shell("exit 0"), 20000).state, OpenerState::Succeeded);
}

TEST(OpenCodeForOpenerStatus, NotFoundOrNoProgramForIt) {
    EXPECT_EQ(OpenCodeForOpenerStatus(2), kOpenFileNotFound);
    for (int status : {-1, 1, 3, 4, 127}) {
        EXPECT_EQ(OpenCodeForOpenerStatus(status), kOpenNoAssociation) << status;
        EXPECT_LE(OpenCodeForOpenerStatus(status), 32) << status;
    }
}
