#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int kAskMs = 2000;

} // namespace

QString SingleInstance::keyPath(const QString& programFolder)
{
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    // The folder's real path, so that a link to it finds the same copy.
    const QFileInfo info(programFolder);
    const QString real = info.canonicalFilePath();
    const QByteArray folder = (real.isEmpty() ? info.absoluteFilePath() : real).toUtf8();
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16));
    return QDir(runtime).filePath(QStringLiteral("brenvo-") + key);
}

SingleInstance::SingleInstance(const QString& programFolder, QObject* parent)
    : QObject(parent), m_lock(keyPath(programFolder) + QStringLiteral(".lock"))
{
    const QString socketPath = keyPath(programFolder) + QStringLiteral(".sock");
    m_lock.setStaleLockTime(0);
    if (m_lock.tryLock(0)) {
        listen(socketPath);
        return;
    }
    // A runtime folder that cannot hold the lock must not stop the agent's
    // only copy: without a lock held by another process, this one runs.
    if (m_lock.error() != QLockFile::LockFailedError)
        return;
    m_first = false;
    QLocalSocket ask;
    ask.connectToServer(socketPath);
    if (ask.waitForConnected(kAskMs)) {
        ask.write("raise\n");
        ask.waitForBytesWritten(kAskMs);
        ask.disconnectFromServer();
    }
}

void SingleInstance::listen(const QString& socketPath)
{
    // The lock is ours, so a socket file left there belongs to a crashed copy.
    QLocalServer::removeServer(socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(socketPath);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains('\n'))
                    emit raiseRequested();
            });
        }
    });
}
