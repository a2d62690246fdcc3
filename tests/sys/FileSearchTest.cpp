#include "sys/FileSearch.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

using velmo::sys::PathFound;

TEST(FileSearch, FindsThePathItselfOrAWildcardMatchInItsFolder) {
    velmo::testing::TempDir dir;
    for (const char* name : {"blink.hex", "a[1].bin"}) dir.Write(name, "");
    const std::string base = dir.Root() + "/";
    const std::pair<std::string, bool> rows[] = {
        {base + "blink.hex", true},
        {base + "blink.bin", false},
        {base + "*.hex", true},
        {base + "bl?nk.*", true},
        {base + "*.ihx", false},
        {base + "a[1].bin", true},  // brackets are plain characters
        {base + "a1.bin", false},
        {base + "a[?].bin", true},
        {base, true},  // a folder is found as well
        {base + "nothing/*.hex", false},
        {"", false},
    };
    for (const auto& [path, found] : rows) EXPECT_EQ(PathFound(path), found) << path;
}
