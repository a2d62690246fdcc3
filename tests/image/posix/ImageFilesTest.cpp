#include "image/ImageFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/Images.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

using testing::ImageOf;
using testing::ReadBytes;
using testing::TempDir;

std::string Pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    bytes[0] = 0x02;  // not ':', so the content is never taken for HEX
    return bytes;
}

std::uint16_t CrcOf(const FlashImage& image) {
    CCrc16 crc;
    crc.BuildTable();
    return crc.Compute(image.data(), static_cast<std::uint16_t>(image.size()));
}

class LoadFile : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.Valid()); }
    TempDir m_dir;
    FlashImage m_erased = ImageOf("");
};

SuppliedBytes First(std::size_t count) {
    SuppliedBytes supplied;
    for (std::size_t a = 0; a < count; ++a) supplied.set(a);
    return supplied;
}

TEST_F(LoadFile, HexFileRead) {
    const std::string path = m_dir.Write("blink.hex", ":0400000012345678E8\n:00000001FF\n");
    const LoadedImage loaded = LoadImageFile(path);
    EXPECT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.format, ImageFormat::IntelHex);
    EXPECT_EQ(loaded.image, ImageOf("\x12\x34\x56\x78"));
    EXPECT_EQ(loaded.supplied, First(4));
    EXPECT_EQ(loaded.crc, CrcOf(ImageOf("\x12\x34\x56\x78")));
}

TEST_F(LoadFile, BinaryFilesUpToTheFlashSize) {
    for (std::size_t length : {std::size_t{1}, std::size_t{100}, FLASH_SIZE - 1, FLASH_SIZE}) {
        SCOPED_TRACE(length);
        const std::string bytes = Pattern(length);
        const LoadedImage loaded = LoadImageFile(m_dir.Write("app.bin", bytes));
        EXPECT_TRUE(loaded.Loaded());
        EXPECT_EQ(loaded.format, ImageFormat::Binary);
        EXPECT_EQ(loaded.image, ImageOf(bytes));
        EXPECT_EQ(loaded.supplied, First(length));
        EXPECT_EQ(loaded.crc, CrcOf(ImageOf(bytes)));
    }
}

TEST_F(LoadFile, TooLargeFilesAreRefusedWholeAndLeaveAnErasedImage) {
    struct Case {
        const char* name;
        std::string content;
        ImageFormat format;
    };
    const Case cases[] = {
        {"one byte more.bin", Pattern(FLASH_SIZE + 1), ImageFormat::Binary},
        {"three times.bin", Pattern(3 * FLASH_SIZE), ImageFormat::Binary},
        // A record beyond the flash: nothing of the file may be programmed.
        {"big.hex", ":0400000012345678E8\n:020000040001F9\n:0100000055AA\n", ImageFormat::IntelHex},
        {"end.hex", ":0400000012345678E8\n:02300000AA55CF\n", ImageFormat::IntelHex},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedImage loaded = LoadImageFile(m_dir.Write(c.name, c.content));
        EXPECT_EQ(loaded.error, LoadError::TooLarge);
        EXPECT_FALSE(loaded.Loaded());
        EXPECT_EQ(loaded.format, c.format) << "known also for a refused file";
        EXPECT_EQ(loaded.image, m_erased);
        EXPECT_TRUE(loaded.supplied.none());
    }
}

TEST_F(LoadFile, FileThatCannotBeOpened) {
    // Must neither wait for a writer nor read forever.
    const std::string fifo = m_dir.Path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        bool binaryBranchOnly;
    };
    const Case cases[] = {
        {"missing file, HEX branch", m_dir.Path("missing.hex"), false},
        {"directory, HEX branch", m_dir.Path(""), false},
        {"empty path", "", false},
        {"named pipe without a writer", fifo, false},
        {"device", "/dev/zero", false},
        {"missing file, binary branch", m_dir.Path("missing.bin"), true},
        {"directory, binary branch", m_dir.Path(""), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadedImage loaded =
            c.binaryBranchOnly ? LoadBinaryImage(c.path) : LoadImageFile(c.path);
        EXPECT_EQ(loaded.error, LoadError::CannotOpen);
        EXPECT_EQ(loaded.image, m_erased);
        EXPECT_TRUE(loaded.supplied.none());
    }
}

TEST_F(LoadFile, EmptyFilePassesTheHexTestAndLoadsAsAnErasedImage) {
    const LoadedImage loaded = LoadImageFile(m_dir.Write("empty.bin", ""));
    EXPECT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.format, ImageFormat::IntelHex);
    EXPECT_EQ(loaded.crc, 0x80F8);
    EXPECT_EQ(loaded.image, m_erased);
    EXPECT_TRUE(loaded.supplied.none());
}

TEST(FileNameFromPath, LastComponent) {
    struct Row {
        const char* path;
        const char* name;
    };
    const Row rows[] = {
        {"C:\\work\\blink.hex", "blink.hex"},
        {"/home/user/blink.hex", "blink.hex"},
        {"c:\\testfile.bin", "testfile.bin"},
        {"C:/mixed\\dir/app.bin", "app.bin"},
        {"dir\\sub/", ""},
        {"C:\\work\\", ""},
        {"/", ""},
        {"C:x.bin", "x.bin"},
        {"C:", ""},
        {"blink", "blink"},
        {"/opt/firmware/blink", "blink"},
        {"archive.tar.gz", "archive.tar.gz"},
        {"", ""},
        {"1:x.bin", "1:x.bin"},  // no drive letter
        {"ab:x.bin", "ab:x.bin"},
        {"c:\\my-app\\x.bin -t8", "x.bin -t8"},
    };
    for (const Row& row : rows) EXPECT_EQ(FileNameFromPath(row.path), row.name) << row.path;
}

class SaveImage : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        for (std::size_t i = 0; i < FLASH_SIZE; ++i) m_image[i] = static_cast<std::uint8_t>(i);
    }
    std::size_t EntriesInDir() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(m_dir.Path(""))) {
            ++count;
        }
        return count;
    }
    TempDir m_dir;
    FlashImage m_image;
};

TEST_F(SaveImage, WritesExactlyTheWholeImageAndLoadsBackToTheSameCrc) {
    const std::string path = m_dir.Path("read.bin");
    ASSERT_TRUE(SaveImageFile(path, m_image));
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), FLASH_SIZE);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), m_image.begin(), [](char a, std::uint8_t b) {
        return static_cast<std::uint8_t>(a) == b;
    }));
    EXPECT_EQ(EntriesInDir(), 1u);  // no temporary left behind

    const LoadedImage loaded = LoadImageFile(path);
    EXPECT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.image, m_image);
    EXPECT_EQ(loaded.crc, CrcOf(m_image));
}

TEST_F(SaveImage, ReplacesALongerExistingFileAndKeepsItsPermissions) {
    const std::string path = m_dir.Write("old.bin", std::string(50000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(SaveImageFile(path, m_image));
    EXPECT_EQ(ReadBytes(path).size(), FLASH_SIZE);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(EntriesInDir(), 1u);
}

TEST_F(SaveImage, SavesThroughASymbolicLink) {
    const std::string target = m_dir.Write("target.bin", "old");
    const std::string link = m_dir.Path("link.bin");
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(SaveImageFile(link, m_image));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(target).size(), FLASH_SIZE);
}

TEST_F(SaveImage, FailedSaveLeavesWhatIsThere) {
    // A target that is a directory cannot be replaced; what it holds must survive.
    const std::string directory = m_dir.Path("folder.bin");
    std::filesystem::create_directory(directory);
    const std::string inside = m_dir.Write("folder.bin/keep.txt", "precious");
    EXPECT_FALSE(SaveImageFile(directory, m_image));
    EXPECT_EQ(ReadBytes(inside), "precious");
    EXPECT_EQ(EntriesInDir(), 1u);  // the temporary is gone

    EXPECT_FALSE(SaveImageFile(m_dir.Path("no-such-dir/read.bin"), m_image));
    EXPECT_FALSE(SaveImageFile(m_dir.Path("folder.bin/"), m_image));
    EXPECT_FALSE(SaveImageFile("", m_image));
    EXPECT_EQ(ReadBytes(inside), "precious");
    EXPECT_EQ(EntriesInDir(), 1u);
}

}  // namespace
}  // namespace velmo
