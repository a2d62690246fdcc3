// What Windows does its own way: names in UTF-8 with umlauts, names that ignore case, renaming
// a file that is open, and locks that keep other lockers out but no reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/TempDir.h"
#include "sys/FileSearch.h"
#include "sys/Files.h"
#include "sys/Lock.h"

namespace velmo::sys {
namespace {

using testing::TempDir;

std::string Content(const std::string& path) {
    OpenResult file = OpenFileForReading(path);
    char buffer[64] = {};
    std::size_t got = 0;
    if (!file.ok() || ReadAt(file.file, 0, buffer, sizeof buffer, got) != 0) return "?";
    return std::string(buffer, got);
}

TEST(WindowsFiles, UmlautsCaseAndOpenFilesBeingRenamed) {
    TempDir dir;
    const std::string name = dir.Root() + "\\Prüfung.hex";
    OpenResult created = CreateNewFile(name);
    ASSERT_TRUE(created.ok()) << ErrorText(created.error);
    ASSERT_EQ(WriteAll(created.file, "abc", 3), 0);
    created.file.Close();
    EXPECT_EQ(Content(name), "abc");
    EXPECT_TRUE(PathFound(dir.Root() + "/Pr?fung.*"));
    const std::vector<std::string> names = ListDirectory(dir.Root());
    EXPECT_NE(std::find(names.begin(), names.end(), "Prüfung.hex"), names.end());
    EXPECT_TRUE(SameFile(name, dir.Root() + "/PRÜFUNG.HEX"));
    EXPECT_TRUE(SameFile(dir.Root() + "/Neu.bin", dir.Root() + "\\NEU.BIN")) << "not made yet";
    EXPECT_FALSE(SameFile(name, dir.Write("other.hex", "abc")));

    // Written beside the old file, renamed over it while open, and written on.
    OpenResult beside = CreateNewFile(dir.Path("new.tmp"));
    ASSERT_TRUE(beside.ok());
    EXPECT_EQ(TryLock(beside.file).outcome, LockOutcome::Taken);
    ASSERT_EQ(WriteAll(beside.file, "12", 2), 0);
    ASSERT_EQ(RenameOpenFile(beside.file, dir.Path("new.tmp"), name), 0);
    ASSERT_EQ(WriteAll(beside.file, "34", 2), 0);
    beside.file.Close();
    EXPECT_EQ(Content(name), "1234");
    EXPECT_EQ(Inspect(dir.Path("new.tmp")).kind, FileKind::Missing);

    // A lock keeps a second locker out, never a reader of the file.
    OpenResult first = OpenFileForWriting(name);
    OpenResult second = OpenFileForWriting(name);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_EQ(TryLock(first.file).outcome, LockOutcome::Taken);
    EXPECT_EQ(TryLock(second.file).outcome, LockOutcome::Busy);
    EXPECT_EQ(Content(name), "1234");

    const std::string reason = ErrorText(kNoSuchFile);
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(reason.back(), '.');
}

}  // namespace
}  // namespace velmo::sys
