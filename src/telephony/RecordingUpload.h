#pragma once

#include <QObject>
#include <QString>

#include "foundation/Database.h"

struct CallState;
struct Session;
class FtpCientOCX;
class RecordingRecords;

// Copies voice files to the branch's FTP server: one after each call, and at
// login everything whose local row is not marked uploaded yet.
class RecordingUpload : public QObject
{
    Q_OBJECT
public:
    RecordingUpload(Session& session, Database& db, RecordingRecords& records);

    // After a call: the file of RecFilePath as fileName; three tries.
    void UploadRecording(FtpCientOCX& ftp, const CallState& call, const QString& fileName,
                         const QString& statusCode);
    // At login, in the bulk-upload window.
    void UploadPending(FtpCientOCX& ftp);
    void UpdateMDB(const QString& fileName);
    void UpdateMsSQL(const QString& fileName);

    // A status code, trimmed, read as a whole number; anything else counts as 0.
    static int statusNumber(const QString& code);

signals:
    void progressMaximum(int maximum);
    void progressValue(int value);

private:
    bool connectFtp(FtpCientOCX& ftp);
    void markUploaded(Database::Slot slot, const QString& fileName, const QString& function);
    void enterFolders(FtpCientOCX& ftp, int status, const QString& dayFolder);

    Session& m_session;
    Database& m_db;
    RecordingRecords& m_records;
};
