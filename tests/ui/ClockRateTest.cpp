#include <gtest/gtest.h>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "support/WindowRig.h"
#include "ui/ClockRateDlg.h"
#include "ui/Commands.h"

using namespace velmo;
using namespace velmo::ui;
using velmo::testing::WindowRig;

TEST(ClockRateText, AcceptsDecimalNumbersWithBlanksAround) {
    const std::pair<const char*, double> accepted[] = {
        {"24", 24.0},
        {"11.0592", 11.0592},
        {"3", 3.0},
        {"  12  ", 12.0},
        {"\t12\t", 12.0},
        {"+8", 8.0},
        {"1e1", 10.0},
        {"2.5E+1", 25.0},
        {"0.5", 0.5},
        {"12.", 12.0},
        {".5", 0.5},
        {"007", 7.0},
        // Only the first 31 characters count; what follows them is never looked at.
        {"12                             x", 12.0},
    };
    for (const auto& [text, value] : accepted) {
        const auto read = ReadClockRateText(text);
        ASSERT_TRUE(read.has_value()) << text;
        EXPECT_DOUBLE_EQ(*read, value) << text;
    }
}

TEST(ClockRateText, RefusesWhatIsNoUsableRate) {
    const char* const refused[] = {
        "",
        "   ",
        "abc",
        "11,0",
        "-0",
        ".0",
        "+0.0e5",
        "12x",
        "12 3",
        "x12",
        "1e",
        "--1",
        // Not a rate of any crystal:
        "0",
        "0.0",
        "-3",
        "1e999",
        "inf",
        "nan",
        "0x10",
    };
    for (const char* text : refused) EXPECT_FALSE(ReadClockRateText(text).has_value()) << text;
}

TEST(ClockRateText, ShowsUpToFifteenSignificantDigitsWithAFullStop) {
    const std::pair<double, const char*> shown[] = {
        {24.0, "24"},    {11.0592, "11.0592"}, {0.5, "0.5"}, {1.0 / 3.0, "0.333333333333333"},
        {1e20, "1e+20"},
    };
    for (const auto& [value, text] : shown) EXPECT_EQ(FormatClockRate(value), text);
}

namespace {

// Opens the dialog through the menu, types text and presses the given button; returns the
// messages the dialog showed.
struct DialogRun {
    QStringList messages;
    QString selected;
    bool stillOpenAfterOk = false;
};

DialogRun RunClockDialog(WindowRig& rig, const QString& text, bool ok) {
    DialogRun run;
    rig.onMessage = [&](const QString&) {
        QTimer::singleShot(0, [&] {
            auto& dialog = rig->ClockDialog();
            run.selected = dialog.Field()->selectedText();
            run.stillOpenAfterOk = dialog.isVisible();
            dialog.reject();
        });
    };
    QTimer::singleShot(0, [&rig, text, ok] {
        CClockRateDlg& dialog = rig->ClockDialog();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Konfiguration"));
        dialog.Field()->setText(text);
        (ok ? dialog.OkButton() : dialog.CancelButton())->click();
    });
    rig->MenuAction(kClockRate)->trigger();
    rig.onMessage = nullptr;
    run.messages = rig.messages;
    rig.messages.clear();
    return run;
}

}  // namespace

TEST(ClockRateDialog, OkAppliesTheRateAndItsBitDelayCancelAndRefusalsApplyNothing) {
    struct Row {
        const char* text;
        bool ok;
        double rate;          // in force afterwards
        std::uint32_t delay;  // bit delay in force afterwards
        bool refused;
    };
    const Row rows[] = {
        {"24", true, 24.0, 2, false},  // the first confirmation leaves the start's 20 us
        {"11.0592", true, 11.0592, 4, false},
        {"3", true, 3.0, 14, false},
        {"  12  ", true, 12.0, 4, false},
        {"8", false, 12.0, 4, false},  // Abbrechen
        {"", true, 12.0, 4, true},
        {"abc", true, 12.0, 4, true},
        {"11,0", true, 12.0, 4, true},
        {"-0", true, 12.0, 4, true},
        {".0", true, 12.0, 4, true},
        {"0", true, 12.0, 4, true},
        {"-5", true, 12.0, 4, true},
        {"40", true, 40.0, 2, false},
        {"1", true, 1.0, 41, false},
    };
    WindowRig rig;
    rig->OnInitDialog();
    EXPECT_EQ(rig->Core().BitDelay(), 20u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const DialogRun run = RunClockDialog(rig, QString::fromUtf8(row.text), row.ok);
        if (row.refused) {
            EXPECT_EQ(run.messages, QStringList{QStringLiteral("Geben Sie bitte eine Zahl ein.")});
            EXPECT_EQ(rig.icons.back(), BoxIcon::Exclamation);
            EXPECT_TRUE(run.stillOpenAfterOk);
            EXPECT_EQ(run.selected, QString::fromUtf8(row.text));
        } else {
            EXPECT_TRUE(run.messages.isEmpty());
        }
        EXPECT_DOUBLE_EQ(rig->Core().ClockRate(), row.rate);
        EXPECT_EQ(rig->Core().BitDelay(), row.delay);
    }
}

TEST(ClockRateDialog, OpensOnTheCurrentRateWithOkFocusedAndEscapeCancels) {
    WindowRig rig;
    rig->OnInitDialog();
    rig->Core().SetClockRate(11.0592);
    QString shown;
    bool okFocused = false;
    QTimer::singleShot(0, [&] {
        CClockRateDlg& dialog = rig->ClockDialog();
        shown = dialog.Field()->text();
        okFocused = dialog.OkButton()->hasFocus() || dialog.focusWidget() == dialog.OkButton();
        dialog.Field()->setText(QStringLiteral("5"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    rig->OnClockRate();
    EXPECT_EQ(shown, QStringLiteral("11.0592"));
    EXPECT_TRUE(okFocused);
    EXPECT_DOUBLE_EQ(rig->Core().ClockRate(), 11.0592);
    // Enter in the field confirms through the default OK button.
    QTimer::singleShot(0, [&] {
        CClockRateDlg& dialog = rig->ClockDialog();
        dialog.Field()->setText(QStringLiteral("3"));
        dialog.Field()->setFocus();
        QTest::keyClick(dialog.Field(), Qt::Key_Return);
    });
    rig->OnClockRate();
    EXPECT_DOUBLE_EQ(rig->Core().ClockRate(), 3.0);
    EXPECT_EQ(rig->Core().BitDelay(), 14u);
}
