#include <gtest/gtest.h>

#include <string>

#include "CliTestRig.h"
#include "image/HexWriter.h"
#include "image/ImageCompare.h"
#include "image/ImageSource.h"
#include "image/Crc16.h"
#include "image/IntelHex.h"

using namespace velmo;
using namespace velmo::cli;
using velmo::clitest::TempDir;

namespace {

TEST(HexWriterTest, WrittenHexReadsBackAsTheSameImage) {
    TempDir dir;
    FlashImage erased;
    ClearImage(erased);
    FlashImage sparse = erased;
    sparse[0x0000] = 0x02;
    sparse[0x0011] = 0x00;
    sparse[0x1234] = 0x5A;
    sparse[0x2FFF] = 0x7E;
    const FlashImage images[] = {erased, sparse, clitest::PatternImage(3)};
    for (const FlashImage& image : images) {
        const std::string path = dir.Path("out.hex");
        ASSERT_TRUE(SaveTextFile(path, FormatIntelHex(image)));
        ASSERT_TRUE(IsIntelHexFile(path));
        FlashImage back;
        ClearImage(back);
        ASSERT_EQ(ReadIntelHex(path, back), HexReadResult::Ok);
        EXPECT_TRUE(CompareImages(image, back).Equal());
    }
}

TEST(HexWriterTest, SixteenByteRecordsWithoutBlankOnesAndAnEndRecord) {
    FlashImage image;
    ClearImage(image);
    image[0x0010] = 0x01;  // one record at 0x0010
    image[0x2FF0] = 0xA5;  // the last record of the flash
    const std::string hex = FormatIntelHex(image);
    EXPECT_EQ(hex,
              ":10001000"
              "01"
              "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
              "EE\r\n"
              ":102FF000"
              "A5"
              "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
              "3B\r\n"
              ":00000001FF\r\n");
}

TEST(ImageSourceTest, HexFileSuppliesExactlyItsRecordsEvenWhereTheyHold0xFF) {
    TempDir dir;
    // Two records with a gap; the second holds 0xFF bytes that still count as supplied.
    const std::string path = dir.Write("two.hex",
                                       ":0300000002000BF0\n"
                                       ":02010000FFFFFF\n"
                                       ":00000001FF\n");
    const ImageSource source = LoadImageSource(path);
    ASSERT_TRUE(source.ok) << source.error;
    EXPECT_EQ(source.format, ImageFormat::IntelHex);
    EXPECT_EQ(source.supplied.count(), 5u);
    EXPECT_EQ(SuppliedRanges(source.supplied),
              (std::vector<AddressRange>{{0x0000, 0x0002}, {0x0100, 0x0101}}));
    EXPECT_EQ(CountNotBlank(source.image), 3u);  // 0x02, 0x00, 0x0B
}

TEST(ImageSourceTest, FormatsAndRefusals) {
    TempDir dir;
    const struct {
        std::string name;
        std::string bytes;
        bool ok;
        ImageFormat format;
        std::size_t supplied;
        bool hexNameButBinary;
        std::string error;
    } cases[] = {
        {"plain.bin", std::string("\x01\x02\xFF", 3), true, ImageFormat::Binary, 3, false, ""},
        {"full.bin", std::string(FLASH_SIZE, '\x11'), true, ImageFormat::Binary, FLASH_SIZE, false,
         ""},
        {"big.bin", std::string(FLASH_SIZE + 1, '\x11'), false, ImageFormat::Binary, 0, false,
         "größer als der Flash"},
        {"beyond.hex", ":01300000AA25\n", false, ImageFormat::IntelHex, 0, false,
         "größer als der Flash"},
        {"broken.hex", ":0300000002000BF1\n", true, ImageFormat::Binary, 18, true, ""},
        {"empty.hex", "", true, ImageFormat::IntelHex, 0, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ImageSource source = LoadImageSource(dir.Write(c.name, c.bytes));
        EXPECT_EQ(source.ok, c.ok);
        if (!c.ok) {
            EXPECT_NE(source.error.find(c.error), std::string::npos) << source.error;
            continue;
        }
        EXPECT_EQ(source.format, c.format);
        EXPECT_EQ(source.supplied.count(), c.supplied);
        EXPECT_EQ(source.hexNameButBinary, c.hexNameButBinary);
    }
    const ImageSource missing = LoadImageSource(dir.Path("missing.bin"));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("kann nicht geöffnet werden"), std::string::npos);
}

TEST(ImageSourceTest, ExampleProgramAsHexAndBinaryIsTheSameImage) {
    const ImageSource hex = LoadImageSource(clitest::kExampleHex);
    const ImageSource bin = LoadImageSource(clitest::kExampleBin);
    ASSERT_TRUE(hex.ok && bin.ok);
    EXPECT_EQ(hex.format, ImageFormat::IntelHex);
    EXPECT_EQ(bin.format, ImageFormat::Binary);
    EXPECT_TRUE(CompareImages(hex.image, bin.image).Equal());
    EXPECT_EQ(hex.crc, bin.crc);
}

TEST(ImageCompareTest, CountsEveryDifferenceAndNamesTheFirst) {
    const FlashImage a = clitest::PatternImage(0);
    FlashImage b = a;
    EXPECT_TRUE(CompareImages(a, b).Equal());
    b[0x2FFF] = static_cast<std::uint8_t>(~a[0x2FFF]);
    b[0x0123] = 0x34;
    b[0x0124] = static_cast<std::uint8_t>(~a[0x0124]);
    const ImageDifference difference = CompareImages(a, b);
    EXPECT_EQ(difference.count, 3u);
    EXPECT_EQ(difference.firstAddress, 0x0123);
    EXPECT_EQ(difference.expected, a[0x0123]);
    EXPECT_EQ(difference.actual, 0x34);
    char expected[80];
    std::snprintf(expected, sizeof expected, "an Adresse 0x0123: Datei 0x%02X, Chip 0x34; 3 Bytes",
                  a[0x0123]);
    EXPECT_NE(DescribeDifference(difference).find(expected), std::string::npos)
        << DescribeDifference(difference);
}

TEST(ImageCompareTest, FindsDifferencesThatTheCrcCannotSee) {
    // The CRC is linear: XOR-ing its generator polynomial (0x1 1021 as the bytes 01 10 21)
    // into any three consecutive bytes leaves the CRC-16 unchanged.
    const FlashImage a = clitest::PatternImage(5);
    FlashImage b = a;
    b[0x0400] ^= 0x01;
    b[0x0401] ^= 0x10;
    b[0x0402] ^= 0x21;
    CCrc16 crc;
    crc.BuildTable();
    ASSERT_EQ(crc.Compute(a.data(), FLASH_SIZE), crc.Compute(b.data(), FLASH_SIZE));
    const ImageDifference difference = CompareImages(a, b);
    EXPECT_EQ(difference.count, 3u);
    EXPECT_EQ(difference.firstAddress, 0x0400);
}

}  // namespace
