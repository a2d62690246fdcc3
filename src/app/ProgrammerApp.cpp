#include "app/ProgrammerApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/BatchRun.h"
#include "app/PlatformFallback.h"
#include "app/SingleInstance.h"
#include "backends/BackendDescription.h"
#include "backends/BatchTrace.h"
#include "backends/PortFactory.h"
#include "cmdline/CommandLine.h"
#include "dialogs/Artwork.h"
#include "ops/BatchRunner.h"
#include "sys/Files.h"
#include "sys/Locale.h"
#include "ui/MessageBox.h"
#include "ui/ProgrammerDlg.h"
#include "ui/QtGerman.h"

namespace {

// Long enough for a running copy to reach its next pause between two bytes.
constexpr int kCloseWaitMs = 10000;

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool DisplayAvailable() {
    return EnvironmentSet("QT_QPA_PLATFORM") || EnvironmentSet("DISPLAY") ||
           EnvironmentSet("WAYLAND_DISPLAY");
}

// Platforms on which nobody can see the window or click in it.
bool HeadlessPlatform() {
    const QString platform = QGuiApplication::platformName();
    return platform == QStringLiteral("offscreen") || platform == QStringLiteral("minimal");
}

void ExplainNoDisplay(const QString& program, const QString& reason) {
    velmo::ui::WriteErrorLine(
        QStringLiteral("%1: %2, das Fenster kann nicht erscheinen.\n"
                       "Ohne Anzeige arbeitet %1 nur als Batchaufruf, zum Beispiel:\n"
                       "  %1 -a1 -p378 -m2 -t11.0 -fDATEI")
            .arg(program, reason));
}

QString NoDisplay() {
    return QStringLiteral("Keine Anzeige vorhanden");
}

// The display that the environment names but that did not answer.
QString UnreachableDisplay() {
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty()
                                ? qEnvironmentVariable("DISPLAY")
                                : qEnvironmentVariable("WAYLAND_DISPLAY");
    return QStringLiteral("Die Anzeige \"%1\" ist nicht erreichbar").arg(display);
}

}  // namespace

int CProgrammerApp::Run(int argc, char** argv) {
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    const std::string line = velmo::JoinArguments(argc, argv);
    const bool batch = !line.empty();
    // The system's reasons (a full disk) read in the user's language like the rest.
    velmo::sys::UseMessageLanguageOfEnvironment();
    // Parsed before the application takes over the user's locale, so that a clock rate
    // like 11.0592 reads the same in every language.
    velmo::CommandLineSettings settings;
    if (batch) settings = velmo::ParseCommandLine(line);

    if (!DisplayAvailable()) {
        if (!batch) {
            ExplainNoDisplay(program, NoDisplay());
            return 1;
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    // A display that does not answer must not end the program inside Qt: the platform falls
    // back to the offscreen one, which then stands for "no display".
    PlatformFallback fallback;
    QApplication application(argc, argv);
    fallback.Done();
    QCoreApplication::setApplicationName(program);
    velmo::ui::InstallGermanQtTexts();
    QApplication::setWindowIcon(velmo::dialogs::AppIcon());
    const bool headless = HeadlessPlatform();
    if (headless && !batch) {
        ExplainNoDisplay(program, fallback.Active() ? UnreachableDisplay() : NoDisplay());
        return 1;
    }
    if (headless) {
        velmo::ui::SetMessageSink([](const QString& caption, const QString& text,
                                     velmo::ui::BoxIcon, velmo::ui::BoxKind) {
            velmo::ui::WriteErrorLine(caption + QStringLiteral(": ") + text);
            return true;
        });
    }

    const velmo::PortEnvironment environment = velmo::EnvironmentOfProcess();
    if (const std::string conflict =
            velmo::BatchTraceConflict(environment, batch ? settings.batch.filePath : "");
        !conflict.empty()) {
        velmo::ui::ShowMessageBox(nullptr, QString::fromStdString(conflict));
        return 1;
    }

    SingleInstance instance(QString::fromUtf8(kCaption));
    if (!instance.Available()) {
        velmo::ui::WriteErrorLine(
            QStringLiteral("%1: %2; das Programm läuft ohne die Regel, dass nur eine Kopie läuft.")
                .arg(program, instance.Problem()));
    }
    instance.CloseRunningCopy(kCloseWaitMs);

    velmo::LinkSetup setup = velmo::CreateLink(environment);
    if (headless) {
        // Nobody could see the window: the batch call runs without one, every text a line on
        // standard error.
        velmo::BatchRunner runner(*setup.link, *setup.clock, &setup.files, program.toStdString(),
                                  [](const std::string& line) {
                                      velmo::ui::WriteErrorLine(QString::fromStdString(line));
                                  });
        runner.SetPump([] { QCoreApplication::processEvents(); });
        // A second start closes this copy as it would close the window.
        instance.Listen([&runner] {
            const int status = runner.Close();
            std::fflush(nullptr);
            std::_Exit(status);
        });
        return runner.Run(settings);
    }
    CProgrammerDlg dialog(*setup.link, *setup.clock, &setup.files);
    dialog.SetPortDescriber(
        [&environment, &setup] { return velmo::DescribeBackend(environment, *setup.link); });
    if (batch) ApplyCommandLine(dialog, settings);
    instance.Listen([&dialog] { dialog.OnClose(); });

    const bool driverRunning = dialog.OnInitDialog();
    BatchRun run(dialog, settings.batch);
    if (batch) run.Start(driverRunning);
    dialog.exec();
    // A trace or a simulated chip that could not be written fails a batch call that otherwise
    // succeeded: for its user the file is the result.
    const bool filesLost = !dialog.ReportPortFiles(/*asLine=*/true).empty();
    return batch && filesLost && dialog.ExitCode() == 0 ? 1 : dialog.ExitCode();
}
