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
    std::filesystem::create_hard_link(file, dir.Path("hard.hex"));
    const struct {
        std::string first, second;
        bool same;
    } cases[] = {
        {file, file, true},
        {file, dir.Path("hard.hex"), true},
        {file, dir.Path("sub/../a.hex"), true},
        {file, dir.Path("./a.hex"), true},
        // Two files of one folder are two files, however alike.
        {file, dir.Path("b.hex"), false},
        {file, "", false},
        {dir.Path("new.vcd"), dir.Path("sub/../new.vcd"), true},
        {dir.Path("new.vcd"), dir.Path("sub/new.vcd"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameFile(c.first, c.second), c.same) << c.first << " / " << c.second;
    }
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

    first.Release();
    EXPECT_EQ(second.TryAcquire(chip).outcome, LockOutcome::Taken);
    EXPECT_TRUE(second.Held());
}

}  // namespace
}  // namespace velmo::sys
