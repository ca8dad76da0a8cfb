#include "telephony/RecordingUpload.h"

#include <QFileInfo>

#include "foundation/Database.h"
#include "foundation/Session.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/SqlDialect.h"
#include "telephony/Call.h"
#include "telephony/RecordingRecords.h"

RecordingUpload::RecordingUpload(Session& session, Database& db, RecordingRecords& records,
                                 const OrvelMedia& media)
    : m_session(session), m_db(db), m_records(records), m_media(media)
{
}

int RecordingUpload::statusNumber(const QString& code)
{
    bool ok = false;
    const int value = code.trimmed().toInt(&ok);
    return ok ? value : 0;
}

bool RecordingUpload::connectFtp(FtpCientOCX& ftp)
{
    return ftp.FtpConnect(m_session.FtpIP, m_session.FtpUser, m_session.FtpPwd,
                          m_session.FtpPortNo.trimmed().toInt());
}

void RecordingUpload::enterFolders(FtpCientOCX& ftp, int status, const QString& dayFolder)
{
    if (status > 3) {
        ftp.FtpMakeDir(QStringLiteral("TEMP"));
        ftp.FtpChangeDir(QStringLiteral("TEMP"));
    }
    ftp.FtpMakeDir(dayFolder);
    ftp.FtpChangeDir(dayFolder);
}

void RecordingUpload::UploadRecording(FtpCientOCX& ftp, const Call& call)
{
    const QString& fileName = call.RecFileName;
    if (m_media.recordingPath() == call.RecFilePath && !fileName.isEmpty())
        return;
    if (!connectFtp(ftp))
        return;
    enterFolders(ftp, statusNumber(call.CallResultCode), fileName.left(8));
    bool stored = false;
    for (int attempt = 0; attempt < 3 && !stored; ++attempt)
        stored = ftp.FtpUpload(call.RecFilePath, fileName);
    ftp.FtpDisconnect();
    if (stored && !m_session.ending) {
        RecRow row;
        row.R_Path = fileName;
        m_records.addToBoth(QStringLiteral("afterFtpUpload"), row);
    }
}

void RecordingUpload::UploadPending(FtpCientOCX& ftp)
{
    Database::Use use(m_db, Database::Slot::Local);
    const QString sql =
        QStringLiteral(" Select * from recfile ") + QStringLiteral(" where UploadStatus <> '1' ");
    Recordset rs;
    if (!m_db.query(Database::Slot::Local, sql, &rs, QStringLiteral("Frm010000"),
                    QStringLiteral("uploadfile")))
        return;
    if (rs.recordCount() < 1)
        return;
    emit progressMaximum(rs.recordCount());
    // Every row marks the central database too: one connection for the run,
    // not a fresh one per file.
    Database::Use central(m_db, Database::Slot::Main);
    // One FTP connection for the run, and one remote folder while its rows
    // follow each other: a file costs its transfer only, and one listing per
    // folder says which of its files the server holds whole.
    bool connected = false;
    QString folderPath; // "20260101" or "TEMP/20260101"
    Stored stored;      // sent into that folder, not confirmed yet
    rs.moveFirst();
    for (int i = 1; i <= rs.recordCount(); ++i, rs.moveNext()) {
        const QVariant fullPath = rs.value(QStringLiteral("FileFullPath"));
        // A file still being recorded is never sent half-way.
        if (!fullPath.isNull() && QFileInfo::exists(fullPath.toString()) &&
            fullPath.toString() != m_media.recordingPath()) {
            const QString path = fullPath.toString();
            const QString remoteName = Database::GetFieldValue(rs.value(QStringLiteral("R_Path")));
            const QString folder = Database::GetFieldValue(rs.value(QStringLiteral("FolderName")));
            const int status =
                statusNumber(Database::GetFieldValue(rs.value(QStringLiteral("Status")))) >= 4 ? 4
                                                                                               : 0;
            const QString where = (status ? QStringLiteral("TEMP/") : QString()) + folder;
            if (!connected)
                connected = connectFtp(ftp);
            if (connected) {
                if (where != folderPath) {
                    markStored(ftp, stored);
                    ftp.FtpChangeDir(QStringLiteral("/"));
                    enterFolders(ftp, status, folder);
                    folderPath = where;
                }
                const qint64 size = QFileInfo(path).size();
                if (ftp.FtpStore(path, remoteName))
                    stored.append({remoteName, size});
            }
        }
        emit progressValue(i);
    }
    if (connected) {
        markStored(ftp, stored);
        ftp.FtpDisconnect();
    }
}

void RecordingUpload::markStored(FtpCientOCX& ftp, Stored& stored)
{
    if (stored.isEmpty())
        return;
    // Nothing is marked before the server holds the whole file: a listing
    // it cannot give leaves the folder's files waiting for the next login.
    FtpCientOCX::Sizes held;
    QStringList whole;
    if (ftp.FtpListDir(&held))
        for (const auto& [name, size] : stored)
            if (held.value(name, -1) == size)
                whole << name;
    stored.clear();
    if (whole.isEmpty())
        return;
    markUploaded(Database::Slot::Local, whole, QStringLiteral("UpdateMDB"));
    markUploaded(Database::Slot::Main, whole, QStringLiteral("UpdateMsSQL"));
}

void RecordingUpload::UpdateMDB(const QString& fileName)
{
    markUploaded(Database::Slot::Local, {fileName}, QStringLiteral("UpdateMDB"));
}

void RecordingUpload::UpdateMsSQL(const QString& fileName)
{
    markUploaded(Database::Slot::Main, {fileName}, QStringLiteral("UpdateMsSQL"));
}

void RecordingUpload::markUploaded(Database::Slot slot, const QStringList& fileNames,
                                   const QString& function)
{
    // One transaction for them all, in as few statements as the server takes
    // names in one list.
    QStringList statements;
    for (qsizetype at = 0; at < fileNames.size(); at += kNamesPerStatement) {
        QStringList quoted;
        for (const QString& name : fileNames.mid(at, kNamesPerStatement))
            quoted << u'\'' + SqlDialect::quoted(name) + u'\'';
        const QString names = quoted.size() == 1
                                  ? QStringLiteral("= ") + quoted.first()
                                  : QStringLiteral("in (") + quoted.join(u',') + u')';
        statements << QStringLiteral("Update recfile SET  UploadStatus = '1'   where R_Path ") +
                          names + u' ';
    }
    const QString location = QStringLiteral("Frm010000");
    const auto markAll = [&] {
        for (const QString& sql : statements)
            if (!m_db.execute(slot, sql, location, function))
                return false;
        return true;
    };
    Database::Use use(m_db, slot);
    if (statements.size() == 1)
        markAll();
    else
        m_db.inTransaction(location, function, markAll, slot);
}
