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
    const LoadedImage hex = LoadImageFile(dir + "blink.ihx");
    ASSERT_TRUE(hex.Loaded());
    EXPECT_EQ(hex.format, ImageFormat::IntelHex);

    const LoadedImage binary = LoadImageFile(dir + "blink.bin");
    ASSERT_TRUE(binary.Loaded());
    EXPECT_EQ(binary.format, ImageFormat::Binary);

    EXPECT_EQ(hex.image, binary.image);
    EXPECT_EQ(hex.crc, binary.crc);
    EXPECT_EQ(FormatCrc(hex.crc), "0x87B1");
    // The binary is the HEX file's bytes from address 0 to its last record.
    EXPECT_EQ(hex.supplied, binary.supplied);
    EXPECT_EQ(binary.supplied.count(), 163u);
    // The reset vector jumps over the interrupt vectors into the start-up code.
    EXPECT_EQ(hex.image[0], 0x02);
}

}  // namespace
}  // namespace velmo
