#include "image/IntelHex.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "image/Crc16.h"
#include "image/ImageFiles.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

using testing::TempDir;

// How a file comes out of a load.
enum class Reads {
    Hex,             // HEX branch: the listed bytes, all others 0xFF
    Binary,          // binary branch: the file's bytes are the image
    BinaryTooLarge,  // binary branch, longer than the flash: refused
    HexTooLarge,     // HEX data beyond the flash: refused
};

struct HexRow {
    const char* name;
    std::string content;
    Reads reads;
    std::map<std::size_t, std::uint8_t> bytes;  // for Hex: what the records store
};

const std::string kRecord = ":0400000012345678E8";
const std::map<std::size_t, std::uint8_t> kRecordBytes = {
    {0, 0x12}, {1, 0x34}, {2, 0x56}, {3, 0x78}};

std::vector<HexRow> HexRows() {
    return {
        {"one record, line feed", kRecord + "\n", Reads::Hex, kRecordBytes},
        {"carriage return and line feed", kRecord + "\r\n:00000001FF\r\n", Reads::Hex,
         kRecordBytes},
        {"last line without line feed", ":00000001FF\n" + kRecord, Reads::Hex, kRecordBytes},
        {"bad last line without line feed", kRecord + "\nJUNK", Reads::Binary, {}},
        {"trailing ctrl-z is no line", kRecord + "\r\n:00000001FF\r\n\x1A", Reads::Hex,
         kRecordBytes},
        {"ctrl-z hides what follows", kRecord + "\n\x1Anot hex at all\n\n", Reads::Hex,
         kRecordBytes},
        {"ctrl-z in the middle of a line", kRecord + "\x1Agarbage", Reads::Hex, kRecordBytes},
        {"blank line makes it binary", kRecord + "\n\n:00000001FF\n", Reads::Binary, {}},
        {"blank line of CR LF makes it binary", kRecord + "\r\n\r\n", Reads::Binary, {}},
        {"line without colon", kRecord + "\n00000001FF\n", Reads::Binary, {}},
        {"lower case digits",
         ":04000000abcdef0194\n",
         Reads::Hex,
         {{0, 0xAB}, {1, 0xCD}, {2, 0xEF}, {3, 0x01}}},
        {"type 02 switches data off until type 04",
         ":020000021000EC\n:0100100042AD\n:020000040000FA\n:01002000439C\n",
         Reads::Hex,
         {{0x20, 0x43}}},
        {"type 01 ends nothing: data after it is stored", ":00000001FF\n" + kRecord + "\n",
         Reads::Hex, kRecordBytes},
        {"count 0 stores nothing", ":00001000F0\n", Reads::Hex, {}},
        {"empty file", "", Reads::Hex, {}},
        {"one checksum changed", ":0400000012345678E9\n", Reads::Binary, {}},
        {"changed checksum, longer than the flash",
         ":0400000012345678E9\n" + std::string(FLASH_SIZE, 'A'),
         Reads::BinaryTooLarge,
         {}},
        {"types 03 and 05 are ignored",
         ":0400000300003800C1\n:04000005000000CD2A\n",
         Reads::Hex,
         {}},
        {"colon alone passes", ":\n", Reads::Hex, {}},
        {"colon alone between records", kRecord + "\n:\n", Reads::Hex, kRecordBytes},
        {"odd last character is left out of the sum", kRecord + "X\n", Reads::Hex, kRecordBytes},
        // Were the CR part of the line, the pair "1\r" would spoil the sum.
        {"CR before LF belongs to the line ending", ":00000001FF1\r\n", Reads::Hex, {}},
        // Were the lone CR dropped, "1" would be an odd last character and the line would pass.
        {"carriage return not before line feed stays in the line",
         ":00000001FF\r1\n",
         Reads::Binary,
         {}},
        {"CR CR LF keeps the first CR as an odd last character", kRecord + "\r\r\n", Reads::Hex,
         kRecordBytes},
        {"a later record overwrites an earlier one",
         ":01000000AA55\n:01000000BB44\n",
         Reads::Hex,
         {{0, 0xBB}}},
        {"leading blank in a pair reads like strtol", ":01000000 5FA\n", Reads::Hex, {{0, 0x05}}},
        {"type starting with a letter reads as data", ":010000A0550A\n", Reads::Hex, {{0, 0x55}}},
        // Pairs past the line's end are empty fields and read 0; the checksum is data here.
        {"count beyond the line's end",
         ":0400000012EA\n",
         Reads::Hex,
         {{0, 0x12}, {1, 0xEA}, {2, 0x00}, {3, 0x00}}},
        {"last byte of the flash", ":012FFF009938\n", Reads::Hex, {{0x2FFF, 0x99}}},
        {"record running over the flash's end", ":022FFF000102CD\n", Reads::HexTooLarge, {}},
        {"address at the flash's end", kRecord + "\n:01300000557A\n", Reads::HexTooLarge, {}},
        {"upper address 1", ":020000040001F9\n" + kRecord + "\n", Reads::HexTooLarge, {}},
        // 0xFFFF * 65536 + 0xFFFF + 1 is 2^32: it must not wrap round to index 0.
        {"index that would wrap round 32 bits",
         ":02000004FFFFFC\n:0200FFFF0102FD\n",
         Reads::HexTooLarge,
         {}},
        {"bytes beyond the flash while data is off are skipped",
         ":020000021000EC\n:01300000557A\n",
         Reads::Hex,
         {}},
    };
}

class HexRules : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        m_crc.BuildTable();
    }
    TempDir m_dir;
    CCrc16 m_crc;
};

TEST_F(HexRules, EachFileLoadsAsItsContentSays) {
    int fileNumber = 0;
    for (const HexRow& row : HexRows()) {
        SCOPED_TRACE(row.name);
        const std::string path = m_dir.Write("f" + std::to_string(++fileNumber), row.content);
        const LoadedImage loaded = LoadImageFile(path);
        const FlashImage& image = loaded.image;

        FlashImage expected;
        expected.fill(0xFF);
        switch (row.reads) {
            case Reads::Hex:
                for (const auto& [index, value] : row.bytes) expected[index] = value;
                EXPECT_EQ(loaded.error, LoadError::None);
                EXPECT_EQ(loaded.format, ImageFormat::IntelHex);
                break;
            case Reads::Binary:
                ASSERT_LE(row.content.size(), FLASH_SIZE);
                std::copy(row.content.begin(), row.content.end(), expected.begin());
                EXPECT_EQ(loaded.error, LoadError::None);
                EXPECT_EQ(loaded.format, ImageFormat::Binary);
                break;
            case Reads::BinaryTooLarge:
                EXPECT_EQ(loaded.error, LoadError::TooLarge);
                EXPECT_EQ(loaded.format, ImageFormat::Binary);
                break;
            case Reads::HexTooLarge:
                EXPECT_EQ(loaded.error, LoadError::TooLarge);
                EXPECT_EQ(loaded.format, ImageFormat::IntelHex);
                break;
        }
        EXPECT_EQ(image, expected);
        if (loaded.Loaded()) {
            EXPECT_EQ(loaded.crc, m_crc.Compute(expected.data(), FLASH_SIZE));
        }
    }
}

TEST_F(HexRules, EmptyFileGivesTheCrcOfAnErasedFlash) {
    const LoadedImage loaded = LoadImageFile(m_dir.Write("empty.hex", ""));
    ASSERT_TRUE(loaded.Loaded());
    EXPECT_EQ(FormatCrc(loaded.crc), "0x80F8");
}

// Lines are not limited in length, and a line ending may straddle the reader's buffers.
TEST_F(HexRules, LongLinesAndLineEndsAcrossReadBuffers) {
    const std::size_t chunk = 64 * 1024;
    for (std::size_t pad : {chunk, chunk - kRecord.size() - 1, chunk - kRecord.size(),
                            chunk - kRecord.size() + 1, 3 * chunk + 17}) {
        SCOPED_TRACE(pad);
        // "00" pairs add nothing to the sum, so the padded line is still a valid record;
        // a second record after the long line must be found as well.
        std::string line = kRecord + std::string(pad - pad % 2, '0');
        const std::string content = line + "\r\n:01100000AA45\r\n";
        const LoadedImage loaded = LoadImageFile(m_dir.Write("long.hex", content));
        EXPECT_TRUE(loaded.Loaded());
        EXPECT_EQ(loaded.format, ImageFormat::IntelHex);
        EXPECT_EQ(loaded.image[3], 0x78);
        EXPECT_EQ(loaded.image[0x1000], 0xAA);
    }
}

TEST_F(HexRules, CarriageReturnJustBeforeABufferBoundary) {
    // The CR is the last byte of the first read buffer, its LF the first byte of the next.
    // The long line has an odd number of characters after ':', so its last "1" is left out;
    // were the CR taken for a character, the pair "1\r" would spoil the sum.
    const std::size_t chunk = 64 * 1024;
    const std::string shift = ":0\n";
    const std::size_t zeros = chunk - 1 - shift.size() - kRecord.size() - 1;
    ASSERT_EQ(zeros % 2, 0u);
    const std::string content = shift + kRecord + std::string(zeros, '0') + "1\r\n:00000001FF\r\n";
    ASSERT_EQ(content[chunk - 1], '\r');
    const LoadedImage loaded = LoadImageFile(m_dir.Write("edge.hex", content));
    EXPECT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.format, ImageFormat::IntelHex);
    EXPECT_EQ(loaded.image[0], 0x12);
}

TEST_F(HexRules, ReaderAndTestOnFilesThatCannotBeOpened) {
    const std::string missing = m_dir.Path("no-such-file.hex");
    // The test lets such a file through so that the reader reports it.
    EXPECT_TRUE(IsIntelHexFile(missing));
    EXPECT_TRUE(IsIntelHexFile(m_dir.Path("")));  // a directory
    FlashImage image;
    image.fill(0x11);
    EXPECT_EQ(ReadIntelHex(missing, image), HexReadResult::OpenFailed);
    EXPECT_EQ(ReadIntelHex(m_dir.Path(""), image), HexReadResult::OpenFailed);
    FlashImage untouched;
    untouched.fill(0x11);
    EXPECT_EQ(image, untouched);
}

TEST_F(HexRules, RefusedFileLeavesTheReadersImageAsItWas) {
    FlashImage image;
    image.fill(0x22);
    const std::string path = m_dir.Write("big.hex", kRecord + "\n:020000040001F9\n:0100000055AA\n");
    EXPECT_EQ(ReadIntelHex(path, image), HexReadResult::TooLarge);
    FlashImage untouched;
    untouched.fill(0x22);
    EXPECT_EQ(image, untouched);
}

TEST_F(HexRules, ReaderStoresOnlyRecordBytesOverWhatIsThere) {
    FlashImage image;
    image.fill(0x00);
    EXPECT_EQ(ReadIntelHex(m_dir.Write("r.hex", kRecord + "\n"), image), HexReadResult::Ok);
    EXPECT_EQ(image[3], 0x78);
    EXPECT_EQ(image[4], 0x00);
}

}  // namespace
}  // namespace velmo
