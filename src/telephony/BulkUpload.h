#pragma once

#include <QObject>
#include <QString>

#include "platform/FtpWorker.h"
#include "telephony/RecordingReconciliation.h"
#include "telephony/RecordingUpload.h"

// What the login does before the main window opens: the check of the recent
// recordings, then the upload of every waiting one, on an FTP control of its
// own (the bulk-upload window's). Nothing waits: progress and the end come
// by signal.
class BulkUpload : public QObject
{
    Q_OBJECT
public:
    BulkUpload(RecordingReconciliation& reconciliation, RecordingUpload& upload,
               QObject* parent = nullptr);

    void start();
    bool isRunning() const { return m_running; }
    // The agent ends the run now: the transfer on its way is aborted and
    // its file and the ones after it stay waiting for the next login.
    void cancel();

signals:
    void progressMaximum(int maximum);
    void progressValue(int value);
    // What the window shows: the step, what it does or found, the count.
    void status(const QString& now, const QString& information, const QString& total);
    // confirm: something was found or left waiting, and stays on screen
    // until the agent has read it.
    void finished(bool confirm);

private:
    RecordingReconciliation& m_reconciliation;
    RecordingUpload& m_upload;
    FtpWorker m_ftp;
    bool m_running = false;
    bool m_cancelled = false;
};
