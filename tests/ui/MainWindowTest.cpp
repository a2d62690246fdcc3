#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <functional>

#include "image/Crc16.h"
#include "support/TempDir.h"
#include "support/WindowRig.h"
#include "ui/Commands.h"

using namespace velmo;
using namespace velmo::ui;
using velmo::dialogs::DialogFont;
using velmo::dialogs::DialogUnits;
using velmo::testing::SourcePath;
using velmo::testing::WindowRig;

namespace {

const char* const kBlinkHex = "examples/blink.ihx";

bool Enabled(QAction* action) {
    return action && action->isEnabled();
}
bool Checked(QAction* action) {
    return action && action->isChecked();
}

const int kAllItems[] = {kFileOpen,  kFileSaveAs, kExit,      kPortLpt1,  kPortLpt2,  kPortLpt3,
                         kModeBoard, kModeRaw,    kErase,     kProgram,   kRead,      kVerify,
                         kLockBits,  kAbort,      kClockRate, kInterface, kBatchHelp, kInfo};
const int kAllButtons[] = {kFileOpen, kFileSaveAs, kProgram, kRead, kAbort};

void ExpectIdle(CProgrammerDlg& dlg) {
    for (int id : kAllItems) EXPECT_EQ(Enabled(dlg.MenuAction(id)), id != kAbort) << id;
    for (int id : kAllButtons) EXPECT_EQ(Enabled(dlg.ToolbarAction(id)), id != kAbort) << id;
    for (int i = 0; i < kTopMenuCount; ++i)
        EXPECT_TRUE(dlg.TopMenu(i)->menuAction()->isEnabled()) << i;
}

// The full busy state: only Abort (and the frame) is reachable.
void ExpectBusy(CProgrammerDlg& dlg) {
    for (int id : {kProgram, kVerify, kRead, kLockBits, kErase, kFileOpen, kFileSaveAs, kPortLpt1,
                   kPortLpt2})
        EXPECT_FALSE(Enabled(dlg.MenuAction(id))) << id;
    EXPECT_TRUE(Enabled(dlg.MenuAction(kAbort)));
    for (int id : {kFileOpen, kFileSaveAs, kProgram, kRead})
        EXPECT_FALSE(Enabled(dlg.ToolbarAction(id))) << id;
    EXPECT_TRUE(Enabled(dlg.ToolbarAction(kAbort)));
    for (int i = 0; i < kTopMenuCount; ++i)
        EXPECT_FALSE(dlg.TopMenu(i)->menuAction()->isEnabled()) << i;
}

void Load(WindowRig& rig, const QString& path) {
    rig->SetOpenFileChooser([path] { return path; });
    rig->OnFileOpen();
}

}  // namespace

TEST(MainWindowLayout, ControlsSitAtTheirTemplatePlacesBelowTheToolbarStrip) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    const DialogUnits& du = dlg.Units();
    const int top = dlg.ClientTop();
    ASSERT_GT(dlg.ToolBarStripHeight(), 0);
    EXPECT_EQ(top, dlg.MenuBar()->height() + dlg.ToolBarStripHeight());

    struct Placed {
        QWidget* widget;
        QRect templateRect;
    };
    const Placed placed[] = {
        {dlg.Progress(), du.Rect(59, 15, 141, 14)},   {dlg.CrcField(), du.Rect(9, 15, 46, 14)},
        {dlg.LockBitBox(1), du.Rect(57, 44, 48, 10)}, {dlg.LockBitBox(2), du.Rect(105, 44, 48, 10)},
        {dlg.LockBitBox(3), du.Rect(156, 44, 48, 8)}, {dlg.FileLabel(), du.Rect(35, 68, 148, 8)},
    };
    for (const Placed& p : placed) {
        const QRect actual(p.widget->mapTo(&dlg, QPoint(0, 0)), p.widget->size());
        EXPECT_EQ(actual, p.templateRect.translated(0, top)) << p.widget->metaObject()->className();
    }
    // The window is the template grown by exactly the toolbar's strip (and the menu bar).
    EXPECT_EQ(dlg.width(), du.X(213));
    EXPECT_EQ(dlg.height(), top + du.Y(98));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Velmo-Programmer (AT89S53)"));

    // The status bar: at least 25 pixels plus its frame, flush with the bottom edge, one part
    // as wide as the window.
    QLabel* status = dlg.StatusBar();
    const QRect bar(status->mapTo(&dlg, QPoint(0, 0)), status->size());
    EXPECT_GE(bar.height(), 25 + 2 * status->frameWidth());
    EXPECT_EQ(bar.bottom(), dlg.height() - 1);
    EXPECT_EQ(bar.width(), dlg.width());

    // Texts of the static controls, under the progress bar and beside the file label.
    QStringList texts;
    for (QLabel* label : dlg.findChildren<QLabel*>()) texts << label->text();
    for (const char* text : {"0%", "100%", "CRC", "Programmiere:", "Datei:"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
}

TEST(MainWindowLayout, DialogUnitsFollowTheFontsOwnMetrics) {
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.X(213), 320);
    EXPECT_EQ(units.Y(98), 159);
    EXPECT_EQ(units.Rect(59, 15, 141, 14), QRect(89, 24, 211, 23));
    EXPECT_EQ(DialogUnits::MulDiv(1, 6, 4), 2);    // 1.5 rounds up
    EXPECT_EQ(DialogUnits::MulDiv(-1, 6, 4), -2);  // and away from zero
    const DialogUnits measured(DialogFont());
    EXPECT_GT(measured.BaseX(), 0);
    EXPECT_EQ(measured.BaseY(),
              QFontMetrics(DialogFont()).ascent() + QFontMetrics(DialogFont()).descent());
}

TEST(MainWindowMenus, EveryItemCarriesItsGermanTextAndAccelerator) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    const char* const titles[] = {"&Datei", "&Port", "&Mode", "&Aktion", "&Extras", "&?"};
    for (int i = 0; i < kTopMenuCount; ++i)
        EXPECT_EQ(dlg.TopMenu(i)->title(), QString::fromUtf8(titles[i]));
    const std::pair<int, const char*> items[] = {
        {kFileOpen, "Ö&ffnen"},
        {kFileSaveAs, "&Speichern unter..."},
        {kExit, "&Beenden"},
        {kPortLpt1, "LPT&1 (0x378)"},
        {kPortLpt2, "LPT&2 (0x278)"},
        {kPortLpt3, "LPT&3 (0x3BC)"},
        {kModeBoard, "&Velmo-Board"},
        {kModeRaw, "&Raw Mode"},
        {kErase, "&Löschen"},
        {kProgram, "&Programmieren"},
        {kRead, "&Auslesen"},
        {kVerify, "&Verifizieren"},
        {kLockBits, "&Lock-Bits setzen"},
        {kAbort, "A&bbrechen"},
        {kClockRate, "&Taktrate"},
        {kInterface, "&Interface"},
        {kBatchHelp, "&Batchaufruf"},
        {kInfo, "I&nfo"},
    };
    for (const auto& [id, text] : items)
        EXPECT_EQ(dlg.MenuAction(id)->text(), QString::fromUtf8(text));
    // The Datei menu keeps its separator before Beenden.
    EXPECT_EQ(dlg.TopMenu(kMenuFile)->actions().size(), 4);
    EXPECT_TRUE(dlg.TopMenu(kMenuFile)->actions().at(2)->isSeparator());
}

TEST(MainWindowToolbar, ButtonsCarryTheSecondFieldOfTheirStringsAsTips) {
    WindowRig rig;
    rig->OnInitDialog();
    const std::pair<int, const char*> tips[] = {{kFileOpen, "Datei öffnen"},
                                                {kFileSaveAs, "Datei speichern"},
                                                {kProgram, "Programmieren"},
                                                {kRead, "Auslesen"},
                                                {kAbort, "Abbrechen"}};
    const QList<QAction*> order = rig->ToolBar()->actions();
    ASSERT_EQ(order.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(order[i], rig->ToolbarAction(tips[i].first));
        EXPECT_EQ(order[i]->toolTip(), QString::fromUtf8(tips[i].second));
        auto* button = qobject_cast<QToolButton*>(rig->ToolBar()->widgetForAction(order[i]));
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->autoRaise());
        EXPECT_EQ(button->iconSize(), QSize(18, 16));
        EXPECT_EQ(button->size(), QSize(25, 23));
    }
    // Only the part after the first line feed, up to the next one.
    EXPECT_EQ(TipFromString(QStringLiteral("Prompt\nTip\nMore")), QStringLiteral("Tip"));
    EXPECT_EQ(TipFromString(QStringLiteral("no line feed")), QString());
    EXPECT_EQ(TipFromString(CommandString(kExit)), QString());
}

TEST(MainWindowStart, InteractiveStartWithTheDriverRunning) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.StatusText(), QStringLiteral("DriverLinx I/O erfolgreich gestartet!"));
    ExpectIdle(dlg);
    EXPECT_TRUE(Checked(dlg.MenuAction(kModeBoard)));
    EXPECT_FALSE(Checked(dlg.MenuAction(kModeRaw)));
    EXPECT_TRUE(Checked(dlg.MenuAction(kPortLpt1)));
    EXPECT_FALSE(Checked(dlg.MenuAction(kPortLpt2)));
    EXPECT_FALSE(Checked(dlg.MenuAction(kPortLpt3)));
    EXPECT_TRUE(dlg.FileLabel()->text().isEmpty());
    EXPECT_TRUE(dlg.FileLabel()->toolTip().isEmpty());
    EXPECT_TRUE(dlg.CrcField()->text().isEmpty());
    EXPECT_EQ(dlg.Core().ClockRate(), 24.0);
    EXPECT_EQ(dlg.Core().BitDelay(), 20u);
    EXPECT_EQ(dlg.Core().m_noFileLoaded, 1);
    EXPECT_FALSE(dlg.BatchActive());
    EXPECT_TRUE(rig.messages.isEmpty());
}

TEST(MainWindowStart, DriverFailureGraysTheDeviceCommandsForGood) {
    WindowRig rig;  // for its message recorder and clock
    struct NoDriver : PortIo {
        void StartDriver() override {}
        void StopDriver() override {}
        bool DriverActive() const override { return false; }
        std::string DriverMessage() const override { return "Kein Zugriff."; }
        std::uint8_t ReadPort(std::uint16_t) override { return 0xFF; }
        void WritePort(std::uint16_t, std::uint8_t) override {}
    } noDriver;
    BitBangLink link(noDriver, rig.clock);
    CProgrammerDlg failed(link, rig.clock);
    failed.SetProcessExit([](int) {});
    failed.SetBatchActive(true);
    EXPECT_FALSE(failed.OnInitDialog());
    EXPECT_EQ(failed.StatusText(),
              QStringLiteral("Fehler beim Starten von DriverLinx I/O! Kein Zugriff."));
    for (int id :
         {kErase, kProgram, kRead, kVerify, kLockBits, kAbort, kPortLpt1, kPortLpt2, kPortLpt3})
        EXPECT_FALSE(Enabled(failed.MenuAction(id))) << id;
    for (int id : {kFileOpen, kFileSaveAs, kExit, kModeBoard, kModeRaw, kClockRate, kInfo})
        EXPECT_TRUE(Enabled(failed.MenuAction(id))) << id;
    EXPECT_TRUE(Enabled(failed.ToolbarAction(kFileOpen)));
    EXPECT_TRUE(Enabled(failed.ToolbarAction(kFileSaveAs)));
    for (int id : {kProgram, kRead, kAbort}) EXPECT_FALSE(Enabled(failed.ToolbarAction(id)));
    // Mode still works; a dropped file is refused with the driver's message.
    failed.OnModeRaw();
    EXPECT_TRUE(Checked(failed.MenuAction(kModeRaw)));
    failed.OnDropFiles({SourcePath(kBlinkHex)});
    EXPECT_EQ(rig.messages, QStringList{QStringLiteral(
                                "Fehler beim Starten des Treibers; Kann Aktion nicht ausführen")});
    EXPECT_TRUE(failed.FileLabel()->text().isEmpty());
    EXPECT_FALSE(failed.QuitPosted());  // a person can still take over the window
}

// Standard error of this process, caught in a file while the object lives.
class StderrCapture {
  public:
    StderrCapture() {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int file = ::open(m_dir.Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~StderrCapture() { Restore(); }
    std::string Text() {
        Restore();
        return velmo::testing::ReadBytes(m_dir.Path("stderr"));
    }

  private:
    void Restore() {
        if (m_saved < 0) return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    velmo::testing::TempDir m_dir;
    int m_saved = -1;
};

// The driver's reason, with its advice, rarely fits the status line: the line keeps its text
// and is cut, its tip shows it whole, and the window also writes it to standard error.
TEST(MainWindowStart, DriverFailureReasonCanBeReadWhole) {
    const std::string reason =
        "Es wurde kein Parallelport gefunden. Mitglieder der Gruppe lp dürfen /dev/parport0 "
        "benutzen; fehlt die Datei, lädt \"modprobe parport_pc\" den Treiber.";
    const QString status =
        QStringLiteral("Fehler beim Starten von DriverLinx I/O! ") + QString::fromStdString(reason);
    struct NoDriver : PortIo {
        explicit NoDriver(std::string m) : message(std::move(m)) {}
        void StartDriver() override {}
        void StopDriver() override {}
        bool DriverActive() const override { return false; }
        std::string DriverMessage() const override { return message; }
        std::uint8_t ReadPort(std::uint16_t) override { return 0xFF; }
        void WritePort(std::uint16_t, std::uint8_t) override {}
        std::string message;
    } noDriver(reason);
    WindowRig rig;
    BitBangLink link(noDriver, rig.clock);
    CProgrammerDlg failed(link, rig.clock);
    failed.SetProcessExit([](int) {});
    StderrCapture capture;
    EXPECT_FALSE(failed.OnInitDialog());
    const QString written = QString::fromStdString(capture.Text());
    EXPECT_EQ(failed.StatusText(), status);
    EXPECT_EQ(failed.StatusBar()->toolTip(), status);
    failed.show();
    EXPECT_LT(failed.StatusBar()->width(),
              failed.StatusBar()->fontMetrics().horizontalAdvance(status));
    EXPECT_EQ(written, QStringLiteral("velmo: ") + status + QLatin1Char('\n'));
}

TEST(MainWindowCommands, ModeAndPortCommandsMoveTheCheckMarks) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    struct Row {
        int command;
        int checkedMode;
        int checkedPort;
        std::uint16_t address;
    };
    const Row rows[] = {
        {kModeRaw, kModeRaw, kPortLpt1, 0x378},    {kModeBoard, kModeBoard, kPortLpt1, 0x378},
        {kPortLpt3, kModeBoard, kPortLpt3, 0x3BC}, {kPortLpt2, kModeBoard, kPortLpt2, 0x278},
        {kModeRaw, kModeRaw, kPortLpt2, 0x278},    {kPortLpt1, kModeRaw, kPortLpt1, 0x378},
        {kPortLpt1, kModeRaw, kPortLpt1, 0x378},
    };
    for (const Row& row : rows) {
        dlg.MenuAction(row.command)->trigger();
        for (int mode : {kModeBoard, kModeRaw})
            EXPECT_EQ(Checked(dlg.MenuAction(mode)), mode == row.checkedMode) << row.command;
        for (int port : {kPortLpt1, kPortLpt2, kPortLpt3})
            EXPECT_EQ(Checked(dlg.MenuAction(port)), port == row.checkedPort) << row.command;
        EXPECT_EQ(dlg.Core().PortAddress(), row.address);
        EXPECT_EQ(dlg.Core().Mode(),
                  row.checkedMode == kModeRaw ? ProgrammerMode::Raw : ProgrammerMode::Board);
    }
}

TEST(MainWindowCommands, OpenShowsTheNameAndKeepsTheFullPathForTheTip) {
    WindowRig rig;
    rig->OnInitDialog();
    Load(rig, SourcePath(kBlinkHex));
    EXPECT_EQ(rig->FileLabel()->text(), QStringLiteral("blink.ihx"));
    EXPECT_EQ(rig->FileLabel()->toolTip(), SourcePath(kBlinkHex));
    EXPECT_EQ(rig->FilePath(), SourcePath(kBlinkHex).toStdString());
    EXPECT_TRUE(rig->CrcField()->text().startsWith(QStringLiteral("0x")));
    EXPECT_EQ(rig->Core().m_noFileLoaded, 0);
    // A HEX load leaves the status bar alone.
    EXPECT_EQ(rig->StatusText(), QStringLiteral("DriverLinx I/O erfolgreich gestartet!"));

    // Cancelling the next Open keeps the label but leaves no usable image.
    rig->SetOpenFileChooser([] { return QString(); });
    rig->OnFileOpen();
    EXPECT_EQ(rig->FileLabel()->text(), QStringLiteral("blink.ihx"));
    EXPECT_EQ(rig->Core().m_noFileLoaded, 1);
}

TEST(MainWindowStates, EveryOperationLeavesTheIdleStateBehindHoweverItEnds) {
    struct Row {
        const char* name;
        std::function<void(CProgrammerDlg&)> operation;
        bool loadFirst;
        bool abortInside;
        bool readForm;  // Read keeps the menu bar and the port items usable
    };
    const Row rows[] = {
        {"program", [](CProgrammerDlg& d) { d.OnProgram(); }, true, false, false},
        {"program aborted", [](CProgrammerDlg& d) { d.OnProgram(); }, true, true, false},
        {"program without a file", [](CProgrammerDlg& d) { d.OnProgram(); }, false, false, false},
        {"verify", [](CProgrammerDlg& d) { d.OnVerify(); }, true, false, false},
        {"verify aborted", [](CProgrammerDlg& d) { d.OnVerify(); }, true, true, false},
        {"lock bits", [](CProgrammerDlg& d) { d.OnLockBits(); }, false, false, false},
        {"read", [](CProgrammerDlg& d) { d.OnRead(); }, false, false, true},
        {"read aborted", [](CProgrammerDlg& d) { d.OnRead(); }, false, true, true},
        {"erase", [](CProgrammerDlg& d) { d.OnErase(); }, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WindowRig rig;
        CProgrammerDlg& dlg = *rig;
        dlg.OnInitDialog();
        if (row.loadFirst) Load(rig, SourcePath(kBlinkHex));
        bool sawBusy = false;
        rig.WhenPumped([&] { return dlg.Progress()->value() > 0; },
                       [&] {
                           sawBusy = true;
                           EXPECT_TRUE(dlg.OperationRunning());
                           if (row.readForm) {
                               for (int i = 0; i < kTopMenuCount; ++i)
                                   EXPECT_TRUE(dlg.TopMenu(i)->menuAction()->isEnabled());
                               EXPECT_TRUE(Enabled(dlg.MenuAction(kPortLpt1)));
                               EXPECT_FALSE(Enabled(dlg.MenuAction(kFileOpen)));
                               EXPECT_TRUE(Enabled(dlg.ToolbarAction(kAbort)));
                           } else {
                               ExpectBusy(dlg);
                           }
                           if (row.abortInside) dlg.ToolbarAction(kAbort)->trigger();
                       });
        row.operation(dlg);
        QCoreApplication::processEvents();
        ExpectIdle(dlg);
        EXPECT_FALSE(dlg.OperationRunning());
        if (row.abortInside) {
            EXPECT_TRUE(sawBusy);
            EXPECT_EQ(dlg.StatusText(), QStringLiteral("Aktion abgebrochen"));
        }
    }
}

TEST(MainWindowStates, CheckBoxesReachTheChipOnlyThroughLockBits) {
    WindowRig rig;
    rig->OnInitDialog();
    rig->LockBitBox(1)->setChecked(true);
    rig->LockBitBox(3)->setChecked(true);
    rig->OnLockBits();
    EXPECT_TRUE(rig.Chip().LockBit(1));
    EXPECT_FALSE(rig.Chip().LockBit(2));
    EXPECT_TRUE(rig.Chip().LockBit(3));
    EXPECT_EQ(rig->LockBitMember(1), 1);
    EXPECT_EQ(rig->StatusText(), QStringLiteral("Lock-Bits geschrieben"));
}

// The boxes reach the members (and so survive the next data exchange) only where Program and
// Lock bits take them as they start; the other operations leave the members alone.
TEST(MainWindowStates, OnlyProgramAndLockBitsTakeTheBoxesIntoTheirMembers) {
    const struct {
        const char* name;
        std::function<void(CProgrammerDlg&)> run;
        bool takes;
    } rows[] = {
        {"program", [](CProgrammerDlg& d) { d.OnProgram(); }, true},
        {"lock bits", [](CProgrammerDlg& d) { d.OnLockBits(); }, true},
        {"verify", [](CProgrammerDlg& d) { d.OnVerify(); }, false},
        {"read", [](CProgrammerDlg& d) { d.OnRead(); }, false},
        {"erase", [](CProgrammerDlg& d) { d.OnErase(); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WindowRig rig;
        rig->OnInitDialog();
        rig->LoadFile(SourcePath(kBlinkHex).toStdString());
        rig->LockBitBox(2)->setChecked(true);
        row.run(*rig);
        EXPECT_EQ(rig->LockBitMember(2), row.takes ? 1 : 0);
        // A load writes the members back into the boxes.
        rig->LoadFile(SourcePath(kBlinkHex).toStdString());
        EXPECT_EQ(rig->LockBitBox(2)->isChecked(), row.takes);
    }
}

TEST(MainWindowCommands, ReadThenSaveWritesExactlyTheReadBackImage) {
    WindowRig rig;
    rig->OnInitDialog();
    FlashImage pattern{};
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::uint8_t>(i * 7 + 3);
    rig.Chip().SetFlash(pattern);
    rig->OnRead();
    CCrc16 crc;
    crc.BuildTable();
    EXPECT_EQ(rig->CrcField()->text(),
              QString::fromStdString(FormatCrc(crc.Compute(pattern.data(), 0x3000))));

    velmo::testing::TempDir dir;
    // A name without an extension gets .bin.
    const QString chosen = dir.QPath(QStringLiteral("readback"));
    rig->SetSaveFileChooser([chosen] { return chosen; });
    rig->OnFileSaveAs();
    QFile saved(chosen + QStringLiteral(".bin"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    saved.close();
    ASSERT_EQ(bytes.size(), 12288);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(),
                           reinterpret_cast<const std::uint8_t*>(bytes.constData())));
    EXPECT_TRUE(rig.messages.isEmpty());

    // Saving to the same bare name again asks before replacing; No keeps the file.
    rig.Chip().SetFlash(FlashImage{});
    rig->OnRead();
    rig.answerYes = false;
    rig->OnFileSaveAs();
    ASSERT_EQ(rig.messages.size(), 1);
    EXPECT_TRUE(rig.messages.front().contains(QStringLiteral("readback.bin")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), bytes);
}

TEST(MainWindowCommands, CrcFieldGivesTheFocusBackAndTakesNoTyping) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.CrcField()->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    EXPECT_NE(QApplication::focusWidget(), dlg.CrcField());
    QTest::mouseClick(dlg.CrcField(), Qt::LeftButton);
    EXPECT_NE(QApplication::focusWidget(), dlg.CrcField());
    QTest::keyClicks(dlg.CrcField(), QStringLiteral("1234"));
    EXPECT_TRUE(dlg.CrcField()->text().isEmpty());
}

TEST(MainWindowCommands, DropProgramsTheFirstFileAndIsRefusedWhileBusy) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    velmo::testing::TempDir dir;
    const QString second = dir.QPath(QStringLiteral("second.bin"));
    QFile file(second);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(16, '\x11'));
    file.close();

    // While the first drop programs, a second drop arrives through the event pump.
    rig.WhenPumped([&] { return dlg.Progress()->value() > 0; }, [&] { dlg.OnDropFiles({second}); });
    dlg.OnDropFiles({SourcePath(kBlinkHex), second});
    EXPECT_EQ(rig.messages,
              QStringList{QStringLiteral("Es läuft bereits eine Aktion; Kann Datei nicht laden")});
    EXPECT_EQ(dlg.StatusText(), QStringLiteral("Datei erfolgreich programmiert!"));
    EXPECT_EQ(dlg.FileLabel()->text(), QStringLiteral("blink.ihx"));
    EXPECT_EQ(rig.Chip().Flash(), dlg.Core().m_image);
    EXPECT_EQ(rig.Chip().Flash()[0], 0x02);
    // A dropped file does not count as chosen in the Open dialog.
    EXPECT_TRUE(dlg.FilePath().empty());
    ExpectIdle(dlg);
}

TEST(MainWindowCommands, FilesDroppedFromTheDesktopArriveAfterTheDrop) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.acceptDrops());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(SourcePath(kBlinkHex)),
                  QUrl(QStringLiteral("https://x.example/a.hex"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &drop);
    // Nothing runs inside the drop itself.
    EXPECT_TRUE(dlg.FileLabel()->text().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.FileLabel()->text(), QStringLiteral("blink.ihx"));
    EXPECT_EQ(dlg.StatusText(), QStringLiteral("Datei erfolgreich programmiert!"));
}

TEST(MainWindowEnd, EscapeAndEnterEndTheModalRunWithoutStoppingTheDriver) {
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        WindowRig rig;
        CProgrammerDlg& dlg = *rig;
        dlg.OnInitDialog();
        dlg.LockBitBox(2)->setChecked(true);
        QTimer::singleShot(0, &dlg, [&dlg, key] { QTest::keyClick(&dlg, key); });
        const int result = dlg.exec();
        EXPECT_EQ(result, key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_FALSE(rig.exitStatus.has_value());
        EXPECT_TRUE(rig.port->DriverActive());
        // Enter takes the boxes into the members first, Escape does not.
        EXPECT_EQ(dlg.LockBitMember(2), key == Qt::Key_Escape ? 0 : 1);
        EXPECT_EQ(dlg.ExitCode(), 0);
    }
}

TEST(MainWindowEnd, EscapeDuringAnOperationEndsTheRunWhenItHasReturned) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    Load(rig, SourcePath(kBlinkHex));
    QTimer::singleShot(0, &dlg, [&] {
        rig.WhenPumped([&] { return dlg.Progress()->value() > 0; },
                       [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        dlg.OnProgram();
        // Still here: the run ends only now.
        EXPECT_EQ(dlg.StatusText(), QStringLiteral("Datei erfolgreich programmiert!"));
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(rig.Chip().Flash(), dlg.Core().m_image);
}

TEST(MainWindowEnd, CloseBoxAndExitStopTheDriverAndEndTheProcessWithZero) {
    for (bool viaMenu : {false, true}) {
        WindowRig rig;
        CProgrammerDlg& dlg = *rig;
        dlg.OnInitDialog();
        dlg.show();
        if (viaMenu)
            dlg.MenuAction(kExit)->trigger();
        else
            dlg.close();
        ASSERT_TRUE(rig.exitStatus.has_value());
        EXPECT_EQ(*rig.exitStatus, 0);
        EXPECT_FALSE(rig.port->DriverActive());
    }
}

TEST(MainWindowDialogs, HelpDialogsOpenModallyOverTheWindow) {
    WindowRig rig;
    CProgrammerDlg& dlg = *rig;
    dlg.OnInitDialog();
    for (int command : {kInfo, kInterface, kBatchHelp}) {
        bool seen = false;
        QWidget* owner = nullptr;
        velmo::testing::RejectNextModal([&](QWidget* modal) {
            seen = true;
            owner = modal->parentWidget();
        });
        dlg.MenuAction(command)->trigger();
        EXPECT_TRUE(seen) << command;
        EXPECT_EQ(owner, &dlg) << command;
    }
}

TEST(MainWindowMessages, BoxesShowTheTextUnderTheProgramsName) {
    WindowRig rig;
    rig->OnInitDialog();
    // Without an image Verify refuses with a box of its own.
    rig->OnVerify();
    EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Bitte wählen Sie zuerst eine Datei aus!")});
    EXPECT_EQ(rig.icons.front(), BoxIcon::None);
    EXPECT_EQ(ApplicationCaption(), QStringLiteral("velmo"));

    // Without a sink the box is a real one: text alone, one OK button, no icon.
    SetMessageSink({});
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Hallo"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("velmo"));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
        box->accept();
    });
    rig->ShowMessage("Hallo");
}
