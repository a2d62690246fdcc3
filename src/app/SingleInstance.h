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
    // The window caption names the server, per user, as a socket name the system accepts.
    explicit SingleInstance(const QString& caption, QObject* parent = nullptr);

    // True when a copy answered and has gone (or did not go within timeoutMs).
    bool CloseRunningCopy(int timeoutMs);
    // From now on every close request runs onClose. False when the name cannot be taken.
    bool Listen(std::function<void()> onClose);

    const QString& ServerName() const { return m_serverName; }

    static constexpr const char* kCloseRequest = "close\n";

  private:
    QString m_serverName;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_onClose;
};
