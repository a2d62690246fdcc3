#pragma once

// Stand-ins for the desktop's programs a link opens targets with, on a PATH of their own:
// the opener (xdg-open), which records each target and answers with a chosen status or
// hangs, and xdg-mime with a desktop file naming the program registered for HTML pages.
// Nothing of the real desktop is reached while one lives.

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QThread>
#include <memory>

#include "QtHelpers.h"
#include "support/TempDir.h"

namespace velmo::testing {

class DesktopStandIns {
  public:
    DesktopStandIns() {
        QDir(m_dir.QRoot()).mkpath(QStringLiteral("bin"));
        QDir(m_dir.QRoot()).mkpath(QStringLiteral("data/applications"));
        m_path = std::make_unique<ScopedEnv>("PATH", QFile::encodeName(Path("bin")));
        m_dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", QFile::encodeName(Path("data")));
    }
    ~DesktopStandIns() {
        // A hanging opener is left running by design; the test ends it.
        const QString pid = ReadText(Path("opener.pid")).trimmed();
        if (!pid.isEmpty()) ::kill(pid.toInt(), SIGKILL);
    }
    DesktopStandIns(const DesktopStandIns&) = delete;
    DesktopStandIns& operator=(const DesktopStandIns&) = delete;

    bool Valid() const { return m_dir.Valid(); }
    QString Path(const QString& name) const { return m_dir.QPath(name); }

    // xdg-open that records its target and ends with this status.
    bool InstallOpener(int exitStatus) {
        return WriteScript("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" +
                                               Quoted("targets") + "\"\nexit " +
                                               QByteArray::number(exitStatus) + "\n");
    }
    // xdg-open that records its target and then never ends by itself.
    bool InstallHangingOpener() {
        return WriteScript("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" +
                                               Quoted("targets") + "\"\necho $$ > \"" +
                                               Quoted("opener.pid") + "\"\nexec /bin/sleep 60\n");
    }
    // The targets the opener was given, in order.
    QStringList OpenerTargets() const {
        return ReadText(Path("targets")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // xdg-mime answering with a desktop file whose Exec line is this.
    bool RegisterBrowser(const QByteArray& exec) {
        return WriteScript("bin/xdg-mime", "#!/bin/sh\necho web-browser.desktop\n") &&
               WriteFile(Path("data/applications/web-browser.desktop"),
                         "[Desktop Entry]\nType=Application\nExec=" + exec + "\n");
    }
    // A browser that writes its arguments, one a line, into "arguments".
    bool InstallRecordingBrowser() {
        // Only shell builtins: the PATH here holds nothing but the stand-ins.
        return WriteScript("bin/browser", "#!/bin/sh\nprintf '%s\\n' \"$@\" '<end>' > \"" +
                                              Quoted("arguments") + "\"\n") &&
               RegisterBrowser("\"" + QFile::encodeName(Path("bin/browser")) + "\" %u");
    }
    // What the stand-in browser was started with, one argument a line; waits for it to run.
    QString BrowserArguments() const {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            const QString content = ReadText(Path("arguments"));
            if (content.endsWith(QStringLiteral("<end>\n"))) return content;
            QThread::msleep(10);
        }
        return QString();
    }

    static bool WriteFile(const QString& path, const QByteArray& text, bool executable = false) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(text) != text.size()) {
            return false;
        }
        file.close();
        return !executable ||
               file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ReadOwner);
    }

  private:
    QByteArray Quoted(const char* name) const {
        return QFile::encodeName(Path(QString::fromUtf8(name)));
    }
    bool WriteScript(const char* name, const QByteArray& text) {
        return WriteFile(Path(QString::fromUtf8(name)), text, true);
    }
    static QString ReadText(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    TempDir m_dir;
    std::unique_ptr<ScopedEnv> m_path;
    std::unique_ptr<ScopedEnv> m_dataHome;
};

}  // namespace velmo::testing
