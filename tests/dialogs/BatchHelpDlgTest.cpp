#include "dialogs/BatchHelpDlg.h"
#include "dialogs/DialogUnits.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

struct Control {
    QString text;
    QRect place;
    bool button;
};

// The dialog's controls in their order of creation (the tab and drawing order).
std::vector<Control> Controls(const QDialog& dlg) {
    std::vector<Control> controls;
    for (QObject* child : dlg.children()) {
        if (auto* button = qobject_cast<QPushButton*>(child)) {
            controls.push_back({button->text(), button->geometry(), true});
        } else if (auto* label = qobject_cast<QLabel*>(child)) {
            controls.push_back({label->text(), label->geometry(), false});
        }
    }
    return controls;
}

const char* const kOnScreen[] = {
    "Im folgenden wird der Kommandozeilenaufruf beschrieben:",
    "velmo.exe -aV -pWWW -mX -tY -fZ",
    "-a: Auszuführende Aktion\n V=1: Programmieren",
    "-p: LPT-Adresse\n WWW: Adresse im Hexformat z.B. 378",
    "-m: Modus\n X = 1 : Raw-Modus; X = 2 : Velmo-Modus",
    "-t: Taktrate der CPU\nY: Taktrate in MHz",
    "-f: Zu programmierende Datei\n Z Dateiname inklusive Pfad",
    "Beispiel: Es soll die Datei c:\\testfile.bin auf LPT1 (0x378) und Velmo-Modus programmiert "
    "werden.\nDie Taktrate der CPU beträgt 11 MHz. ",
    "velmo.exe -a1 -p378 -m2 -t11.0 -fc:\\testfile.bin",
    "OK",
};

}  // namespace

TEST(BatchHelpDialog, TenControlsWithTheirTextsInScreenOrder) {
    CBatchHelpDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Aufruf aus Batch-Datei"));
    const velmo::dialogs::DialogUnits du(dlg.font());
    EXPECT_EQ(dlg.size(), du.Size(203, 274));

    auto controls = Controls(dlg);
    ASSERT_EQ(controls.size(), 10u);
    // Created in layout order: the button first, the "-f" text last.
    EXPECT_TRUE(controls.front().button);
    EXPECT_TRUE(controls.back().text.startsWith("-f:"));

    std::stable_sort(controls.begin(), controls.end(),
                     [](const Control& a, const Control& b) { return a.place.y() < b.place.y(); });
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i].text, QString::fromUtf8(kOnScreen[i])) << i;
    }
    // Every text inside the dialog, and none covering the next one.
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(dlg.rect().contains(controls[i].place)) << controls[i].text.toStdString();
        if (i + 1 < controls.size()) {
            EXPECT_LE(controls[i].place.bottom(), controls[i + 1].place.top())
                << controls[i].text.toStdString();
        }
    }
}

TEST(BatchHelpDialog, EveryOpeningLooksTheSame) {
    CBatchHelpDlg first;
    CBatchHelpDlg second;
    const auto a = Controls(first);
    const auto b = Controls(second);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].text, b[i].text);
        EXPECT_EQ(a[i].place, b[i].place);
    }
    auto* ok = first.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(first.result(), QDialog::Accepted);
}
