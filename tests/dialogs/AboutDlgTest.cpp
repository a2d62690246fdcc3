#include "DesktopStandIns.h"
#include "QtHelpers.h"
#include "dialogs/AboutInfoDlg.h"
#include "dialogs/DialogUnits.h"
#include "dialogs/LinkCursor.h"
#include "dialogs/LinkLabel.h"

#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QStringList LabelTexts(const QWidget& dialog) {
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            texts << label->text();
        }
    }
    return texts;
}

}  // namespace

TEST(AboutDialog, ShowsItsTextsAndTheContactLink) {
    CAboutInfoDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Info über Velmo-Programmer"));
    const QStringList texts = LabelTexts(dlg);
    EXPECT_TRUE(texts.contains(QStringLiteral("Velmo-Programmer Version S1V0-F")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Kontakt")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Homepage")));
    // The two lines naming the authors, in German like every other text of the box.
    EXPECT_TRUE(texts.contains(QStringLiteral("Velmo-Programmer-Entwickler")));
    EXPECT_TRUE(texts.contains(QStringLiteral("und Mitwirkende des Projekts")));

    const velmo::dialogs::DialogUnits du(dlg.font());
    EXPECT_EQ(dlg.size(), du.Size(166, 111));

    CLinkLabel* contact = dlg.ContactLink();
    EXPECT_TRUE(contact->isVisible());
    EXPECT_EQ(contact->Target(), QStringLiteral("mailto:kontakt@velmo-programmer.example"));
    EXPECT_EQ(contact->toolTip(), contact->Target());
    // Fitted to its caption with the top-left corner of its layout place.
    EXPECT_EQ(contact->pos(), QPoint(du.X(39), du.Y(52)));
    EXPECT_EQ(contact->width(), QFontMetrics(contact->font()).horizontalAdvance("Kontakt"));

    CLinkLabel* homepage = dlg.HomepageLink();
    EXPECT_FALSE(homepage->isVisible());
    EXPECT_EQ(homepage->Target(), QStringLiteral("https://velmo-programmer.example/"));

    const auto buttons = dlg.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.front()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(buttons.front()->isDefault());
    QTest::mouseClick(buttons.front(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(AboutDialog, LinksShowTheHandWithItsHotSpotInTheCorner) {
    CAboutInfoDlg dlg;
    for (CLinkLabel* link : {dlg.ContactLink(), dlg.HomepageLink()}) {
        const QCursor cursor = link->cursor();
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor.hotSpot(), QPoint(0, 0));
        EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    }
    const QImage hand = LinkCursorImage();
    ASSERT_EQ(hand.size(), QSize(32, 32));
    EXPECT_EQ(hand.pixelColor(0, 0).alpha(), 0);        // the hot spot is outside the hand
    EXPECT_EQ(hand.pixelColor(5, 0), QColor(0, 0, 0));  // the finger tip
    EXPECT_EQ(hand.pixelColor(6, 5), QColor(255, 255, 255));
    int left = 32, right = -1, bottom = -1, white = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QColor c = hand.pixelColor(x, y);
            if (c.alpha() == 0) {
                continue;
            }
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
            white += c == QColor(255, 255, 255);
        }
    }
    EXPECT_EQ(left, 0);
    EXPECT_LE(right, 16);
    EXPECT_LE(bottom, 21);
    EXPECT_GT(white, 100);  // a filled hand, not an outline
}

TEST(AboutDialog, EveryOpeningStartsUnvisited) {
    velmo::testing::DesktopStandIns desktop;
    ASSERT_TRUE(desktop.InstallOpener(0));
    {
        CAboutInfoDlg first;
        first.show();
        // A failed open would show its box; it is closed, so the failure shows as one.
        QTimer::singleShot(200, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        QTest::mouseClick(first.ContactLink(), Qt::LeftButton);
        EXPECT_EQ(desktop.OpenerTargets(),
                  QStringList{QStringLiteral("mailto:kontakt@velmo-programmer.example")});
        EXPECT_TRUE(first.ContactLink()->IsVisited());
        EXPECT_GT(CountColour(Snapshot(*first.ContactLink()), QColor(85, 26, 139)), 0);
    }
    CAboutInfoDlg second;
    second.show();
    EXPECT_FALSE(second.ContactLink()->IsVisited());
    const QImage shot = Snapshot(*second.ContactLink());
    EXPECT_GT(CountColour(shot, QColor(0, 0, 238)), 0);
    EXPECT_EQ(CountColour(shot, QColor(85, 26, 139)), 0);
}

TEST(AboutDialog, NamesTheWayToTheChipBelowTheButtonWhenThereIsOne) {
    for (const QString& way : {QString(), QStringLiteral("Simulator: AT89S53 an Adresse 0x378 "
                                                         "(mit Velmo-Board, Quarz 24 MHz), Flash "
                                                         "in \"/tmp/chip.bin\"")}) {
        CAboutInfoDlg dlg(nullptr, way);
        const velmo::dialogs::DialogUnits du(dlg.font());
        QLabel* line = dlg.ConnectionLabel();
        ASSERT_EQ(line != nullptr, !way.isEmpty());
        if (!line) {
            EXPECT_EQ(dlg.size(), du.Size(166, 111));
            continue;
        }
        EXPECT_EQ(line->text(), way);
        // Below the OK button, wrapped, and the box holds it whole.
        EXPECT_GE(line->y(), du.Y(79 + 14));
        EXPECT_GE(line->height(), 2 * QFontMetrics(line->font()).lineSpacing());
        EXPECT_LT(line->geometry().bottom(), dlg.height());
    }
}

TEST(AboutDialog, ClickWhereTheHiddenHomepageLiesDoesNothing) {
    velmo::testing::DesktopStandIns desktop;
    ASSERT_TRUE(desktop.InstallOpener(0));
    CAboutInfoDlg dlg;
    dlg.show();
    const velmo::dialogs::DialogUnits du(dlg.font());
    QTest::mouseClick(&dlg, Qt::LeftButton, {}, QPoint(du.X(14) + 2, du.Y(89) + 2));
    EXPECT_TRUE(desktop.OpenerTargets().isEmpty());
    EXPECT_FALSE(dlg.HomepageLink()->IsVisited());
}
