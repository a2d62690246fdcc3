// velmo-cli's outputs (the file of read, the line trace, its own standard output) on every
// kind of target: a file is replaced, a device or a pipe with a reader is written in place and
// stays what it is, anything else is refused; what could not be written is a failure.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ChildProcess.h"
#include "CliTestRig.h"
#include "support/FileKinds.h"

using namespace velmo;
using namespace velmo::testing;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::map<std::string, std::string> Sim(const std::string& chip) {
    return {{"VELMO_PORT", "sim"},
            {"VELMO_SIM_OPTIONS", "clock=virtual"},
            {"VELMO_SIM_CHIP", chip},
            {"VELMO_TRACE", ""}};
}

// A chip whose every cell differs from an erased one, as read back by the test.
std::string PatternChip(const TempDir& dir) {
    return dir.WriteImage("chip.bin", PatternImage(3));
}

TEST(OutputTargets, ReadWritesDevicesAndPipesInPlaceAndReplacesNothingButFiles) {
    TempDir dir;
    const std::string chip = PatternChip(dir);
    const FlashImage image = PatternImage(3);
    const std::string bytes(image.begin(), image.end());

    // A named pipe without a reader: refused at once, not waited on.
    const std::string lonely = dir.Path("lonely.pipe");
    ASSERT_TRUE(MakeFifo(lonely));
    ChildResult result = RunCli({"read", lonely}, Sim(chip));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "aus der niemand liest")) << result.err;
    EXPECT_TRUE(IsFifo(lonely));

    // A named pipe with a reader gets the chip.
    const std::string pipe = dir.Path("read.pipe");
    ASSERT_TRUE(MakeFifo(pipe));
    {
        FifoReader reader(pipe);
        ASSERT_TRUE(reader.Ok());
        result = RunCli({"read", pipe}, Sim(chip));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(reader.Take(), bytes);
    }
    EXPECT_TRUE(IsFifo(pipe));

    // A socket is no output, refused before the chip is read.
    const std::string socketPath = dir.Path("s.sock");
    SocketFile socket(socketPath);
    ASSERT_TRUE(socket.Ok());
    result = RunCli({"read", socketPath}, Sim(chip));
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_TRUE(Contains(result.err, "weder eine Datei noch ein Zeichengerät")) << result.err;
    EXPECT_TRUE(IsSocket(socketPath));

    // A link to the program's own standard output (here a pipe) writes there, and stays a link.
    const std::string link = dir.Path("stdout.bin");
    ASSERT_EQ(::symlink("/proc/self/fd/1", link.c_str()), 0);
    result = RunCli({"read", link}, Sim(chip));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, FLASH_SIZE), bytes);
    EXPECT_TRUE(IsSymlink(link));
}

TEST(OutputTargets, ReadWritesACharacterDeviceInPlace) {
    TempDir dir;
    const std::string chip = PatternChip(dir);
    const std::string null = dir.Path("null");
    const std::string full = dir.Path("full");
    if (std::string why = MakeCharDevice(null, kMemMajor, kNullMinor); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(MakeCharDevice(full, kMemMajor, kFullMinor), "");

    ChildResult result = RunCli({"read", null}, Sim(chip));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(IsCharDevice(null)) << "the device was replaced by a file";

    result = RunCli({"read", full}, Sim(chip));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "Fehler beim Erzeugen der Datei")) << result.err;
    EXPECT_TRUE(Contains(result.err, "nicht vollständig geschrieben")) << result.err;
    EXPECT_TRUE(IsCharDevice(full)) << "the device was replaced by a file";
}

TEST(OutputTargets, TraceGoesToPipesAndDevicesAndALostTraceFailsTheRun) {
    TempDir dir;
    const std::string chip = PatternChip(dir);

    const std::string lonely = dir.Path("lonely.pipe");
    ASSERT_TRUE(MakeFifo(lonely));
    ChildResult result = RunCli({"erase", "--trace", lonely}, Sim(chip));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "Aufzeichnungsdatei")) << result.err;
    const FlashImage before = PatternImage(3);
    EXPECT_EQ(ReadBytes(chip), std::string(before.begin(), before.end()))
        << "nothing was done without the trace";

    const std::string pipe = dir.Path("trace.pipe");
    ASSERT_TRUE(MakeFifo(pipe));
    {
        FifoReader reader(pipe);
        result = RunCli({"erase", "--trace", pipe}, Sim(chip));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Contains(reader.Take(), "$enddefinitions")) << "the reader got the dump";
    }

    const std::string null = dir.Path("null");
    const std::string full = dir.Path("full");
    if (std::string why = MakeCharDevice(null, kMemMajor, kNullMinor); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(MakeCharDevice(full, kMemMajor, kFullMinor), "");
    result = RunCli({"erase", "--trace", null}, Sim(chip));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(IsCharDevice(null));

    // A disk that is full: the run itself succeeds, but its trace is lost.
    result = RunCli({"erase", "--trace", full}, Sim(chip));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "velmo-cli: Die Aufzeichnungsdatei \"" + full +
                                         "\" (VELMO_TRACE) wurde nicht vollständig geschrieben"))
        << result.err;
    EXPECT_TRUE(result.out.empty()) << "no success is reported: " << result.out;
    EXPECT_TRUE(IsCharDevice(full));
}

TEST(OutputTargets, AStandardOutputThatCannotBeWrittenFailsTheCall) {
    TempDir dir;
    const std::string full = dir.Path("full");
    if (std::string why = MakeCharDevice(full, kMemMajor, kFullMinor); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ChildSetup toFull;
    toFull.stdoutPath = full;
    const ChildResult result = RunCli({"info", kExampleHex}, Sim(dir.Path("chip.bin")), {}, toFull);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err,
                         "velmo-cli: Die Standardausgabe konnte nicht vollständig "
                         "geschrieben werden"))
        << result.err;
}

}  // namespace
