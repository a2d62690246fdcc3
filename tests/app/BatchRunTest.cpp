// The batch run inside one window: check marks, which outcomes quit and with what status,
// and which keep the window open for a person.
#include <gtest/gtest.h>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include <memory>

#include "app/BatchRun.h"
#include "cmdline/CommandLine.h"
#include "support/WindowRig.h"
#include "ui/Commands.h"

using namespace velmo;
using namespace velmo::ui;
using velmo::testing::SourcePath;
using velmo::testing::WindowRig;

namespace {

const QString kBlink = SourcePath("examples/blink.ihx");

// A window started with a command line, and its batch run.
struct BatchRig {
    explicit BatchRig(SimOptions options = {}) : window(options) {}
    CProgrammerDlg* operator->() { return window.operator->(); }
    CProgrammerDlg& operator*() { return *window; }
    SimChip& Chip() { return window.Chip(); }

    void Start(const QString& line) {
        const CommandLineSettings settings = ParseCommandLine(line.toStdString());
        ApplyCommandLine(*window, settings);
        run = std::make_unique<BatchRun>(*window, settings.batch);
        run->Start(window->OnInitDialog());
    }

    WindowRig window;
    std::unique_ptr<BatchRun> run;
};

bool Checked(CProgrammerDlg& dlg, int command) {
    return dlg.MenuAction(command)->isChecked();
}

}  // namespace

TEST(BatchRun, StartsOnlyByItsTimerAndSetsTheCommandLinesCheckMarks) {
    struct Row {
        const char* line;
        int mode;
        int port;
    };
    const Row rows[] = {
        {"-a2 -p3BC -m2 -t11.0 -f", kModeBoard, kPortLpt3},
        {"-a2 -p278 -m1 -t11.0 -f", kModeRaw, kPortLpt2},
        {"-a2 -p2F8 -m3 -t11.0 -f", kModeBoard, kPortLpt1},
        {"x", kModeBoard, kPortLpt1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        BatchRig rig;
        rig.Start(QString::fromUtf8(row.line) + kBlink);
        EXPECT_TRUE(rig.run->TimerActive());
        // Before the timer nothing is checked: the interactive defaults do not apply.
        for (int id : {kModeBoard, kModeRaw, kPortLpt1, kPortLpt2, kPortLpt3})
            EXPECT_FALSE(Checked(*rig, id)) << id;
        rig.run->OnTimer();
        EXPECT_FALSE(rig.run->TimerActive());
        for (int id : {kModeBoard, kModeRaw}) EXPECT_EQ(Checked(*rig, id), id == row.mode) << id;
        for (int id : {kPortLpt1, kPortLpt2, kPortLpt3})
            EXPECT_EQ(Checked(*rig, id), id == row.port) << id;
    }
}

TEST(BatchRun, OutcomesQuitWithTheirStatusOrStayOpenForAPerson) {
    struct Row {
        const char* name;
        QString line;
        const char* simOptions;
        bool quits;  // a person can take the window over after some outcomes
        int status;  // the status of a quit
        const char* lastStatus;
    };
    const Row rows[] = {
        {"success", "-a1 -p378 -m2 -t11.0 -f" + kBlink, "", true, 0,
         "Datei erfolgreich programmiert!"},
        {"raw cable", "-a1 -p378 -m1 -t11.0 -f" + kBlink, "board=absent", true, 0,
         "Datei erfolgreich programmiert!"},
        {"not found", "-a1 -f/nonexistent/x.hex", "", true, 1,
         "DriverLinx I/O erfolgreich gestartet!"},
        {"no board", "-a1 -m2 -t11.0 -f" + kBlink, "board=absent", false, 1,
         "Fehler beim Initialisieren des Velmo-Boards"},
        {"byte fails", "-a1 -m2 -t11.0 -f" + kBlink, "stuck=0000:55", true, 1,
         "Fehler beim Programmieren!"},
        {"empty path", "-a1 -p378 -m2", "", false, 0, "DriverLinx I/O erfolgreich gestartet!"},
        {"other action", "-a2 -p378 -m2 -t11.0 -f" + kBlink, "", false, 0,
         "DriverLinx I/O erfolgreich gestartet!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        auto options = ParseSimOptions(row.simOptions, &error);
        ASSERT_TRUE(options) << error;
        BatchRig rig(*options);
        rig.Start(row.line);
        rig.run->OnTimer();
        EXPECT_EQ(rig->StatusText(), QString::fromUtf8(row.lastStatus));
        EXPECT_EQ(rig->QuitPosted(), row.quits);
        if (rig->QuitPosted()) {
            EXPECT_EQ(rig->ExitCode(), row.status);
        }
        EXPECT_FALSE(rig->OperationRunning());
    }
}

TEST(BatchRun, OtherActionLoadsTheFileAndRunsNothing) {
    BatchRig rig;
    rig.Start("-a2 -p378 -m2 -t11.0 -f" + kBlink);
    const FlashImage before = rig.Chip().Flash();
    rig.run->OnTimer();
    EXPECT_EQ(rig->FileLabel()->text(), QStringLiteral("blink.ihx"));
    EXPECT_FALSE(rig->CrcField()->text().isEmpty());
    EXPECT_EQ(rig->Core().m_noFileLoaded, 0);
    EXPECT_EQ(rig.Chip().InstructionCount(), 0u);
    EXPECT_EQ(rig.Chip().Flash(), before);
}

TEST(BatchRun, AbortFromTheToolbarEndsTheRunWithStatusOne) {
    BatchRig rig;
    rig.Start("-a1 -p378 -m2 -t11.0 -f" + kBlink);
    rig.window.WhenPumped([&] { return rig->Progress()->value() > 0; },
                          [&] { rig->ToolbarAction(kAbort)->trigger(); });
    rig.run->OnTimer();
    EXPECT_EQ(rig->StatusText(), QStringLiteral("Aktion abgebrochen"));
    EXPECT_EQ(rig->Core().m_errorFlag, 0);
    ASSERT_TRUE(rig->QuitPosted());
    EXPECT_EQ(rig->ExitCode(), 1);
}

TEST(BatchRun, TheQuitEndsTheModalRunOnceControlIsBack) {
    BatchRig rig;
    rig.Start("-a1 -p378 -m2 -t11.0 -f" + kBlink);
    QTimer::singleShot(0, &*rig, [&] { rig.run->OnTimer(); });
    EXPECT_EQ(rig->exec(), QDialog::Accepted);
    EXPECT_EQ(rig->ExitCode(), 0);
    EXPECT_EQ(rig.Chip().Flash(), rig->Core().m_image);
    EXPECT_FALSE(rig.window.exitStatus.has_value());
}

// However the program is made to end, a script learns from status 1 that its file was not
// programmed; only a run that programmed it, or had nothing to program, ends with 0.
TEST(BatchRun, EndingBeforeTheFileIsProgrammedGivesStatusOne) {
    enum class Moment { BeforeTheTimer, WhileProgramming, AfterTheRun };
    enum class End { Exit, CloseBox, Escape };
    struct Row {
        const char* name;
        QString line;
        const char* simOptions;
        Moment moment;
        int status;
    };
    const QString program = "-a1 -p378 -m2 -t11.0 -f" + kBlink;
    const Row rows[] = {
        {"before the run", program, "", Moment::BeforeTheTimer, 1},
        {"while programming", program, "", Moment::WhileProgramming, 1},
        {"board did not answer", program, "board=absent", Moment::AfterTheRun, 1},
        {"programmed", program, "", Moment::AfterTheRun, 0},
        {"other action", "-a2 -p378 -m2 -t11.0 -f" + kBlink, "", Moment::BeforeTheTimer, 0},
        {"nothing to program", "-a1 -p378 -m2", "", Moment::BeforeTheTimer, 0},
    };
    for (const End end : {End::Exit, End::CloseBox, End::Escape}) {
        for (const Row& row : rows) {
            // Escape ends the dialog only once the operation has returned, and so lets the
            // programming finish first.
            if (end == End::Escape && row.moment == Moment::WhileProgramming) continue;
            SCOPED_TRACE(std::string(row.name) + " / end " + std::to_string(int(end)));
            std::string error;
            auto options = ParseSimOptions(row.simOptions, &error);
            ASSERT_TRUE(options) << error;
            BatchRig rig(*options);
            rig.Start(row.line);
            std::optional<int> status;
            const auto endNow = [&] {
                switch (end) {
                    case End::Exit:
                        rig->RunCommand(kExit);
                        status = rig.window.exitStatus;
                        break;
                    case End::CloseBox:
                        rig->close();
                        status = rig.window.exitStatus;
                        break;
                    case End::Escape:
                        QTest::keyClick(&*rig, Qt::Key_Escape);
                        status = rig->ExitCode();
                        break;
                }
            };
            if (row.moment == Moment::WhileProgramming) {
                rig.window.WhenPumped([&] { return rig->Progress()->value() > 0; }, endNow);
            }
            if (row.moment != Moment::BeforeTheTimer) rig.run->OnTimer();
            if (row.moment != Moment::WhileProgramming) endNow();
            ASSERT_TRUE(status.has_value());
            EXPECT_EQ(*status, row.status);
        }
    }
}

TEST(BatchRun, AnInteractiveSessionEndsWithStatusZero) {
    WindowRig window;
    window->OnInitDialog();
    window->RunCommand(kExit);
    ASSERT_TRUE(window.exitStatus.has_value());
    EXPECT_EQ(*window.exitStatus, 0);
    EXPECT_EQ(window->ExitCode(), 0);
}
