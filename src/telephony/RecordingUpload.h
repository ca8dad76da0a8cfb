#pragma once

#include <functional>
#include <QObject>
#include <QString>
#include <QStringList>

#include "foundation/Database.h"

class Call;
struct Session;
class FtpCientOCX;
class FtpWorker;
class OrvelMedia;
class RecordingRecords;

// Copies voice files to the branch's FTP server: one after each call, and at
// login everything whose local row is not marked uploaded yet. The transfers
// run on an FTP worker's thread; the rows are marked here, on the window
// thread, as the worker reports.
class RecordingUpload : public QObject
{
    Q_OBJECT
public:
    RecordingUpload(Session& session, Database& db, RecordingRecords& records,
                    const OrvelMedia& media);

    // After a call, once its result window has closed: its voice file under
    // its own name, three tries; its rows marked when the server holds it
    // (unless the program is ending meanwhile); then done().
    void UploadRecording(FtpWorker& ftp, const Call& call, std::function<void()> done);

    // What a login's run of the waiting recordings came to.
    struct Pending
    {
        int waiting = 0; // rows not marked uploaded before the run
        int sent = 0;    // marked uploaded by it
        // Why the run ended before its last file (the server could not be
        // reached, the agent cancelled); empty when it got through.
        QString stopped;
    };
    // At login: one connection, a folder's files one after the other, and
    // their rows marked together once the folder's listing shows each of
    // them whole. A connection that cannot be had ends the run: the rows
    // stay waiting for the next login. done() comes when it has ended.
    void UploadPending(FtpWorker& ftp, std::function<void(const Pending&)> done);

signals:
    void progressMaximum(int maximum);
    void progressValue(int value);

private:
    static void enterFolder(FtpCientOCX& ftp, const QString& folder);
    // Whether the voice file at path may be sent now.
    // seconds: the call's length as its row has it.
    bool sendable(const QString& path, const QString& seconds) const;
    // Marks the files of one folder the server holds whole, in both databases.
    void markUploaded(const QStringList& fileNames);
    void markUploaded(Database::Slot slot, const QStringList& fileNames, const QString& function);

    Session& m_session;
    Database& m_db;
    RecordingRecords& m_records;
    const OrvelMedia& m_media;
};
