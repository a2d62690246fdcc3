// Names of one file, also of one not made yet, and a lock that stays with the name while the
// file is replaced or removed.
#include "sys/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"
#include "sys/Lock.h"

namespace velmo::sys {
namespace {

using testing::TempDir;

TEST(FileIdentity, NamesOfOneFile) {
    TempDir dir;
    const std::string file = dir.Write("a.hex", "x");
    dir.Write("b.hex", "x");
    std::filesystem::create_directory(dir.Path("sub"));
    std::filesystem::create_symlink(file, dir.Path("link.hex"));
    std::filesystem::create_hard_link(file, dir.Path("hard.hex"));
    // Links to a file that is not there yet, directly and through a second link.
    std::filesystem::create_symlink("chip.bin", dir.Path("t.vcd"));
    std::filesystem::create_symlink("t.vcd", dir.Path("u.vcd"));
    std::filesystem::create_symlink(dir.Path("sub"), dir.Path("folder"));
    const struct {
        std::string first, second;
        bool same;
    } cases[] = {
        {file, file, true},
        {file, dir.Path("link.hex"), true},
        {file, dir.Path("hard.hex"), true},
        {file, dir.Path("sub/../a.hex"), true},
        {file, dir.Path("./a.hex"), true},
        {file, dir.Path("b.hex"), false},
        {file, "", false},
        {dir.Path("new.vcd"), dir.Path("sub/../new.vcd"), true},
        {dir.Path("new.vcd"), dir.Path("sub/new.vcd"), false},
        {dir.Path("t.vcd"), dir.Path("chip.bin"), true},
        {dir.Path("u.vcd"), dir.Path("chip.bin"), true},
        {dir.Path("folder/new.bin"), dir.Path("sub/new.bin"), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameFile(c.first, c.second), c.same) << c.first << " / " << c.second;
    }
    EXPECT_EQ(CreationTarget(dir.Path("u.vcd")), CreationTarget(dir.Path("chip.bin")));
}

TEST(PathLock, HoldsWhileTheFileIsReplacedOrRemoved) {
    TempDir dir;
    const std::string chip = dir.Write("chip.bin", "old");
    PathLock first;
    ASSERT_EQ(first.TryAcquire(chip).outcome, LockOutcome::Taken);
    EXPECT_EQ(PathLock::CompanionOf(chip), CreationTarget(chip) + ".lock");

    PathLock second;
    EXPECT_EQ(second.TryAcquire(chip).outcome, LockOutcome::Busy);
    std::filesystem::rename(dir.Write("other.bin", "new"), chip);
    EXPECT_EQ(second.TryAcquire(chip).outcome, LockOutcome::Busy) << "free after a rename";
    std::filesystem::remove(chip);
    EXPECT_EQ(second.TryAcquire(chip).outcome, LockOutcome::Busy) << "free after removal";
    // A link to the chip file is the same name.
    std::filesystem::create_symlink(chip, dir.Path("link.bin"));
    EXPECT_EQ(second.TryAcquire(dir.Path("link.bin")).outcome, LockOutcome::Busy);

    first.Release();
    EXPECT_EQ(second.TryAcquire(chip).outcome, LockOutcome::Taken);
    EXPECT_TRUE(second.Held());
}

}  // namespace
}  // namespace velmo::sys
