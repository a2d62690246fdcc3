#include "dialogs/HelpWindow.h"
#include "dialogs/InterfaceDlg.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

namespace {

// Every anchor the page defines and every link it holds, as the browser parsed them.
struct Anchors {
    QSet<QString> names;
    QStringList links;
};

Anchors AnchorsOf(const QTextDocument& document) {
    Anchors anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const QString& name : format.anchorNames()) anchors.names.insert(name);
            if (!format.anchorHref().isEmpty()) anchors.links << format.anchorHref();
        }
    }
    return anchors;
}

TEST(HelpWindow, GermanPageWhoseLinksAllLeadToASectionOfIt) {
    CHelpWindow window;
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("Hilfe")));
    EXPECT_FALSE(window.isModal());
    EXPECT_EQ(window.Browser()->source().adjusted(QUrl::RemoveFragment), CHelpWindow::PageUrl());

    // The page is read as UTF-8: umlauts, the guillemet of the menu paths, the micro sign.
    const QString text = window.Browser()->toPlainText();
    for (const char* words : {"Menü „Aktion“", "Datei › Öffnen", "Lock-Bits setzen", "Rückgabewert",
                              "2 µs", "Fehler beim Initialisieren des Velmo-Boards"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(words))) << words;

    const Anchors anchors = AnchorsOf(*window.Browser()->document());
    EXPECT_GE(anchors.links.size(), 10);
    for (const QString& link : anchors.links) {
        ASSERT_TRUE(link.startsWith(QLatin1Char('#'))) << link.toStdString();
        EXPECT_TRUE(anchors.names.contains(link.mid(1))) << "no anchor for " << link.toStdString();
    }
}

TEST(HelpWindow, FollowingALinkScrollsToItsSectionAndEscapeHidesTheWindow) {
    CHelpWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QScrollBar* scroll = window.Browser()->verticalScrollBar();
    EXPECT_EQ(scroll->value(), 0);
    // The keyboard's way: Tab to the second entry of the contents, Return to follow it.
    window.Browser()->setFocus();
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return})
        QTest::keyClick(window.Browser(), key);
    EXPECT_EQ(window.Browser()->source().fragment(), QStringLiteral("kabel"));
    EXPECT_EQ(window.Browser()->source().adjusted(QUrl::RemoveFragment), CHelpWindow::PageUrl());
    EXPECT_GT(scroll->value(), 0);
    QTest::keyClick(window.Browser(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST(HelpWindow, ShowsTheCableDiagramOrItsPlaceholder) {
    velmo::testing::TempDir dir;
    const struct {
        QString path;
        QSize size;
    } cases[] = {{CInterfaceDlg::DiagramPath(), QSize(518, 236)},
                 {dir.QPath(QStringLiteral("missing.bmp")), QSize(255, 100)}};
    for (const auto& c : cases) {
        CHelpWindow window(c.path, nullptr);
        const QVariant picture = window.Browser()->loadResource(
            QTextDocument::ImageResource, QUrl(QStringLiteral("velmo_Programmierkabel.bmp")));
        EXPECT_EQ(picture.value<QImage>().size(), c.size) << c.path.toStdString();
        EXPECT_EQ(picture.value<QImage>(), window.CableImage().Image());
        EXPECT_TRUE(
            window.Browser()->toHtml().contains(QStringLiteral("velmo_Programmierkabel.bmp")));
    }
}

}  // namespace
