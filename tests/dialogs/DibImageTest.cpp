#include "dialogs/DibImage.h"
#include "support/BmpBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <QPainter>

#include <cmath>
#include <limits>

namespace {

const QColor kMarker(1, 2, 3);

// A 4 x 2 picture with eight different colours: top row red-ish, bottom row blue-ish.
QColor Source(int x, int y) {
    return y == 0 ? QColor(200, 10 * x, 0) : QColor(0, 10 * x, 200);
}

class DibImageDraw : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        BmpSpec s;
        s.width = 4;
        s.height = 2;
        s.bitsPerPixel = 24;
        for (int y : {1, 0}) {  // bottom row first
            for (int x = 0; x < 4; ++x) {
                const QColor c = Source(x, y);
                s.pixels.insert(s.pixels.end(), {static_cast<std::uint8_t>(c.blue()),
                                                 static_cast<std::uint8_t>(c.green()),
                                                 static_cast<std::uint8_t>(c.red())});
            }
        }
        m_path = m_dir.QPath("p.bmp");
        ASSERT_TRUE(WriteBytes(m_path.toStdString(), MakeBmp(s)));
        ASSERT_TRUE(m_image.LoadBitmapFile(m_path));
    }

    QImage DrawAt(int x, int y, double sx, double sy) {
        QImage canvas(20, 20, QImage::Format_RGB32);
        canvas.fill(kMarker);
        QPainter painter(&canvas);
        m_image.Draw(painter, x, y, sx, sy);
        painter.end();
        return canvas;
    }

    // The rectangle of canvas pixels that were drawn.
    static QRect Drawn(const QImage& canvas) {
        QRect r;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                if (canvas.pixelColor(x, y) != kMarker) {
                    r |= QRect(x, y, 1, 1);
                }
            }
        }
        return r;
    }

    velmo::testing::TempDir m_dir;
    QString m_path;
    CDibImage m_image{255, 100};
};

}  // namespace

TEST_F(DibImageDraw, OwnSizeAtThePosition) {
    const QImage canvas = DrawAt(5, 3, 1.0, 1.0);
    EXPECT_EQ(Drawn(canvas), QRect(5, 3, 4, 2));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(canvas.pixelColor(5 + x, 3 + y), Source(x, y)) << x << "," << y;
        }
    }
}

TEST_F(DibImageDraw, ScaledSizesAreTruncated) {
    const struct {
        double sx, sy;
        QSize size;
    } cases[] = {
        {0.5, 0.5, QSize(2, 1)}, {0.75, 1.0, QSize(3, 2)}, {2.0, 1.5, QSize(8, 3)},
        {0.3, 1.0, QSize(1, 2)}, {1.0, 0.99, QSize(4, 1)},
    };
    for (const auto& c : cases) {
        const QImage canvas = DrawAt(2, 2, c.sx, c.sy);
        EXPECT_EQ(Drawn(canvas), QRect(QPoint(2, 2), c.size)) << c.sx << " x " << c.sy;
        // Nearest neighbour: only the picture's own colours, never a blend.
        for (int y = 2; y < 2 + c.size.height(); ++y) {
            for (int x = 2; x < 2 + c.size.width(); ++x) {
                const QColor got = canvas.pixelColor(x, y);
                bool known = false;
                for (int sy = 0; sy < 2; ++sy) {
                    for (int sx = 0; sx < 4; ++sx) {
                        known = known || got == Source(sx, sy);
                    }
                }
                EXPECT_TRUE(known) << x << "," << y;
            }
        }
    }
}

TEST_F(DibImageDraw, NegativeFactorsMirrorIntoTheSameRectangle) {
    const QImage both = DrawAt(5, 3, -1.0, -1.0);
    const QImage horizontal = DrawAt(5, 3, -1.0, 1.0);
    const QImage vertical = DrawAt(5, 3, 1.0, -1.0);
    for (const QImage* canvas : {&both, &horizontal, &vertical}) {
        EXPECT_EQ(Drawn(*canvas), QRect(5, 3, 4, 2));
    }
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(horizontal.pixelColor(5 + x, 3 + y), Source(3 - x, y));
            EXPECT_EQ(vertical.pixelColor(5 + x, 3 + y), Source(x, 1 - y));
            EXPECT_EQ(both.pixelColor(5 + x, 3 + y), Source(3 - x, 1 - y));
        }
    }
    EXPECT_EQ(Drawn(DrawAt(0, 0, -0.5, 1.0)), QRect(0, 0, 2, 2));
}

TEST_F(DibImageDraw, NothingIsDrawnForEmptyOrUnusableSizes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [sx, sy] : {std::pair{0.0, 1.0},
                          {1.0, 0.2},
                          {nan, 1.0},
                          {1.0, inf},
                          {1e9, 1.0},
                          {20000.0, 20000.0}}) {
        EXPECT_TRUE(Drawn(DrawAt(0, 0, sx, sy)).isEmpty()) << sx << " x " << sy;
    }
}

TEST_F(DibImageDraw, RefusedFileKeepsThePreviousPicture) {
    BmpSpec broken;
    broken.pixels.assign(8, 0);
    broken.sizeField = 5000;
    const QString path = m_dir.QPath("broken.bmp");
    ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(broken)));
    EXPECT_FALSE(m_image.LoadBitmapFile(path));
    EXPECT_FALSE(m_image.LoadBitmapFile(m_dir.QPath("missing.bmp")));
    EXPECT_EQ(m_image.Width(), 4);
    EXPECT_EQ(DrawAt(0, 0, 1, 1).pixelColor(3, 1), Source(3, 1));
}

TEST_F(DibImageDraw, PictureOfWidthOrHeightZeroReplacesTheOldOneAndDrawsNothing) {
    for (auto [width, height] : {std::pair{0, 2}, {4, 0}}) {
        BmpSpec empty;
        empty.width = width;
        empty.height = height;
        empty.table.assign(256, 0x808080);
        const QString path = m_dir.QPath("empty.bmp");
        ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(empty)));
        ASSERT_TRUE(m_image.LoadBitmapFile(path)) << width << " x " << height;
        EXPECT_EQ(m_image.Width(), width);
        EXPECT_EQ(m_image.Height(), height);
        EXPECT_TRUE(Drawn(DrawAt(0, 0, 1, 1)).isEmpty()) << width << " x " << height;
        EXPECT_TRUE(Drawn(DrawAt(3, 3, 2.5, -1)).isEmpty()) << width << " x " << height;
        ASSERT_TRUE(m_image.LoadBitmapFile(m_path));  // the 4 x 2 picture again
    }
    CDibImage placeholder(255, 100);
    BmpSpec empty;
    empty.width = 0;
    empty.table.assign(256, 0);
    ASSERT_TRUE(WriteBytes(m_dir.Path("zero.bmp"), MakeBmp(empty)));
    ASSERT_TRUE(placeholder.LoadBitmapFile(m_dir.QPath("zero.bmp")));
    QImage canvas(300, 120, QImage::Format_RGB32);
    canvas.fill(kMarker);
    QPainter painter(&canvas);
    placeholder.Draw(painter, 0, 0, 1, 1);
    painter.end();
    EXPECT_TRUE(Drawn(canvas).isEmpty());
}

TEST(DibImage, PaletteFollowsTheLoadedPicture) {
    velmo::testing::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    CDibImage image(255, 100);
    EXPECT_EQ(image.Width(), 255);
    ASSERT_EQ(image.Palette().size(), 256);
    EXPECT_EQ(image.Palette()[77], qRgb(77, 77, 77));

    BmpSpec eight;
    eight.table.assign(256, 0x123456);
    eight.pixels.assign(8, 0);
    const QString path = dir.QPath("eight.bmp");
    ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(eight)));
    ASSERT_TRUE(image.LoadBitmapFile(path));
    ASSERT_EQ(image.Palette().size(), 256);
    EXPECT_EQ(image.Palette()[255], qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(image.Image().pixel(0, 0), qRgb(0x12, 0x34, 0x56));

    BmpSpec rgb;
    rgb.bitsPerPixel = 24;
    rgb.pixels.assign(16, 0);
    ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(rgb)));
    ASSERT_TRUE(image.LoadBitmapFile(path));
    EXPECT_TRUE(image.Palette().isEmpty());
}
