#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

struct Session;
class Database;
class ErrorLog;
class FtpCientOCX;

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
        bool any() const { return rowsWritten + centralWritten + resend + filesGone > 0; }
    };

    RecordingReconciliation(Session& session, Database& db, ErrorLog& errors,
                            QObject* parent = nullptr);

    // The whole check; an FTP server or database that cannot be reached
    // ends it quietly, as the upload's own failures do.
    Findings Reconcile(FtpCientOCX& ftp);

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
    QStringList dayFolders();
    void report(const QString& what, const QString& path, const QString& sql);

    Session& m_session;
    Database& m_db;
    ErrorLog& m_errors;
};
