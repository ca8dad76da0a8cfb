#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <utility>

#include "foundation/Database.h"

struct Call;
struct Session;
class FtpCientOCX;
class OrvelMedia;
class RecordingRecords;

// Copies voice files to the branch's FTP server: one after each call, and at
// login everything whose local row is not marked uploaded yet.
class RecordingUpload : public QObject
{
    Q_OBJECT
public:
    RecordingUpload(Session& session, Database& db, RecordingRecords& records,
                    const OrvelMedia& media);

    // After a call, once its result is saved: its voice file under its own
    // name, three tries. A file still being recorded is never sent, and
    // nothing is marked once the program is ending.
    void UploadRecording(FtpCientOCX& ftp, const Call& call);
    // At login, in the bulk-upload window: one connection, a folder's files
    // one after the other, and their rows marked together once the folder's
    // listing shows each of them whole.
    void UploadPending(FtpCientOCX& ftp);
    void UpdateMDB(const QString& fileName);
    void UpdateMsSQL(const QString& fileName);

    // A status code, trimmed, read as a whole number; anything else counts as 0.
    static int statusNumber(const QString& code);

signals:
    void progressMaximum(int maximum);
    void progressValue(int value);

private:
    // Remote name and size of each file sent into the current folder.
    using Stored = QList<std::pair<QString, qint64>>;
    // SQL Server takes long lists, but not without end.
    static constexpr qsizetype kNamesPerStatement = 500;

    bool connectFtp(FtpCientOCX& ftp);
    // Lists the current folder and marks the files it holds whole.
    void markStored(FtpCientOCX& ftp, Stored& stored);
    void markUploaded(Database::Slot slot, const QStringList& fileNames, const QString& function);
    void enterFolders(FtpCientOCX& ftp, int status, const QString& dayFolder);

    Session& m_session;
    Database& m_db;
    RecordingRecords& m_records;
    const OrvelMedia& m_media;
};
