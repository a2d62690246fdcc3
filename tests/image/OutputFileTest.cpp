// An output written in pieces (the line trace is one): the old file stays until Publish,
// later writes go on in the published file, and a failed write never replaces anything.
// Whether two names are one file. Records whose count promises more than their line holds.
#include "image/OutputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "image/FileIdentity.h"
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
        OutputKinds kinds;
        OutputError error;
    } cases[] = {
        {"pipe", OutputKinds::Any, OutputError::NoReader},
        {"pipe", OutputKinds::RegularOnly, OutputError::NotRegular},
        {"folder", OutputKinds::Any, OutputError::Directory},
        {"socket", OutputKinds::Any, OutputError::NotAFile},
        {"missing/x.bin", OutputKinds::Any, OutputError::CannotCreate},
        {"new.bin", OutputKinds::RegularOnly, OutputError::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint8_t byte = 0x5A;
        const OutputResult result = WriteOutputFile(dir.Path(c.name), &byte, 1, c.kinds);
        EXPECT_EQ(result.error, c.error) << DescribeOutputError(result);
        EXPECT_EQ(result.ok(), DescribeOutputError(result).empty());
    }
    EXPECT_TRUE(testing::IsFifo(dir.Path("pipe")));
    EXPECT_TRUE(testing::IsSocket(dir.Path("socket")));
    EXPECT_EQ(ReadBytes(dir.Path("new.bin")), "\x5A");
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

TEST(FileIdentity, NamesOfOneFile) {
    TempDir dir;
    const std::string file = dir.Write("a.hex", "x");
    dir.Write("b.hex", "x");
    std::filesystem::create_directory(dir.Path("sub"));
    std::filesystem::create_symlink(file, dir.Path("link.hex"));
    std::filesystem::create_hard_link(file, dir.Path("hard.hex"));
    const struct {
        std::string other;
        bool same;
    } cases[] = {
        {file, true},
        {dir.Path("link.hex"), true},
        {dir.Path("hard.hex"), true},
        {dir.Path("sub/../a.hex"), true},
        {dir.Path("./a.hex"), true},
        {dir.Path("b.hex"), false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameFile(file, c.other), c.same) << c.other;
    }
    // Names of a file that is not there yet.
    EXPECT_TRUE(SameFile(dir.Path("new.vcd"), dir.Path("sub/../new.vcd")));
    EXPECT_FALSE(SameFile(dir.Path("new.vcd"), dir.Path("sub/new.vcd")));
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
