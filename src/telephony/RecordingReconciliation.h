#pragma once

#include <functional>
#include <optional>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/FtpCientOCX.h"

struct Session;
class Database;
class ErrorLog;
class FtpWorker;

// Checks the recent recordings of this agent before the login's bulk
// upload: every voice file against its local row, every local row against
// its central twin, every row marked uploaded against the server's copy.
// What is missing is written from what is there, and a copy the server lost
// or holds cut short goes back to waiting, so the upload sends it whole.
// Nothing is ever deleted or marked uploaded here; each repair is one
// statement, so a run cut short is finished by the next login.
class RecordingReconciliation : public QObject
{
    Q_OBJECT
public:
    // Day folders of RECDATA this many days back are looked at, and every
    // day that still has a waiting row.
    static constexpr int kDays = 31;

    struct Findings
    {
        int files = 0;       // voice files looked at
        int rowsWritten = 0; // local rows written for files without one
        int centralWritten = 0;
        int resend = 0;    // server copies missing or of another size
        int filesGone = 0; // rows whose voice file is gone
        int cutShort = 0;  // voice files shorter than their rows say (disk full, device fault)
        bool any() const
        {
            return rowsWritten + centralWritten + resend + filesGone + cutShort > 0;
        }
    };

    RecordingReconciliation(Session& session, Database& db, ErrorLog& errors,
                            QObject* parent = nullptr);

    // The whole check, the server's listings on the FTP worker; done() when
    // it has ended. An FTP server or database that cannot be reached ends it
    // quietly, as the upload's own failures do.
    void Reconcile(FtpWorker& ftp, std::function<void(const Findings&)> done);

    // "yyyymmddhhmmss" + branch + agent + ".vox": a voice file of this desk.
    bool isOwnFile(const QString& name) const;
    // Whole seconds of speech in a voice file of that many bytes.
    static int secondsOf(qint64 bytes);

signals:
    void progressMaximum(int maximum);
    void progressValue(int value);
    // What the window shows while the check runs.
    void status(const QString& now, const QString& information, const QString& total);

private:
    struct Row
    {
        QString day, status, uploaded, fullPath;
        QStringList central;   // the central row's values, from this one
        bool fromFile = false; // written just now for a file without a row
    };
    // One run of the check: what the two databases hold, and what it found.
    struct Check
    {
        QHash<QString, Row> rows; // by R_Path
        QStringList days;
        QHash<QString, QString> centralPaths;    // R_Path to its UploadStatus
        QHash<QString, QStringList> centralRows; // R_Path to its values, as Row::central
        Findings found;
    };
    // The rows and days to check; false when there is nothing to check or a
    // database cannot be asked.
    bool gather(Check& check);
    // Writes what is missing; no listing when the server could not be asked.
    void repair(Check& check, const std::optional<QHash<QString, FtpCientOCX::Sizes>>& listing);
    void report(const QString& what, const QString& path, const QString& sql);

    Session& m_session;
    Database& m_db;
    ErrorLog& m_errors;
};
