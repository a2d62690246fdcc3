// An output written in pieces (the line trace is one): the old file stays until Publish,
// later writes go on in the published file, and a failed write never replaces anything; a
// descriptor the program was handed is written through, a link to no file yet makes it, and
// what a killed writer left beside the target goes. Records whose count promises more than
// their line holds.
#include "image/OutputFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "image/IntelHex.h"
#include "support/FileKinds.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::size_t Entries(const TempDir& dir) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Root())) {
        ++count;
    }
    return count;
}

TEST(OutputFile, TheOldFileStaysUntilPublishAndWritingGoesOnAfterIt) {
    TempDir dir;
    const std::string path = dir.Write("lines.vcd", "old dump");
    OutputFile file;
    ASSERT_TRUE(file.Open(path).ok());
    ASSERT_TRUE(file.Write("new ", 4));
    EXPECT_EQ(ReadBytes(path), "old dump") << "replaced before it was whole";
    ASSERT_TRUE(file.Publish().ok());
    EXPECT_EQ(ReadBytes(path), "new ");
    ASSERT_TRUE(file.Write("dump", 4));
    ASSERT_TRUE(file.Close().ok());
    EXPECT_EQ(ReadBytes(path), "new dump");
    EXPECT_EQ(Entries(dir), 1u) << "a temporary file was left behind";
}

TEST(OutputFile, AFileNeverPublishedIsRemovedAndTheOldOneStays) {
    TempDir dir;
    const std::string path = dir.Write("keep.bin", "precious");
    {
        OutputFile file;
        ASSERT_TRUE(file.Open(path).ok());
        file.Write("half", 4);
    }
    EXPECT_EQ(ReadBytes(path), "precious");
    EXPECT_EQ(Entries(dir), 1u);
}

TEST(OutputFile, WhatMayStandWhereAFileIsWritten) {
    TempDir dir;
    ASSERT_TRUE(testing::MakeFifo(dir.Path("pipe")));
    std::filesystem::create_directory(dir.Path("folder"));
    testing::SocketFile socket(dir.Path("socket"));
    ASSERT_TRUE(socket.Ok());
    const struct {
        const char* name;
        OutputError error;
    } cases[] = {
        {"pipe", OutputError::NoReader},   {"folder", OutputError::Directory},
        {"socket", OutputError::NotAFile}, {"missing/x.bin", OutputError::CannotCreate},
        {"new.bin", OutputError::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint8_t byte = 0x5A;
        const OutputResult result = WriteOutputFile(dir.Path(c.name), &byte, 1);
        EXPECT_EQ(result.error, c.error) << DescribeOutputError(result);
        EXPECT_EQ(result.ok(), DescribeOutputError(result).empty());
    }
    EXPECT_TRUE(testing::IsFifo(dir.Path("pipe")));
    EXPECT_TRUE(testing::IsSocket(dir.Path("socket")));
    EXPECT_EQ(ReadBytes(dir.Path("new.bin")), "\x5A");
}

// Where the bytes land for each way an output can be named.
TEST(OutputFile, DescriptorsAndLinksAreWrittenThroughAndLeftoversGo) {
    TempDir dir;
    // A file handed over as descriptor (not closed on exec), opened for appending.
    const std::string log = dir.Write("app.log", "keep\n");
    const int handed = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(handed, 0);
    const std::string fdPath = "/dev/fd/" + std::to_string(handed);
    ASSERT_EQ(::symlink("tgt.bin", dir.Path("lnk.bin").c_str()), 0);
    const std::string leftover = dir.Write(".t.vcd.tmp-999999999-1", "half");
    const struct {
        std::string path;  // written with "data"
        OutputWay way;
        std::string file;  // where it lands
        std::string holds;
    } cases[] = {
        {fdPath, OutputWay::Descriptor, log, "keep\ndata"},
        {log, OutputWay::Descriptor, log, "keep\ndatadata"},
        {dir.Path("lnk.bin"), OutputWay::Replace, dir.Path("tgt.bin"), "data"},
        {dir.Path("t.vcd"), OutputWay::Replace, dir.Path("t.vcd"), "data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PlanOutput(c.path).way, c.way);
        const OutputResult result =
            WriteOutputFile(c.path, reinterpret_cast<const std::uint8_t*>("data"), 4);
        EXPECT_TRUE(result.ok()) << DescribeOutputError(result);
        EXPECT_EQ(ReadBytes(c.file), c.holds);
    }
    ::close(handed);
    EXPECT_TRUE(testing::IsSymlink(dir.Path("lnk.bin")));
    EXPECT_FALSE(std::filesystem::exists(leftover)) << "the killed writer's file stayed";
}

// File modes mean nothing to root, so as root the write runs in a child as another user.
TEST(OutputFile, AFileItsOwnerMadeReadOnlyIsNotReplaced) {
    const testing::Unprivileged user = testing::UnprivilegedRunner();
    if (!user.possible) GTEST_SKIP() << user.reason;
    TempDir dir;
    const std::string path = dir.Write("locked.bin", "precious");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    // The folder is the user's and open to them: only the file's own mode forbids the write.
    ASSERT_EQ(::chown(dir.Root().c_str(), user.uid, user.gid), 0);
    ASSERT_EQ(::chown(path.c_str(), user.uid, user.gid), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)) ::_exit(99);
        const std::uint8_t byte = 0;
        ::_exit(static_cast<int>(WriteOutputFile(path, &byte, 1).error));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(OutputError::CannotCreate));
    EXPECT_EQ(ReadBytes(path), "precious");
}

TEST(ShortHexRecords, TheFirstRecordWhoseCountExceedsItsLine) {
    TempDir dir;
    const struct {
        const char* text;
        std::size_t line, promised, present;
    } cases[] = {
        {":0400000012345678E8\n:00000001FF\n", 0, 0, 0},
        {":040000001234B6\n", 1, 4, 2},
        {":0400000012345678E8\r\n:03001000AA43\r\n", 2, 3, 1},
        {":\n:04\n", 2, 4, 0},
        {":0400000012345678E8", 0, 0, 0},  // no line feed after the last line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ShortHexRecord found = FindShortHexRecord(dir.Write("f.hex", c.text));
        EXPECT_EQ(found.line, c.line);
        EXPECT_EQ(found.promised, c.promised);
        EXPECT_EQ(found.present, c.present);
    }
}

}  // namespace
}  // namespace velmo
