#include "image/Crc16.h"
#include "image/ImageFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/FlashImage.h"

namespace velmo {
namespace {

class Crc16Test : public ::testing::Test {
  protected:
    void SetUp() override { m_crc.BuildTable(); }
    CCrc16 m_crc;
};

TEST_F(Crc16Test, TableIsTheMsbFirstTableOfPolynomial1021) {
    EXPECT_EQ(m_crc.m_table[0], 0x0000);
    EXPECT_EQ(m_crc.m_table[1], 0x1021);
    EXPECT_EQ(m_crc.m_table[2], 0x2042);
    EXPECT_EQ(m_crc.m_table[128], 0x9188);
    EXPECT_EQ(m_crc.m_table[255], 0x1EF0);
}

TEST_F(Crc16Test, KnownValues) {
    const char* digits = "123456789";
    EXPECT_EQ(m_crc.Compute(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x31C3);

    FlashImage image;
    image.fill(0xFF);
    EXPECT_EQ(m_crc.Compute(image.data(), FLASH_SIZE), 0x80F8);
    image.fill(0x00);
    EXPECT_EQ(m_crc.Compute(image.data(), FLASH_SIZE), 0x0000);
}

TEST(Crc16LengthZero, GivesZeroWithoutTouchingTheTable) {
    CCrc16 unbuilt;  // a zero-length CRC needs no table
    const std::uint8_t byte = 0x5A;
    EXPECT_EQ(unbuilt.Compute(&byte, 0), 0);
    EXPECT_EQ(unbuilt.Compute(nullptr, 0), 0);
}

// The CRC covers the whole image, so trailing 0xFF padding of a short file is invisible:
// 100 bytes alone and the same bytes padded with 0xFF up to any length give one CRC.
TEST_F(Crc16Test, ImageOfShortFileEqualsImageOfPaddedFile) {
    testing::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes.push_back(static_cast<char>(i * 7));
    const LoadedImage shortFile = LoadImageFile(dir.Write("short.bin", bytes));
    ASSERT_TRUE(shortFile.Loaded());
    for (std::size_t length : {std::size_t{101}, std::size_t{5000}, FLASH_SIZE}) {
        SCOPED_TRACE(length);
        std::string padded = bytes;
        padded.resize(length, '\xFF');
        const LoadedImage paddedFile = LoadImageFile(dir.Write("padded.bin", padded));
        ASSERT_TRUE(paddedFile.Loaded());
        EXPECT_EQ(paddedFile.image, shortFile.image);
        EXPECT_EQ(paddedFile.crc, shortFile.crc);
        EXPECT_EQ(m_crc.Compute(paddedFile.image.data(), FLASH_SIZE), shortFile.crc);
        // What differs is only which bytes the files supply.
        EXPECT_EQ(paddedFile.supplied.count(), length);
    }
}

TEST_F(Crc16Test, SingleBitChangesChangeTheCrc) {
    FlashImage image;
    image.fill(0xFF);
    const std::uint16_t base = m_crc.Compute(image.data(), FLASH_SIZE);
    for (std::size_t index : {std::size_t{0}, std::size_t{1}, FLASH_SIZE / 2, FLASH_SIZE - 1}) {
        FlashImage changed = image;
        changed[index] ^= 0x01;
        EXPECT_NE(m_crc.Compute(changed.data(), FLASH_SIZE), base) << "index " << index;
    }
}

TEST(FormatCrc, FourUpperCaseDigitsWithLeadingZeros) {
    struct Row {
        std::uint16_t crc;
        const char* text;
    };
    const Row rows[] = {
        {0x0000, "0x0000"}, {0x00A5, "0x00A5"}, {0x0ABC, "0x0ABC"},
        {0x80F8, "0x80F8"}, {0x31C3, "0x31C3"}, {0xFFFF, "0xFFFF"},
    };
    for (const Row& row : rows) EXPECT_EQ(FormatCrc(row.crc), row.text);
}

}  // namespace
}  // namespace velmo
