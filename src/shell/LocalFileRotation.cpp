#include "shell/LocalFileRotation.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#include "foundation/Database.h"
#include "foundation/Session.h"
#include "platform/Connection.h"
#include "platform/FileSync.h"
#include "platform/PrivateFiles.h"
#include "platform/ProgramFolder.h"
#include "platform/SqlDialect.h"

namespace {

const QString kLocalProvider = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");

// rename(2) on POSIX, MoveFileEx with REPLACE_EXISTING on Windows: the main
// name always points at a whole file, the old one or the new one.
bool replaceFile(const QString& from, const QString& to)
{
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), error);
    return !error;
}

} // namespace

LocalFileRotation::LocalFileRotation(Database& db) : m_db(db) {}

QString LocalFileRotation::mainFile() const
{
    return ProgramFolder::path(m_db.session().programFolder, QStringLiteral("\\Brenvo.mdb"));
}

QString LocalFileRotation::copyFile() const
{
    return ProgramFolder::path(m_db.session().programFolder, QStringLiteral("\\Brenvo_1.mdb"));
}

void LocalFileRotation::CompactLocalDB()
{
    const QString main = mainFile();
    const QString copy = copyFile();
    if (!QFileInfo(main).isFile())
        return;
    if (m_db.MDBConnected())
        m_db.MDBClose();
    // A copy left by an interrupted quit fails this compaction (VACUUM INTO
    // would write into an empty one); it is removed below.
    if (!QFileInfo::exists(copy) && compactInto(copy) && syncToDisk(copy) &&
        replaceFile(copy, main))
        return;
    // Without the main file the copy is the only one left: it stays for the
    // start-up to bring back.
    if (QFileInfo(main).isFile())
        QFile::remove(copy);
}

bool LocalFileRotation::RecoverLocalDB()
{
    const QString main = mainFile();
    const QString copy = copyFile();
    if (QFileInfo::exists(main) || !QFileInfo(copy).isFile() || !isComplete(copy))
        return false;
    return replaceFile(copy, main);
}

bool LocalFileRotation::compactInto(const QString& copy)
{
    // VACUUM INTO fills an empty file as it finds it: made private first,
    // the copy (and the file it becomes) never has another mode.
    QFile empty(copy);
    if (!PrivateFiles::open(empty, QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    empty.close();
    Connection connection;
    QString error;
    if (!connection.open(kLocalProvider + mainFile(), m_db.session().programFolder, &error))
        return false;
    const bool done = connection.execute(
        QStringLiteral("VACUUM INTO '") + SqlDialect::quoted(copy) + u'\'', &error);
    connection.close();
    return done;
}

bool LocalFileRotation::isComplete(const QString& file)
{
    Connection connection;
    QString error;
    if (!connection.open(kLocalProvider + file, QFileInfo(file).absolutePath(), &error))
        return false;
    Recordset check;
    Recordset rows;
    const bool complete =
        connection.openRecordset(QStringLiteral("PRAGMA quick_check"), &check, &error) &&
        check.recordCount() == 1 && check.value(0, 0).toString() == QStringLiteral("ok") &&
        connection.openRecordset(QStringLiteral("select count(*) from recfile"), &rows, &error);
    connection.close();
    return complete;
}

bool LocalFileRotation::syncToDisk(const QString& file)
{
    QFile handle(file);
    return handle.open(QIODevice::ReadWrite) && FileSync::toDisk(handle);
}
