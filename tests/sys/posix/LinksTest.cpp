// Symbolic links lead to the file they name, also to one not made yet, and a lock taken
// through a link is the lock of the name it leads to.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"
#include "sys/Files.h"
#include "sys/Lock.h"

namespace velmo::sys {
namespace {

using testing::TempDir;

TEST(FileIdentity, LinksNameTheFileTheyLeadTo) {
    TempDir dir;
    const std::string file = dir.Write("a.hex", "x");
    std::filesystem::create_directory(dir.Path("sub"));
    std::filesystem::create_symlink(file, dir.Path("link.hex"));
    // Links to a file that is not there yet, directly and through a second link.
    std::filesystem::create_symlink("chip.bin", dir.Path("t.vcd"));
    std::filesystem::create_symlink("t.vcd", dir.Path("u.vcd"));
    std::filesystem::create_symlink(dir.Path("sub"), dir.Path("folder"));
    const struct {
        std::string first, second;
    } cases[] = {
        {file, dir.Path("link.hex")},
        {dir.Path("t.vcd"), dir.Path("chip.bin")},
        {dir.Path("u.vcd"), dir.Path("chip.bin")},
        {dir.Path("folder/new.bin"), dir.Path("sub/new.bin")},
    };
    for (const auto& c : cases) EXPECT_TRUE(SameFile(c.first, c.second)) << c.first;
    EXPECT_EQ(CreationTarget(dir.Path("u.vcd")), CreationTarget(dir.Path("chip.bin")));

    PathLock first;
    PathLock second;
    ASSERT_EQ(first.TryAcquire(dir.Path("chip.bin")).outcome, LockOutcome::Taken);
    EXPECT_EQ(second.TryAcquire(dir.Path("u.vcd")).outcome, LockOutcome::Busy);
}

}  // namespace
}  // namespace velmo::sys
