#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

constexpr QFileDevice::Permissions kUser = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadUser | QFileDevice::WriteUser;
constexpr QFileDevice::Permissions kGroup = QFileDevice::ReadGroup | QFileDevice::WriteGroup;

} // namespace

bool PrivateFiles::isShared(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false;
#else
    struct stat st;
    return ::stat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           (st.st_mode & S_ISGID);
#endif
}

QFileDevice::Permissions PrivateFiles::fileMode(const QString& folder)
{
    return isShared(folder) ? kUser | kGroup : kUser;
}

bool PrivateFiles::open(QFile& file, QIODevice::OpenMode mode)
{
    const QFileDevice::Permissions permissions =
        fileMode(QFileInfo(file.fileName()).absolutePath());
    if (file.open(mode | QIODevice::NewOnly, permissions)) {
        // Created under the umask; set as asked (fchmod on the open file).
        file.setPermissions(permissions);
        return true;
    }
    return !mode.testFlag(QIODevice::NewOnly) && file.open(mode);
}

bool PrivateFiles::makePath(const QString& folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (QFileInfo(path).isDir())
        return true;
    const QString parent = QFileInfo(path).path();
    if (parent == path || !makePath(parent))
        return false;
#ifdef Q_OS_WIN
    return QDir().mkdir(path) || QFileInfo(path).isDir();
#else
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), S_IRWXU) != 0)
        return QFileInfo(path).isDir(); // made meanwhile by another
    // As asked, whatever the umask; chmod would clear an inherited
    // set-group-id bit unless it is named.
    ::chmod(name.constData(), isShared(parent) ? S_IRWXU | S_IRWXG | S_ISGID : S_IRWXU);
    return true;
#endif
}
