#include "app/ProgrammerApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdlib>
#include <string>

#include "app/BatchRun.h"
#include "app/SingleInstance.h"
#include "backends/PortFactory.h"
#include "cmdline/CommandLine.h"
#include "dialogs/Artwork.h"
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

void ExplainNoDisplay(const QString& program) {
    velmo::ui::WriteErrorLine(
        QStringLiteral("%1: Keine Anzeige vorhanden, das Fenster kann nicht erscheinen.\n"
                       "Ohne Anzeige arbeitet %1 nur als Batchaufruf, zum Beispiel:\n"
                       "  %1 -a1 -p378 -m2 -t11.0 -fDATEI")
            .arg(program));
}

}  // namespace

int CProgrammerApp::Run(int argc, char** argv) {
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    const std::string line = velmo::JoinArguments(argc, argv);
    const bool batch = !line.empty();
    // Parsed before the application takes over the user's locale, so that a clock rate
    // like 11.0592 reads the same in every language.
    velmo::CommandLineSettings settings;
    if (batch) settings = velmo::ParseCommandLine(line);

    if (!DisplayAvailable()) {
        if (!batch) {
            ExplainNoDisplay(program);
            return 1;
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(program);
    velmo::ui::InstallGermanQtTexts();
    QApplication::setWindowIcon(velmo::dialogs::AppIcon());
    const bool headless = HeadlessPlatform();
    if (headless && !batch) {
        ExplainNoDisplay(program);
        return 1;
    }
    if (headless) {
        velmo::ui::SetMessageSink([](const QString& caption, const QString& text,
                                     velmo::ui::BoxIcon, velmo::ui::BoxKind) {
            velmo::ui::WriteErrorLine(caption + QStringLiteral(": ") + text);
            return true;
        });
    }

    SingleInstance instance(QString::fromUtf8(kCaption));
    instance.CloseRunningCopy(kCloseWaitMs);

    velmo::PortSetup setup = velmo::CreatePortFromEnvironment();
    CProgrammerDlg dialog(*setup.port, *setup.clock);
    dialog.SetHeadless(headless);
    if (batch) ApplyCommandLine(dialog, settings);
    instance.Listen([&dialog] { dialog.OnClose(); });

    const bool driverRunning = dialog.OnInitDialog();
    BatchRun run(dialog, settings.batch);
    if (batch) run.Start(driverRunning);
    dialog.exec();
    return dialog.ExitCode();
}
