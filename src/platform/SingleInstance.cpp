#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

#include "platform/PrivateFiles.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int kAskMs = 2000;

// A folder only this user can write into.
bool isOwnFolder(const QString& path)
{
#ifdef Q_OS_WIN
    return !path.isEmpty() && QFileInfo(path).isDir(); // profile folders are the user's
#else
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && !(st.st_mode & (S_IWGRP | S_IWOTH));
#endif
}

// A file another user put there.
bool isForeign(const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::geteuid();
#endif
}

} // namespace

QString SingleInstance::keyPath(const QString& programFolder)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!isOwnFolder(folder)) {
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                 QStringLiteral("/brenvo");
        PrivateFiles::makePath(folder);
        if (!isOwnFolder(folder))
            return QString();
    }
    // The folder's real path, so that a link to it finds the same copy.
    const QFileInfo info(programFolder);
    const QString real = info.canonicalFilePath();
    const QByteArray key = (real.isEmpty() ? info.absoluteFilePath() : real).toUtf8();
    return QDir(folder).filePath(
        QStringLiteral("brenvo-") +
        QString::fromLatin1(
            QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16)));
}

SingleInstance::SingleInstance(const QString& programFolder, QObject* parent)
    : QObject(parent), m_key(keyPath(programFolder)), m_lock(m_key + QStringLiteral(".lock"))
{
    // Without a folder of the user's own there is no lock: this copy runs.
    if (m_key.isEmpty())
        return;
    const QString lockPath = m_key + QStringLiteral(".lock");
    if (isForeign(lockPath))
        QFile::remove(lockPath);
    m_lock.setStaleLockTime(0);
    if (m_lock.tryLock(0)) {
        listen(m_key + QStringLiteral(".sock"));
        return;
    }
    // A runtime folder that cannot hold the lock must not stop the agent's
    // only copy: without a lock held by another process, this one runs.
    if (m_lock.error() != QLockFile::LockFailedError || isForeign(lockPath))
        return;
    m_first = false;
    QLocalSocket ask;
    ask.connectToServer(m_key + QStringLiteral(".sock"));
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
