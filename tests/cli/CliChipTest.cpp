// velmo-cli on every chip of the family: auto finds it and programs a whole random image into
// it; what the chip cannot serve is refused before anything is erased; the EEPROM and the lock
// bits read back.
#include <gtest/gtest.h>

#include <string>

#include "CliTestRig.h"
#include "cli/CliOptions.h"

using namespace velmo;
using namespace velmo::cli;
using namespace velmo::testing;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

SimOptions Model(const std::string& model) {
    std::string error;
    std::optional<SimOptions> options = ParseSimOptions("clock=virtual,model=" + model, &error);
    EXPECT_TRUE(options) << error;
    return options.value_or(VirtualSim());
}

// Random bytes in the first size cells, the rest erased.
FlashImage RandomImage(std::uint32_t size, std::uint32_t seed) {
    FlashImage image;
    ClearImage(image);
    for (std::uint32_t a = 0; a < size; ++a) {
        seed = seed * 1103515245u + 12345u;
        image[a] = static_cast<std::uint8_t>(seed >> 16);
    }
    return image;
}

TEST(CliChips, AutoProgramsAWholeRandomImageIntoEveryChip) {
    const struct {
        const char* model;
        std::uint32_t size;
        const char* found;
    } cases[] = {
        {"at89s53", 12288, "AT89S53 angenommen"},
        {"at89s8252", 8192, "AT89S53 angenommen (ein AT89S8252"},
        {"at89s51", 4096, "AT89S51 erkannt (Signatur 1E 51 06)"},
        {"at89s52", 8192, "AT89S52 erkannt (Signatur 1E 52 06)"},
        {"at89s8253", 12288, "AT89S8253 erkannt (Signatur 1E 73)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        TempDir dir;
        CliRig rig(Model(c.model));
        const FlashImage image = RandomImage(c.size, c.size + 7);
        const std::string file =
            dir.Write("random.bin", std::string(image.begin(), image.begin() + c.size));
        ASSERT_EQ(rig.Run({"--mode", "raw", "--chip", "auto", "program", "--all", file}), kExitOk)
            << rig.err.str();
        EXPECT_EQ(rig.Chip(), image);
        EXPECT_TRUE(Contains(rig.err.str(), c.found)) << rig.err.str();
        EXPECT_EQ(rig.sim.Chip().ClockViolations(), 0u);
        ASSERT_EQ(rig.Run({"--mode", "raw", "verify", file}), kExitOk) << rig.err.str();
    }
}

TEST(CliChips, WhatTheChipCannotServeIsRefusedBeforeAnythingIsErased) {
    TempDir dir;
    const std::string big = dir.WriteImage("big.bin", RandomImage(8192, 1));
    const std::string small = dir.Write("small.bin", "\x02\x00\x06");
    const struct {
        const char* model;
        std::vector<std::string> args;
        int status;
        const char* reason;
        bool nothingSent;
    } cases[] = {
        {"at89s51",
         {"program", big},
         kExitUsage,
         "größer als der Flash des AT89S51 (4096 Bytes): sie belegt Adressen bis 0x2FFF",
         false},
        {"at89s51", {"--chip", "at89s51", "program", big}, kExitUsage, "größer als", true},
        {"at89s52",
         {"--chip", "at89s51", "program", small},
         kExitFailure,
         "meldet sich mit der Signatur 1E 52 06 als AT89S52, nicht als AT89S51",
         false},
        {"at89s53",
         {"--chip", "at89s52", "erase"},
         kExitFailure,
         "antwortet nicht wie ein AT89S52",
         false},
        {"at89s52",
         {"program", "--changed-only", small},
         kExitUsage,
         "--changed-only geht nur, wo der Chip eine Zelle beim Schreiben selbst löscht",
         false},
        // Without a signature, what stands above 0x1FFF may be an AT89S8252's EEPROM.
        {"at89s53",
         {"program", "--changed-only", small},
         kExitUsage,
         "bei einem AT89S8252 wäre es sein EEPROM, und --changed-only würde es überschreiben",
         false},
        {"at89s8253",
         {"--chip", "at89s8253", "program", "--changed-only", small},
         kExitUsage,
         "den Flash des AT89S8253",
         true},
        {"at89s53",
         {"--memory", "eeprom", "read", dir.Path("e.bin")},
         kExitUsage,
         "Der AT89S53 hat kein EEPROM",
         false},
        {"at89s8253",
         {"--memory", "eeprom", "lock", "1"},
         kExitUsage,
         "--memory eeprom gilt nur für program, verify und read",
         true},
        {"at89s52",
         {"--chip", "at89c51", "erase"},
         kExitUsage,
         "Ungültiger Chip \"at89c51\"",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        CliRig rig(Model(c.model));
        const FlashImage before = PatternImage(3);
        rig.sim.Chip().SetFlash(before);
        const FlashImage held = rig.Chip();
        std::vector<std::string> args = {"--mode", "raw"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(rig.Run(args), c.status) << rig.err.str();
        EXPECT_TRUE(Contains(rig.err.str(), c.reason)) << rig.err.str();
        EXPECT_EQ(rig.Chip(), held) << "nothing erased or written";
        if (c.nothingSent) {
            EXPECT_EQ(rig.sim.Chip().InstructionCount(), 0u);
        }
    }
}

TEST(CliChips, TheEepromIsASecondMemoryAndLockBitsReadBack) {
    TempDir dir;
    CliRig rig(Model("at89s8253"));
    const FlashImage image = RandomImage(2048, 99);
    const std::string file =
        dir.Write("eeprom.bin", std::string(image.begin(), image.begin() + 2048));
    const std::vector<std::string> eeprom = {"--mode", "raw", "--memory", "eeprom"};
    const auto with = [&eeprom](std::vector<std::string> args) {
        args.insert(args.begin(), eeprom.begin(), eeprom.end());
        return args;
    };
    ASSERT_EQ(rig.Run(with({"program", file})), kExitOk) << rig.err.str();
    EXPECT_TRUE(Contains(rig.out.str(), "alle 2048 Bytes des EEPROM stimmen überein"));
    ASSERT_EQ(rig.Run(with({"verify", file})), kExitOk) << rig.err.str();
    const std::string out = dir.Path("out.bin");
    ASSERT_EQ(rig.Run(with({"read", out})), kExitOk) << rig.err.str();
    EXPECT_EQ(ReadBytes(out), ReadBytes(file));
    EXPECT_EQ(rig.Chip()[0], 0xFF) << "the flash is not the EEPROM";

    ASSERT_EQ(rig.Run({"--mode", "raw", "lock", "1,2"}), kExitOk) << rig.err.str();
    EXPECT_TRUE(Contains(rig.out.str(), "Lock-Bits 1,2 geschrieben und zurückgelesen"));
    EXPECT_TRUE(rig.sim.Chip().LockBit(2));
}

}  // namespace
