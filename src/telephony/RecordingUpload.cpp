#include "telephony/RecordingUpload.h"

#include <QFileInfo>

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
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
    bool connected = false;
    rs.moveFirst();
    for (int i = 1; i <= rs.recordCount(); ++i, rs.moveNext()) {
        const QVariant fullPath = rs.value(QStringLiteral("FileFullPath"));
        // A file still being recorded is never sent half-way.
        if (!fullPath.isNull() && QFileInfo::exists(fullPath.toString()) &&
            fullPath.toString() != m_media.recordingPath()) {
            const QString path = fullPath.toString();
            const QString remoteName = Database::GetFieldValue(rs.value(QStringLiteral("R_Path")));
            const QString folder = Database::GetFieldValue(rs.value(QStringLiteral("FolderName")));
            const QString status = Database::GetFieldValue(rs.value(QStringLiteral("Status")));
            connected = connectFtp(ftp);
            if (connected) {
                enterFolders(ftp, statusNumber(status) >= 4 ? 4 : 0, folder);
                if (ftp.FtpUpload(path, remoteName)) {
                    UpdateMDB(remoteName);
                    UpdateMsSQL(remoteName);
                }
            }
        }
        emit progressValue(i);
    }
    if (connected)
        ftp.FtpDisconnect();
}

void RecordingUpload::UpdateMDB(const QString& fileName)
{
    markUploaded(Database::Slot::Local, fileName, QStringLiteral("UpdateMDB"));
}

void RecordingUpload::UpdateMsSQL(const QString& fileName)
{
    markUploaded(Database::Slot::Main, fileName, QStringLiteral("UpdateMsSQL"));
}

void RecordingUpload::markUploaded(Database::Slot slot, const QString& fileName,
                                   const QString& function)
{
    Database::Use use(m_db, slot);
    m_db.execute(slot,
                 QStringLiteral("Update recfile SET  UploadStatus = '1'   where R_Path = '") +
                     SqlDialect::quoted(fileName) + QStringLiteral("' "),
                 QStringLiteral("Frm010000"), function);
}
