// F1's help window, and how the window names the way it reaches the chip.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <tuple>
#include <vector>

#include "dialogs/AboutInfoDlg.h"
#include "support/WindowRig.h"
#include "ui/Commands.h"

using namespace velmo::ui;
using velmo::testing::RejectNextModal;
using velmo::testing::SourcePath;
using velmo::testing::WindowRig;

namespace {

// Every menu item and toolbar button with its state, in order.
using ItemState = std::tuple<QString, bool, bool>;
std::vector<ItemState> Items(CProgrammerDlg& dlg) {
    std::vector<ItemState> items;
    for (int i = 0; i < kTopMenuCount; ++i) {
        QMenu* menu = dlg.TopMenu(i);
        items.emplace_back(menu->title(), menu->menuAction()->isEnabled(), false);
        for (QAction* a : menu->actions())
            items.emplace_back(a->text(), a->isEnabled(), a->isChecked());
    }
    for (QAction* a : dlg.ToolBar()->actions())
        items.emplace_back(a->toolTip(), a->isEnabled(), false);
    return items;
}

void ShowActive(CProgrammerDlg& dlg) {
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
}

TEST(MainWindowHelp, F1OpensOneHelpWindowBesideTheWindowAndChangesNoMenu) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    ShowActive(dlg);
    const std::vector<ItemState> before = Items(dlg);

    QTest::keyClick(&dlg, Qt::Key_F1);
    CHelpWindow* help = dlg.HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->windowTitle().contains(QStringLiteral("Hilfe")));
    EXPECT_EQ(help->windowModality(), Qt::NonModal);
    EXPECT_EQ(Items(dlg), before);

    // It explains every command of the Aktion menu by the name the menu gives it.
    const QString text = help->Browser()->toPlainText();
    for (QAction* item : dlg.TopMenu(kMenuAction)->actions()) {
        const QString name = item->text().remove(QLatin1Char('&'));
        EXPECT_TRUE(text.contains(name)) << name.toStdString();
    }

    // Escape hides it; F1 brings back the same one, never a second.
    QTest::keyClick(help->Browser(), Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    ShowActive(dlg);
    dlg.RunCommand(kHelp);
    dlg.RunCommand(kHelp);
    EXPECT_EQ(dlg.HelpWindow(), help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(dlg.findChildren<CHelpWindow*>().size(), 1);
}

TEST(MainWindowHelp, F1IsIgnoredWhileAnOperationRuns) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    rig->SetOpenFileChooser([] { return SourcePath("examples/blink.ihx"); });
    rig->OnFileOpen();
    bool pressed = false;
    rig.WhenPumped([&] { return dlg.Progress()->value() > 0; },
                   [&] {
                       pressed = true;
                       dlg.RunCommand(kHelp);
                   });
    dlg.OnProgram();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(dlg.HelpWindow(), nullptr);
    dlg.RunCommand(kHelp);
    EXPECT_NE(dlg.HelpWindow(), nullptr);
}

TEST(MainWindowPort, StatusTipAndAboutBoxNameTheWayToTheChipWhereThereIsOne) {
    const struct {
        bool describer;
        std::string way;
    } cases[] = {{false, ""}, {true, ""}, {true, "Simulator: chip.bin"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        WindowRig rig;
        CProgrammerDlg& dlg = *rig;
        if (c.describer) dlg.SetPortDescriber([&c] { return c.way; });
        dlg.OnInitDialog();
        const QString status = QStringLiteral("DriverLinx I/O erfolgreich gestartet!");
        EXPECT_EQ(dlg.StatusText(), status);
        const QString way = QString::fromStdString(c.way);
        EXPECT_EQ(dlg.StatusBar()->toolTip(),
                  way.isEmpty() ? status : status + QLatin1Char('\n') + way);

        QString shown = QStringLiteral("(no box)");
        RejectNextModal([&shown](QWidget* modal) {
            auto* about = qobject_cast<CAboutInfoDlg*>(modal);
            if (!about) return;
            shown = about->ConnectionLabel() ? about->ConnectionLabel()->text() : QString();
        });
        dlg.OnInfo();
        EXPECT_EQ(shown, way);
    }
}

}  // namespace
