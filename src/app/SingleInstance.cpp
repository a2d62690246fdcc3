#include "app/SingleInstance.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QString SocketName(const QString& caption) {
    QString name = caption + QStringLiteral("-") + QString::number(::getuid());
    for (QChar& c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('-') || c == QLatin1Char('.');
        if (!plain) c = QLatin1Char('_');
    }
    // The user's own runtime folder keeps other users away from the socket; without one the
    // name goes to the temporary folder and the user id keeps users apart.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return QDir(runtime).filePath(name);
    return name;
}

}  // namespace

SingleInstance::SingleInstance(const QString& caption, QObject* parent)
    : QObject(parent), m_serverName(SocketName(caption)) {}

bool SingleInstance::CloseRunningCopy(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(1000)) return false;
    socket.write(kCloseRequest);
    socket.flush();
    socket.waitForBytesWritten(1000);
    // The copy ends its process once it has stopped its driver; its end closes the socket.
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::Listen(std::function<void()> onClose) {
    m_onClose = std::move(onClose);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A copy that ended without cleaning up leaves its socket file behind.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName)) return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    if (client->readLine() == kCloseRequest && m_onClose) m_onClose();
                }
            });
        }
    });
    return true;
}
