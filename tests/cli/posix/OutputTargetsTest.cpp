// velmo-cli's outputs (the file of read, the line trace, its own standard output) on every
// kind of target: a file is replaced, a device or a pipe with a reader is written in place and
// stays what it is, a descriptor the shell handed over is written through, anything else is
// refused; what could not be written is a failure, with the system's reason in its language.
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>

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

// Each script runs in bash, in a folder of its own that holds the chip, with velmo-cli as $1.
TEST(OutputTargets, DescriptorsAndLinksAreWrittenThroughAndKeepWhatTheyHeld) {
    const FlashImage image = PatternImage(3);
    const std::string chip(image.begin(), image.end());
    const std::string keep = "printf 'keep\\n' > app.log; ";
    const struct {
        std::string script;
        const char* file;   // checked afterwards
        std::string holds;  // its content: all of it, or its start where traced is set
        bool traced;        // a trace follows what it held
        std::string out;    // the script's standard output
    } cases[] = {
        {keep + "\"$1\" read /dev/stdout >> app.log", "app.log", "keep\n" + chip, false, ""},
        {keep + "\"$1\" read /dev/fd/3 3>> app.log >/dev/null", "app.log", "keep\n" + chip, false,
         ""},
        {keep + "\"$1\" read /proc/self/fd/1 >> app.log", "app.log", "keep\n" + chip, false, ""},
        {keep + "\"$1\" read app.log >> app.log", "app.log", "keep\n" + chip, false, ""},
        {keep + "\"$1\" erase --trace /dev/stderr 2>> app.log", "app.log", "keep\n", true,
         "Flash gelöscht (alle Bytes 0xFF, Lock-Bits frei).\n"},
        {"ln -s tgt.bin lnk.bin; \"$1\" read lnk.bin &>/dev/null; test -L lnk.bin", "tgt.bin", chip,
         false, ""},
        {"\"$1\" read /dev/stdout 2>/dev/null | wc -c", "chip.bin", chip, false, "12288\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        PatternChip(dir);
        ChildSetup shell;
        shell.prefix = {"/bin/bash", "-c",
                        "set -o pipefail; cd '" + dir.Root() + "' && " + c.script, "bash"};
        const ChildResult result = RunCli({}, Sim(dir.Path("chip.bin")), {}, shell);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, c.out);
        const std::string held = ReadBytes(dir.Path(c.file));
        if (c.traced) {
            EXPECT_EQ(held.substr(0, c.holds.size()), c.holds);
            EXPECT_TRUE(Contains(held, "$enddefinitions")) << held;
        } else {
            EXPECT_EQ(held, c.holds);
        }
    }
}

// A reader that left before the data came: a failure with its reason, never death by SIGPIPE.
TEST(OutputTargets, AReaderThatLeftFailsTheCallWithoutKillingIt) {
    TempDir dir;
    const std::string chip = PatternChip(dir);
    ChildSetup gone;
    gone.stdoutReaderGone = true;
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"read", "/dev/stdout"}, "Fehler beim Erzeugen der Datei \"/dev/stdout\""},
        {{"info", kExampleHex}, "Die Standardausgabe konnte nicht vollständig geschrieben werden"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const ChildResult result = RunCli(c.args, Sim(chip), {}, gone);
        EXPECT_TRUE(result.exited) << "ended by a signal";
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, c.says)) << result.err;
    }
}

// Someone else's file in a folder that keeps users' files apart (/tmp): it may be written but
// not replaced, so it is written in place.
TEST(OutputTargets, AWritableFileInSomeoneElsesStickyFolderIsWrittenInPlace) {
    const Unprivileged user = UnprivilegedRunner();
    if (user.prefix.empty()) GTEST_SKIP() << "needs root to give a file to someone else";
    TempDir dir;
    ::chmod(dir.Root().c_str(), 0755);
    const std::string sticky = dir.Path("sticky");
    ASSERT_EQ(::mkdir(sticky.c_str(), 0777), 0);
    ::chmod(sticky.c_str(), 01777);
    const std::string out = dir.Write("sticky/out.bin", "old content");
    ::chmod(out.c_str(), 0666);
    ChildSetup setup;
    setup.prefix = user.prefix;
    const ChildResult result = RunCli({"read", out}, Sim(sticky + "/chip.bin"), {}, setup);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadBytes(out), std::string(FLASH_SIZE, '\xFF'));
    struct stat info {};
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u) << "replaced instead of written";
}

// On a German system the system's reason is German too.
TEST(OutputTargets, TheSystemsReasonSpeaksTheLanguageOfTheEnvironment) {
    if (locale_t german = ::newlocale(LC_MESSAGES_MASK, "de_DE.UTF-8", nullptr)) {
        ::freelocale(german);
    } else {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/test.sh makes it)";
    }
    TempDir dir;
    const std::string full = dir.Path("full");
    if (std::string why = MakeCharDevice(full, kMemMajor, kFullMinor); !why.empty()) {
        GTEST_SKIP() << why;
    }
    std::map<std::string, std::string> env = Sim(PatternChip(dir));
    env.insert({{"LC_ALL", "de_DE.UTF-8"}, {"LANGUAGE", ""}, {"LC_MESSAGES", ""}});
    const ChildResult result = RunCli({"read", full}, env);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "Auf dem Gerät ist kein Speicherplatz mehr verfügbar"))
        << result.err;
}

}  // namespace
