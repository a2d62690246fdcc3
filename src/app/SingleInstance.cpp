#include "app/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

QString SocketFileName(const QString& caption) {
    QString name = caption + QStringLiteral("-") + QString::number(::getuid());
    for (QChar& c : name) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('-') || c == QLatin1Char('.');
        if (!plain) c = QLatin1Char('_');
    }
    return name;
}

// Without a runtime folder the socket lies in a folder of the user's own inside the temporary
// folder: in the shared folder itself another user could take the name first. The folder is
// used only when it is this user's and closed to everyone else; empty, with the reason in
// problem, otherwise.
QString PrivateFolder(QString* problem) {
    const std::string path =
        QFile::encodeName(QDir::tempPath()).toStdString() + "/velmo-" + std::to_string(::getuid());
    const QString shown = QFile::decodeName(path.c_str());
    if (::mkdir(path.c_str(), 0700) == 0) {
        ::chmod(path.c_str(), 0700);  // whatever the umask took away
    } else if (errno != EEXIST) {
        *problem = QStringLiteral("Der Ordner \"%1\" kann nicht angelegt werden (%2)")
                       .arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 0777) != 0700) {
        *problem = QStringLiteral(
                       "Der Ordner \"%1\" gehört nicht diesem Benutzer oder ist nicht "
                       "nur ihm zugänglich (0700)")
                       .arg(shown);
        return {};
    }
    return shown;
}

// The user's own runtime folder keeps other users away from the socket.
QString SocketName(const QString& caption, QString* problem) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder =
        !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : PrivateFolder(problem);
    if (folder.isEmpty()) return {};
    return QDir(folder).filePath(SocketFileName(caption));
}

}  // namespace

SingleInstance::SingleInstance(const QString& caption, QObject* parent)
    : QObject(parent), m_serverName(SocketName(caption, &m_problem)) {}

bool SingleInstance::CloseRunningCopy(int timeoutMs) {
    if (m_serverName.isEmpty()) return false;
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
    if (m_serverName.isEmpty()) return false;
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
