#include "QtHelpers.h"
#include "bitmap/DibBitmap.h"
#include "dialogs/InterfaceDlg.h"
#include "support/BmpBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QPushButton>

using velmo::DibBitmap;
using velmo::DibColour;

namespace {

QColor ToQColor(const DibColour& c) {
    return QColor(c.red, c.green, c.blue);
}

// Points of the drawn cable diagram and the colour each must have.
struct DiagramPoint {
    const char* what;
    int x, y;
    QColor colour;
};

const DiagramPoint kDiagramPoints[] = {
    {"background, top left", 0, 0, QColor(255, 255, 255)},
    {"background, bottom right", 517, 235, QColor(255, 255, 255)},
    {"connector", 140, 28, QColor(226, 234, 246)},
    {"board", 500, 228, QColor(250, 244, 214)},
    {"chip body", 450, 200, QColor(56, 56, 56)},
    {"MOSI from pin 2", 200, 70, QColor(204, 32, 32)},
    {"MISO column", 356, 130, QColor(24, 140, 48)},
    {"RST before its crossing with MISO", 349, 118, QColor(224, 120, 0)},
    {"crossing gap: RST does not touch MISO", 353, 118, QColor(250, 244, 214)},
    {"ground to pin 20", 250, 217, QColor(40, 40, 40)},
};

}  // namespace

TEST(CableDiagram, BuiltFileIsReadableAndFitsTheDialog) {
    const auto dib =
        DibBitmap::FromFile(QFile::encodeName(CInterfaceDlg::DiagramPath()).toStdString());
    ASSERT_TRUE(dib) << CInterfaceDlg::DiagramPath().toStdString();
    EXPECT_EQ(dib->Width(), 518);
    EXPECT_EQ(dib->Height(), 236);
    EXPECT_EQ(dib->BitsPerPixel(), 8);
    EXPECT_EQ(dib->Palette().size(), 16u);
    for (const DiagramPoint& p : kDiagramPoints) {
        EXPECT_EQ(ToQColor(dib->PixelAt(p.x, p.y)), p.colour) << p.what;
    }
}

TEST(InterfaceDialog, DrawsTheDiagramAtItsOwnSizeAboveTheButton) {
    CInterfaceDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Verbindung PC --> uC"));
    ASSERT_EQ(dlg.CableImage().Width(), 518);
    dlg.show();
    const QImage shot = Snapshot(dlg);
    for (const DiagramPoint& p : kDiagramPoints) {
        EXPECT_EQ(shot.pixelColor(p.x, p.y), p.colour) << p.what;
    }
    const auto buttons = dlg.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.front()->text(), QStringLiteral("OK"));
    EXPECT_GE(buttons.front()->y(), dlg.CableImage().Height());
    EXPECT_GE(dlg.width(), dlg.CableImage().Width());
}

TEST(InterfaceDialog, MissingOrRefusedFileShowsTheGreyPlaceholder) {
    velmo::testing::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const QString notBitmap = dir.QPath("velmo_Programmierkabel.bmp");
    BmpSpec spec;
    spec.pixels.assign(8, 0);
    spec.mark[0] = 'X';
    ASSERT_TRUE(WriteBytes(notBitmap.toStdString(), MakeBmp(spec)));
    for (const QString& path : {dir.QPath("missing.bmp"), notBitmap}) {
        CInterfaceDlg dlg(path, nullptr);
        EXPECT_EQ(dlg.CableImage().Width(), 255);
        EXPECT_EQ(dlg.CableImage().Height(), 100);
        dlg.show();
        const QImage shot = Snapshot(dlg);
        EXPECT_EQ(shot.pixelColor(10, 0), QColor(99, 99, 99));
        EXPECT_EQ(shot.pixelColor(254, 50), QColor(49, 49, 49));
        EXPECT_EQ(shot.pixelColor(0, 99), QColor(0, 0, 0));
        // Beside and below it, the dialog's own background.
        const QColor background = dlg.palette().color(QPalette::Window);
        EXPECT_EQ(shot.pixelColor(255, 50), background);
        EXPECT_EQ(shot.pixelColor(10, 100), background);
    }
}

TEST(InterfaceDialog, DiagramOfWidthOrHeightZeroLeavesTheDialogsBackground) {
    velmo::testing::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const QString path = dir.QPath("velmo_Programmierkabel.bmp");
    for (auto [width, height] : {std::pair{0, 100}, {255, 0}}) {
        BmpSpec empty;
        empty.width = width;
        empty.height = height;
        empty.table.assign(256, 0x000000);
        ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(empty)));
        CInterfaceDlg dlg(path, nullptr);
        EXPECT_EQ(dlg.CableImage().Width(), width);
        dlg.show();
        const QImage shot = Snapshot(dlg);
        const QColor background = dlg.palette().color(QPalette::Window);
        // Where the grey placeholder would lie: its top row, middle and bottom row.
        for (const QPoint& p : {QPoint(10, 0), QPoint(254, 50), QPoint(0, 99)})
            EXPECT_EQ(shot.pixelColor(p), background) << width << " x " << height;
    }
}

TEST(InterfaceDialog, ReadsTheFileAtEachOpeningAndPaintsFromMemory) {
    velmo::testing::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const QString path = dir.QPath("velmo_Programmierkabel.bmp");
    BmpSpec red;
    red.width = 4;
    red.height = 4;
    red.bitsPerPixel = 24;
    for (int i = 0; i < 16; ++i) {
        red.pixels.insert(red.pixels.end(), {0, 0, 200});
    }
    BmpSpec blue = red;
    for (std::size_t i = 0; i < blue.pixels.size(); i += 3) {
        blue.pixels[i] = 200;
        blue.pixels[i + 2] = 0;
    }

    ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(red)));
    CInterfaceDlg first(path, nullptr);
    first.show();
    ASSERT_TRUE(QFile::remove(path));
    // Covered and uncovered: painted again without the file.
    first.hide();
    first.show();
    EXPECT_EQ(Snapshot(first).pixelColor(1, 1), QColor(200, 0, 0));

    ASSERT_TRUE(WriteBytes(path.toStdString(), MakeBmp(blue)));
    CInterfaceDlg second(path, nullptr);
    second.show();
    EXPECT_EQ(Snapshot(second).pixelColor(1, 1), QColor(0, 0, 200));
    EXPECT_EQ(Snapshot(first).pixelColor(1, 1), QColor(200, 0, 0));
}

// An installed program lives in <prefix>/bin with the diagram in <prefix>/share/velmo; the
// build tree keeps both in one folder.
TEST(InterfaceDialog, FindsTheDiagramBesideTheProgramOrInItsInstalledPlace) {
    struct Case {
        const char* what;
        bool beside;     // a diagram file beside the executable
        bool besideDir;  // a folder of that name instead
        bool installed;  // a diagram file in ../share/velmo
        const char* expected;
    };
    const Case cases[] = {
        {"build tree", true, false, false, "bin/velmo_Programmierkabel.bmp"},
        {"installed", false, false, true, "share/velmo/velmo_Programmierkabel.bmp"},
        {"both: the one beside wins", true, false, true, "bin/velmo_Programmierkabel.bmp"},
        {"a folder is no diagram", false, true, true, "share/velmo/velmo_Programmierkabel.bmp"},
        {"neither: beside, for the placeholder", false, false, false,
         "bin/velmo_Programmierkabel.bmp"},
    };
    BmpSpec red;
    red.width = 4;
    red.height = 4;
    red.bitsPerPixel = 24;
    for (int i = 0; i < 16; ++i) red.pixels.insert(red.pixels.end(), {0, 0, 200});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        velmo::testing::TempDir prefix;
        ASSERT_TRUE(prefix.Valid());
        const QDir root(prefix.QRoot());
        ASSERT_TRUE(root.mkpath("bin") && root.mkpath("share/velmo"));
        if (c.beside) {
            ASSERT_TRUE(WriteBytes(root.filePath("bin/velmo_Programmierkabel.bmp").toStdString(),
                                   MakeBmp(red)));
        }
        if (c.besideDir) {
            ASSERT_TRUE(root.mkpath("bin/velmo_Programmierkabel.bmp"));
        }
        if (c.installed) {
            ASSERT_TRUE(
                WriteBytes(root.filePath("share/velmo/velmo_Programmierkabel.bmp").toStdString(),
                           MakeBmp(red)));
        }
        const QString found = CInterfaceDlg::DiagramPath(root.filePath("bin"));
        EXPECT_EQ(found, root.filePath(QString::fromUtf8(c.expected)));

        CInterfaceDlg dlg(found, nullptr);
        EXPECT_EQ(dlg.CableImage().Width(), c.beside || c.installed ? 4 : 255);
    }
}
