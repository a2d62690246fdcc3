#include <gtest/gtest.h>

#include <string>

#include "image/Crc16.h"
#include "image/ImageFiles.h"

namespace velmo {
namespace {

// The example program comes as SDCC's HEX file (records not in address order) and as the
// binary made from it; both must load to one image.
TEST(ExampleProgram, HexAndBinaryLoadToTheSameImageAndCrc) {
    const std::string dir = VELMO_SOURCE_DIR "/examples/";
    CCrc16 crc;
    crc.BuildTable();

    FlashImage fromHex;
    const LoadOutcome hex = LoadImageFile(dir + "blink.ihx", fromHex, crc);
    ASSERT_TRUE(hex.loaded);
    EXPECT_EQ(hex.statusText, std::nullopt) << "must be read as HEX";
    EXPECT_EQ(hex.fileName, "blink.ihx");

    FlashImage fromBinary;
    const LoadOutcome binary = LoadImageFile(dir + "blink.bin", fromBinary, crc);
    ASSERT_TRUE(binary.loaded);
    EXPECT_EQ(binary.statusText, "Datei erfolgreich geöffnet!") << "must be read as binary";

    EXPECT_EQ(fromHex, fromBinary);
    ASSERT_TRUE(hex.crc.has_value());
    EXPECT_EQ(hex.crc, binary.crc);
    EXPECT_EQ(FormatCrc(*hex.crc), "0x87B1");
    // The reset vector jumps over the interrupt vectors into the start-up code.
    EXPECT_EQ(fromHex[0], 0x02);
}

}  // namespace
}  // namespace velmo
