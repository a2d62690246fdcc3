// Comparing images byte by byte, the addresses a file supplies, and Intel HEX written out.
#include <gtest/gtest.h>

#include <string>

#include "image/Crc16.h"
#include "image/HexWriter.h"
#include "image/ImageCompare.h"
#include "image/ImageFiles.h"
#include "image/IntelHex.h"
#include "support/Images.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

using testing::PatternImage;
using testing::TempDir;

TEST(ImageCompare, CountsEveryDifferenceAndNamesTheFirst) {
    const FlashImage a = PatternImage(0);
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
}

TEST(ImageCompare, FindsDifferencesThatTheCrcCannotSee) {
    // The CRC is linear: XOR-ing its generator polynomial (0x1 1021 as the bytes 01 10 21)
    // into any three consecutive bytes leaves the CRC-16 unchanged.
    const FlashImage a = PatternImage(5);
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

TEST(SuppliedBytes, AHexFileSuppliesExactlyItsRecordsEvenWhereTheyHold0xFF) {
    TempDir dir;
    // Two records with a gap; the second holds 0xFF bytes that still count as supplied.
    const LoadedImage loaded = LoadImageFile(dir.Write("two.hex",
                                                       ":0300000002000BF0\n"
                                                       ":02010000FFFFFF\n"
                                                       ":00000001FF\n"));
    ASSERT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.supplied.count(), 5u);
    EXPECT_EQ(SuppliedRanges(loaded.supplied),
              (std::vector<AddressRange>{{0x0000, 0x0002}, {0x0100, 0x0101}}));
    EXPECT_EQ(CountNotBlank(loaded.image), 3u);  // 0x02, 0x00, 0x0B
}

TEST(SuppliedBytes, RangesRunToTheEdgesOfTheFlash) {
    SuppliedBytes supplied;
    EXPECT_TRUE(SuppliedRanges(supplied).empty());
    supplied.set(0);
    supplied.set(5);
    supplied.set(6);
    supplied.set(FLASH_SIZE - 1);
    EXPECT_EQ(SuppliedRanges(supplied),
              (std::vector<AddressRange>{{0, 0}, {5, 6}, {0x2FFF, 0x2FFF}}));
    supplied.set();
    EXPECT_EQ(SuppliedRanges(supplied), (std::vector<AddressRange>{{0, 0x2FFF}}));
}

TEST(HexWriter, WrittenHexReadsBackAsTheSameImage) {
    TempDir dir;
    FlashImage erased;
    ClearImage(erased);
    FlashImage sparse = erased;
    sparse[0x0000] = 0x02;
    sparse[0x0011] = 0x00;
    sparse[0x1234] = 0x5A;
    sparse[0x2FFF] = 0x7E;
    const FlashImage images[] = {erased, sparse, PatternImage(3)};
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

TEST(HexWriter, SixteenByteRecordsWithoutBlankOnesAndAnEndRecord) {
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

}  // namespace
}  // namespace velmo
