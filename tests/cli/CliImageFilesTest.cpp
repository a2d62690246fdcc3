// How velmo-cli reads its input files and says what they hold or why it refuses them.
#include <gtest/gtest.h>

#include <string>

#include "CliTestRig.h"
#include "cli/CliOptions.h"

using namespace velmo;
using namespace velmo::cli;
using velmo::testing::CliRig;
using velmo::testing::TempDir;

namespace {

TEST(CliInputFiles, InfoNamesTheFormatAndWhatTheFileSupplies) {
    TempDir dir;
    const struct {
        std::string name;
        std::string bytes;
        int status;
        std::vector<std::string> lines;  // each must appear in the output (or the error)
    } cases[] = {
        {"plain.bin",
         std::string("\x01\x02\xFF", 3),
         kExitOk,
         {"Format:    binär\n", "Belegt:    3 Bytes von der Datei geliefert, davon 2 ungleich 0xFF",
          "0x0000-0x0002 (3 Bytes)"}},
        {"full.bin",
         std::string(FLASH_SIZE, '\x11'),
         kExitOk,
         {"Belegt:    12288 Bytes", "0x0000-0x2FFF (12288 Bytes)"}},
        {"two.hex",
         ":0300000002000BF0\n:02010000FFFFFF\n:00000001FF\n",
         kExitOk,
         {"Format:    Intel-HEX\n", "5 Bytes von der Datei geliefert, davon 3 ungleich 0xFF",
          "0x0000-0x0002 (3 Bytes)\n           0x0100-0x0101 (2 Bytes)"}},
        {"broken.hex",
         ":0300000002000BF1\n",
         kExitOk,
         {"binär (Achtung: der Name endet auf .hex/.ihx"}},
        {"empty.hex", "", kExitOk, {"Format:    Intel-HEX", "Bereiche:  keine", "0x80F8"}},
        {"big.bin",
         std::string(FLASH_SIZE + 1, '\x11'),
         kExitUsage,
         {"größer als der Flash des Controllers (12288 Bytes)"}},
        {"beyond.hex", ":01300000AA25\n", kExitUsage, {"größer als der Flash"}},
        // Byte counts beyond the line's data, with checksums that still balance.
        {"short.hex",
         ":040000001234B6\n",
         kExitUsage,
         {"short.hex\", Zeile 1: der Datensatz kündigt 4 Datenbytes an, die Zeile enthält aber "
          "nur 2."}},
        {"second.hex",
         ":0300000002000BF0\n:03001000AA43\n:00000001FF\n",
         kExitUsage,
         {"Zeile 2: der Datensatz kündigt 3 Datenbytes an, die Zeile enthält aber nur 1."}},
        {"exact.hex",
         ":020000040000FA\n:0400000012345678E8\n",
         kExitOk,
         {"4 Bytes von der Datei geliefert"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliRig rig;
        EXPECT_EQ(rig.Run({"info", dir.Write(c.name, c.bytes)}), c.status);
        const std::string said = rig.out.str() + rig.err.str();
        for (const std::string& line : c.lines) {
            EXPECT_NE(said.find(line), std::string::npos) << line << " in:\n" << said;
        }
    }
    CliRig rig;
    EXPECT_EQ(rig.Run({"info", dir.Path("missing.bin")}), kExitUsage);
    EXPECT_NE(rig.err.str().find("kann nicht geöffnet werden"), std::string::npos);
}

TEST(CliInputFiles, ExampleProgramAsHexAndBinaryGivesTheSameInfo) {
    CliRig hex;
    CliRig bin;
    ASSERT_EQ(hex.Run({"info", velmo::testing::kExampleHex}), kExitOk);
    ASSERT_EQ(bin.Run({"info", velmo::testing::kExampleBin}), kExitOk);
    const auto tail = [](const std::string& text) { return text.substr(text.find("Belegt:")); };
    EXPECT_EQ(tail(hex.out.str()), tail(bin.out.str()));
    EXPECT_NE(hex.out.str().find("CRC-16:    0x87B1"), std::string::npos);
}

}  // namespace
