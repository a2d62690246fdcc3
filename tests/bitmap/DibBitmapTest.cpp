#include "bitmap/DibBitmap.h"
#include "support/BmpBytes.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

using velmo::DibBitmap;
using velmo::DibColour;

namespace {

constexpr DibColour kBlack{0, 0, 0};

DibColour Grey(int level) {
    const auto v = static_cast<std::uint8_t>(level);
    return DibColour{v, v, v};
}

std::optional<DibBitmap> Read(const BmpSpec& spec) {
    return DibBitmap::FromFileBytes(MakeBmp(spec));
}

// A 2 x 2 8-bit picture: bottom row indices 1 2, top row 3 0 (rows padded to 4 bytes).
BmpSpec EightBitTwoByTwo() {
    BmpSpec s;
    s.table = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    s.colourCountField = 4;
    s.pixels = {1, 2, 0, 0, 3, 0, 0, 0};
    return s;
}

}  // namespace

TEST(DibPlaceholder, GreyRowsFromBlackAtTheBottomToGrey99AtTheTop) {
    const DibBitmap p = DibBitmap::Placeholder(255, 100);
    ASSERT_EQ(p.Width(), 255);
    ASSERT_EQ(p.Height(), 100);
    EXPECT_EQ(p.BitsPerPixel(), 8);
    ASSERT_EQ(p.Palette().size(), 256u);
    EXPECT_EQ(p.Palette()[0], kBlack);
    EXPECT_EQ(p.Palette()[200], Grey(200));
    for (int yFromTop = 0; yFromTop < 100; ++yFromTop) {
        const DibColour expected = Grey(99 - yFromTop);
        for (int x : {0, 128, 254}) {
            ASSERT_EQ(p.PixelAt(x, yFromTop), expected) << "x " << x << " row " << yFromTop;
        }
    }
}

TEST(DibPlaceholder, TallPlaceholderRisesMoreSlowlyAndNeverPassesWhite) {
    const DibBitmap p = DibBitmap::Placeholder(3, 510);
    // Two rows per level: the level rises whenever level * 2 < row.
    EXPECT_EQ(p.PixelAt(0, 509), Grey(0));
    EXPECT_EQ(p.PixelAt(0, 508), Grey(1));
    EXPECT_EQ(p.PixelAt(0, 507), Grey(1));
    EXPECT_EQ(p.PixelAt(0, 506), Grey(2));
    EXPECT_EQ(p.PixelAt(0, 0), Grey(255));
}

TEST(DibPlaceholder, NegativeSizeGivesAnEmptyPicture) {
    const DibBitmap p = DibBitmap::Placeholder(-5, 10);
    EXPECT_EQ(p.Width(), 0);
    EXPECT_TRUE(p.ToArgb32().empty());
}

TEST(DibRead, MissingFileIsRefused) {
    EXPECT_FALSE(DibBitmap::FromFile("/nonexistent/velmo_Programmierkabel.bmp"));
}

TEST(DibRead, RefusesFilesItCannotReadSafely) {
    struct Case {
        const char* what;
        BmpSpec spec;
    };
    std::vector<Case> cases;
    auto add = [&cases](const char* what, auto change) {
        BmpSpec s = EightBitTwoByTwo();
        change(s);
        cases.push_back({what, s});
    };
    add("no BM mark", [](BmpSpec& s) {
        s.mark[0] = 'M';
        s.mark[1] = 'B';
    });
    add("size field one byte past the end",
        [](BmpSpec& s) { s.sizeField = static_cast<std::uint32_t>(MakeBmp(s).size() + 1); });
    add("size field below the file header", [](BmpSpec& s) { s.sizeField = 13; });
    add("size field cuts the last pixel row short", [](BmpSpec& s) {
        s.sizeField = static_cast<std::uint32_t>(MakeBmp(s).size() - 1);
        s.trailing = 8;  // the bytes are there, but not inside the picture
    });
    add("size field leaves no header size", [](BmpSpec& s) { s.sizeField = 14 + 3; });
    add("header size 0", [](BmpSpec& s) { s.headerSize = 0; });
    add("header size 11", [](BmpSpec& s) { s.headerSize = 11; });
    add("header size 13", [](BmpSpec& s) { s.headerSize = 13; });
    add("header size 15", [](BmpSpec& s) { s.headerSize = 15; });
    add("header size beyond the file", [](BmpSpec& s) {
        s.headerSize = 40;
        s.sizeField = 14 + 30;
    });
    add("16 bits per pixel", [](BmpSpec& s) {
        s.bitsPerPixel = 16;
        s.table.clear();
        s.colourCountField = 0;
    });
    add("32 bits per pixel", [](BmpSpec& s) {
        s.bitsPerPixel = 32;
        s.table.clear();
        s.colourCountField = 0;
        s.pixels.assign(16, 0);
    });
    add("2 bits per pixel", [](BmpSpec& s) { s.bitsPerPixel = 2; });
    add("run-length compressed", [](BmpSpec& s) { s.compression = 1; });
    add("negative width", [](BmpSpec& s) { s.width = -2; });
    add("width beyond 32767", [](BmpSpec& s) { s.width = 32768; });
    add("height beyond 32767 top-down", [](BmpSpec& s) { s.height = -32768; });
    add("smallest height", [](BmpSpec& s) { s.height = INT32_MIN; });
    add("width times height overflowing", [](BmpSpec& s) {
        s.width = 32767;
        s.height = 32767;
    });
    add("colour count far past the file", [](BmpSpec& s) { s.colourCountField = 0xFFFFFFFF; });
    add("colour count one entry too many", [](BmpSpec& s) { s.colourCountField = 7; });
    for (const Case& c : cases) {
        EXPECT_FALSE(Read(c.spec)) << c.what;
    }
}

TEST(DibRead, WidthOrHeightZeroIsAPictureWithoutPixels) {
    struct Case {
        const char* what;
        std::uint32_t headerSize;
        std::int32_t width;
        std::int32_t height;
        std::uint16_t bitsPerPixel;
    };
    const Case cases[] = {
        {"width 0", 40, 0, 2, 8},
        {"height 0", 40, 2, 0, 8},
        {"both 0, 24 bits", 40, 0, 0, 24},
        {"core header, width 0", 12, 0, 5, 8},
        {"core header, height 0", 12, 7, 0, 1},
    };
    for (const Case& c : cases) {
        BmpSpec s = EightBitTwoByTwo();
        s.headerSize = c.headerSize;
        s.width = c.width;
        s.height = c.height;
        s.bitsPerPixel = c.bitsPerPixel;
        s.table.assign(c.bitsPerPixel == 24 ? 0 : std::size_t{1} << c.bitsPerPixel, 0x102030);
        s.colourCountField = 0;
        s.pixels.clear();  // no row holds a pixel
        const auto dib = Read(s);
        ASSERT_TRUE(dib) << c.what;
        EXPECT_EQ(dib->Width(), c.width) << c.what;
        EXPECT_EQ(dib->Height(), c.height) << c.what;
        EXPECT_TRUE(dib->ToArgb32().empty()) << c.what;
        EXPECT_EQ(dib->PixelAt(0, 0), kBlack) << c.what;
    }
}

TEST(DibRead, CoreHeaderBeyond32767IsRefused) {
    BmpSpec s;
    s.headerSize = 12;
    s.width = 40000;
    s.height = 1;
    s.bitsPerPixel = 24;
    s.pixels.assign(120000, 0);
    EXPECT_FALSE(Read(s));
}

TEST(DibRead, EightBitPixelsThroughTheirColourTable) {
    const auto dib = Read(EightBitTwoByTwo());
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->Width(), 2);
    EXPECT_EQ(dib->Height(), 2);
    ASSERT_EQ(dib->Palette().size(), 4u);
    EXPECT_EQ(dib->PixelStart(), 40u + 16u);
    // Rows are stored bottom-up: the last stored row is the top one.
    EXPECT_EQ(dib->PixelAt(0, 0), (DibColour{0, 0, 255}));
    EXPECT_EQ(dib->PixelAt(1, 0), kBlack);
    EXPECT_EQ(dib->PixelAt(0, 1), (DibColour{255, 0, 0}));
    EXPECT_EQ(dib->PixelAt(1, 1), (DibColour{0, 255, 0}));
    EXPECT_EQ(dib->ToArgb32(),
              (std::vector<std::uint32_t>{0xFF0000FF, 0xFF000000, 0xFFFF0000, 0xFF00FF00}));
}

TEST(DibRead, ColourCountRules) {
    struct Case {
        const char* what;
        std::uint32_t headerSize;
        std::uint16_t bits;
        std::uint32_t countField;
        std::size_t tableEntries;
        std::size_t expectedPalette;
    };
    const Case cases[] = {
        {"8 bits, count 0: all 256", 40, 8, 0, 256, 256},
        {"8 bits, count 2", 40, 8, 2, 2, 2},
        {"4 bits, count 0: 16", 40, 4, 0, 16, 16},
        {"1 bit, count 0: 2", 40, 1, 0, 2, 2},
        {"24 bits, count 0: none", 40, 24, 0, 0, 0},
        {"24 bits naming a count of 3", 40, 24, 3, 3, 3},
        {"core header, 8 bits: 256", 12, 8, 0, 256, 256},
        {"core header, 24 bits: none", 12, 24, 0, 0, 0},
        {"20-byte header has no count field", 20, 4, 0, 16, 16},
        {"bigger header (108 bytes)", 108, 8, 5, 5, 5},
    };
    for (const Case& c : cases) {
        BmpSpec s;
        s.headerSize = c.headerSize;
        s.width = 4;
        s.height = 3;
        s.bitsPerPixel = c.bits;
        s.colourCountField = c.countField;
        for (std::size_t i = 0; i < c.tableEntries; ++i) {
            s.table.push_back(static_cast<std::uint32_t>(i * 0x010101));
        }
        const std::size_t rowBytes = (4 * c.bits + 31) / 32 * 4;
        s.pixels.assign(rowBytes * 3, 1);
        const auto dib = Read(s);
        ASSERT_TRUE(dib) << c.what;
        EXPECT_EQ(dib->Palette().size(), c.expectedPalette) << c.what;
        const std::size_t entry = c.headerSize == 12 ? 3 : 4;
        EXPECT_EQ(dib->PixelStart(), c.headerSize + entry * c.tableEntries) << c.what;
    }
}

TEST(DibRead, PixelsFollowTheColourTableWhateverTheOffsetFieldSays) {
    BmpSpec s = EightBitTwoByTwo();
    s.gap = 4;  // the offset field points one row later
    // The picture is read from right after the table: the gap's bytes (index 0xEE, past the
    // 4-entry table: black) become the bottom row, the real bottom row the top one.
    const auto dib = Read(s);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->PixelStart(), 40u + 16u);
    EXPECT_EQ(dib->PixelAt(0, 1), kBlack);
    EXPECT_EQ(dib->PixelAt(1, 1), kBlack);
    EXPECT_EQ(dib->PixelAt(0, 0), (DibColour{255, 0, 0}));
    EXPECT_EQ(dib->PixelAt(1, 0), (DibColour{0, 255, 0}));
}

TEST(DibRead, OneFourAnd24BitPixels) {
    BmpSpec one;
    one.width = 10;
    one.height = 1;
    one.bitsPerPixel = 1;
    one.table = {0x000000, 0xFFFFFF};
    one.pixels = {0b10100000, 0b01000000, 0, 0};
    auto dib = Read(one);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->PixelAt(0, 0), Grey(255));
    EXPECT_EQ(dib->PixelAt(1, 0), kBlack);
    EXPECT_EQ(dib->PixelAt(2, 0), Grey(255));
    EXPECT_EQ(dib->PixelAt(9, 0), Grey(255));
    EXPECT_EQ(dib->PixelAt(8, 0), kBlack);

    BmpSpec four;
    four.width = 3;
    four.height = 1;
    four.bitsPerPixel = 4;
    four.colourCountField = 3;
    four.table = {0x102030, 0x405060, 0x708090};
    four.pixels = {0x21, 0x70, 0, 0};  // index 7 lies past the 3-entry table
    dib = Read(four);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->PixelAt(0, 0), (DibColour{0x70, 0x80, 0x90}));
    EXPECT_EQ(dib->PixelAt(1, 0), (DibColour{0x40, 0x50, 0x60}));
    EXPECT_EQ(dib->PixelAt(2, 0), kBlack);

    BmpSpec rgb;
    rgb.width = 2;
    rgb.height = 1;
    rgb.bitsPerPixel = 24;
    rgb.pixels = {0x01, 0x02, 0x03, 0x0A, 0x0B, 0x0C, 0, 0};  // blue, green, red
    dib = Read(rgb);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(dib->Palette().empty());
    EXPECT_EQ(dib->PixelAt(0, 0), (DibColour{0x03, 0x02, 0x01}));
    EXPECT_EQ(dib->PixelAt(1, 0), (DibColour{0x0C, 0x0B, 0x0A}));
    EXPECT_EQ(dib->PixelAt(2, 0), kBlack);  // outside
}

TEST(DibRead, CoreHeaderWithThreeByteEntries) {
    BmpSpec s;
    s.headerSize = 12;
    s.width = 1;
    s.height = 2;
    s.bitsPerPixel = 1;
    s.table = {0x112233, 0x445566};
    s.pixels = {0x00, 0, 0, 0, 0x80, 0, 0, 0};
    const auto dib = Read(s);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->PixelStart(), 12u + 6u);
    EXPECT_EQ(dib->PixelAt(0, 0), (DibColour{0x44, 0x55, 0x66}));
    EXPECT_EQ(dib->PixelAt(0, 1), (DibColour{0x11, 0x22, 0x33}));
}

TEST(DibRead, TopDownRowsAreReadFromTheTop) {
    BmpSpec s = EightBitTwoByTwo();
    s.height = -2;
    const auto dib = Read(s);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(dib->TopDown());
    EXPECT_EQ(dib->Height(), 2);
    EXPECT_EQ(dib->PixelAt(0, 0), (DibColour{255, 0, 0}));
    EXPECT_EQ(dib->PixelAt(0, 1), (DibColour{0, 0, 255}));
}

TEST(DibRead, BytesAfterThePictureAreIgnored) {
    BmpSpec s = EightBitTwoByTwo();
    s.trailing = 100;
    EXPECT_TRUE(Read(s));
}

TEST(DibRead, FileAndMemoryGiveTheSamePicture) {
    velmo::testing::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    BmpSpec big;  // more than one read piece
    big.width = 300;
    big.height = 300;
    big.bitsPerPixel = 24;
    big.pixels.resize(900 * 300);
    for (std::size_t i = 0; i < big.pixels.size(); ++i) {
        big.pixels[i] = static_cast<std::uint8_t>(i * 7);
    }
    for (const BmpSpec& spec : {EightBitTwoByTwo(), big}) {
        const std::string path = dir.Path("picture.bmp");
        const auto bytes = MakeBmp(spec);
        ASSERT_TRUE(WriteBytes(path, bytes));
        const auto fromFile = DibBitmap::FromFile(path);
        const auto fromBytes = DibBitmap::FromFileBytes(bytes);
        ASSERT_TRUE(fromFile);
        ASSERT_TRUE(fromBytes);
        EXPECT_EQ(fromFile->ToArgb32(), fromBytes->ToArgb32());
    }
    // A file cut short of its size field, by one byte and by more than a read piece.
    auto bytes = MakeBmp(big);
    for (std::size_t cut : {std::size_t{1}, std::size_t{40000}}) {
        const std::string path = dir.Path("short.bmp");
        ASSERT_TRUE(WriteBytes(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end() - cut)));
        EXPECT_FALSE(DibBitmap::FromFile(path)) << cut;
    }
    EXPECT_FALSE(DibBitmap::FromFile(dir.Root()));  // a folder
}
