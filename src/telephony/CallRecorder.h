#pragma once

#include <QObject>
#include <QString>

struct Call;
struct Session;
class CustomerPanel;
class ErrorLog;
class FtpCientOCX;
class OrvelMedia;
class RecordingRecords;

// Starts and stops the voice file of a call and writes its recfile rows.
class CallRecorder : public QObject
{
    Q_OBJECT
public:
    CallRecorder(Session& session, CustomerPanel& panel, OrvelMedia& media, FtpCientOCX& ftp,
                 RecordingRecords& records, ErrorLog& errors);

    // Times are server times "yyyy-mm-dd hh:mm:ss".
    void StartRecording(Call& call, const QString& startTime);
    // Ends the call's voice file if it is still being written; another
    // call's recording is never touched.
    void stopMedia(const Call& call);
    void StopRecording(Call& call, const QString& endTime);
    // The device went away during a call: the voice file is closed and the
    // rows get their end now, whatever the line does next.
    void closeOnDeviceLoss(Call& call, const QString& endTime);

    static QString digits(const QString& text);
    // Whole seconds between two server times, counted across midnight.
    static qint64 secondsBetween(const QString& start, const QString& end);

private:
    void recordingFailed(const QString& error);

    Session& m_session;
    CustomerPanel& m_panel;
    OrvelMedia& m_media;
    FtpCientOCX& m_ftp;
    RecordingRecords& m_records;
    ErrorLog& m_errors;
    QString m_recordingPath; // the voice file last started, for its failure report
};
