#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

// One running copy per user: a new start asks the running one to close (it does so like its
// close box) and waits until it has let go of the port, then answers such requests itself.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // The window caption names the server, per user, as a socket name the system accepts. It
    // lies in XDG_RUNTIME_DIR, or else in $TMPDIR/velmo-<uid> (made with mode 0700 and used only
    // while it is the user's own with that mode); without a safe place there is no server.
    explicit SingleInstance(const QString& caption, QObject* parent = nullptr);

    // False when there is no safe place for the server: starts then neither close a running
    // copy nor can be closed. Problem says why, in German.
    bool Available() const { return !m_serverName.isEmpty(); }
    const QString& Problem() const { return m_problem; }

    // True when a copy answered and has gone (or did not go within timeoutMs).
    bool CloseRunningCopy(int timeoutMs);
    // From now on every close request runs onClose. False when the name cannot be taken.
    bool Listen(std::function<void()> onClose);

    const QString& ServerName() const { return m_serverName; }

    static constexpr const char* kCloseRequest = "close\n";

  private:
    QString m_problem;
    QString m_serverName;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_onClose;
};
