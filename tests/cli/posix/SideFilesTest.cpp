// The files velmo-cli keeps beside the lines, the trace and the simulated chip: a trace never
// writes over the call's own file or the chip, pipes and devices as side files never hold the
// start, and a chip file that cannot be written fails the run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "cli/CliTestRig.h"
#include "cli/posix/ChildProcess.h"
#include "support/FileKinds.h"

using namespace velmo;
using namespace velmo::testing;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::map<std::string, std::string> Sim(const std::string& chip, const std::string& trace = "") {
    return {{"VELMO_PORT", "sim"},
            {"VELMO_SIM_OPTIONS", "clock=virtual"},
            {"VELMO_SIM_CHIP", chip},
            {"VELMO_TRACE", trace}};
}

TEST(SideFiles, ATraceNamingTheCallsOwnFileIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const std::string input = dir.Write("in.ihx", ReadBytes(kExampleHex));
    ASSERT_EQ(::symlink(input.c_str(), dir.Path("link.ihx").c_str()), 0);
    std::filesystem::create_directory(dir.Path("sub"));
    const std::string chip = dir.Path("chip.bin");
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string trace;  // VELMO_TRACE
    } cases[] = {
        {"the input itself", {"program", "--trace", input, input}, ""},
        {"through a link", {"verify", "--trace", dir.Path("link.ihx"), input}, ""},
        {"by another spelling", {"program", input}, dir.Path("sub/../in.ihx")},
        {"the output of read, not there yet", {"read", dir.Path("out.bin")}, dir.Path("out.bin")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = RunCli(c.args, Sim(chip, c.trace));
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(Contains(result.err, "würde sie überschreiben")) << result.err;
        EXPECT_EQ(ReadBytes(input), ReadBytes(kExampleHex));
        EXPECT_FALSE(std::filesystem::exists(chip)) << "the chip was touched";
        EXPECT_FALSE(std::filesystem::exists(dir.Path("out.bin")));
    }

    // The simulated chip's own file, also one not made yet that a trace or the output of read
    // leads to through a link: refused before the chip or the link's target is touched.
    ASSERT_EQ(::symlink("chip.bin", dir.Path("t.vcd").c_str()), 0);
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string trace;
    } chipCases[] = {
        {"trace, another spelling", {"erase"}, dir.Path("./chip.bin")},
        {"trace, a link to the chip not made yet", {"program", kExampleHex}, dir.Path("t.vcd")},
        {"output of read", {"read", dir.Path("sub/../chip.bin")}, ""},
    };
    for (const auto& c : chipCases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = RunCli(c.args, Sim(chip, c.trace));
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(Contains(result.err, "zugleich die Chip-Datei des Simulators")) << result.err;
        EXPECT_FALSE(std::filesystem::exists(chip)) << "the chip was made or written";
    }
}

TEST(SideFiles, PipesAndDevicesAsSideFilesNeverHoldTheStart) {
    TempDir dir;
    const std::string pipe = dir.Path("side.pipe");
    ASSERT_TRUE(MakeFifo(pipe));
    const struct {
        const char* name;
        std::map<std::string, std::string> env;
        std::string says;
    } cases[] = {
        {"chip file is a pipe", Sim(pipe), "keine gewöhnliche Datei"},
        {"trace is a pipe nobody reads", Sim(dir.Path("chip.bin"), pipe), "niemand liest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = RunCli({"erase"}, c.env);
        ASSERT_FALSE(result.timedOut) << "the start waited on the pipe";
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, c.says)) << result.err;
        EXPECT_TRUE(IsFifo(pipe));
    }

    const std::string null = dir.Path("null");
    if (std::string why = MakeCharDevice(null, kMemMajor, kNullMinor); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const ChildResult result = RunCli({"erase"}, Sim(null));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "keine gewöhnliche Datei")) << result.err;
    EXPECT_TRUE(IsCharDevice(null)) << "the device was replaced by a chip file";
}

// For someone who may read the chip file but not write it, the chip did not change.
TEST(SideFiles, AChipFileThatCannotBeWrittenFailsTheRun) {
    const Unprivileged user = UnprivilegedRunner();
    if (!user.possible) GTEST_SKIP() << user.reason;
    TempDir dir;
    const FlashImage image = PatternImage(2);
    const std::string chip = dir.WriteImage("chip.bin", image);
    const std::string input = dir.Write("in.ihx", ReadBytes(kExampleHex));
    ::chmod(chip.c_str(), 0444);
    ::chmod(input.c_str(), 0444);
    // The other user may read the folder but not put a file into it (without root the run is
    // ours, so the folder is closed to ourselves).
    ::chmod(dir.Root().c_str(), user.prefix.empty() ? 0555 : 0755);

    ChildSetup setup;
    setup.prefix = user.prefix;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"erase"}, std::vector<std::string>{"program", input}}) {
        SCOPED_TRACE(args.front());
        const ChildResult result = RunCli(args, Sim(chip), {}, setup);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, "velmo-cli: Die Chip-Datei \"" + chip +
                                             "\" (VELMO_SIM_CHIP) kann nicht geschrieben werden"))
            << result.err;
        EXPECT_TRUE(result.out.empty()) << "no success is reported: " << result.out;
        EXPECT_EQ(ReadBytes(chip), std::string(image.begin(), image.end()));
    }
    ::chmod(dir.Root().c_str(), 0700);
}

}  // namespace
