#pragma once

#include <functional>
#include <QDateTime>
#include <QObject>
#include <QString>

class Call;
struct Session;
class ErrorLog;
class OrvelMedia;
class RecordingRecords;

// Starts and stops the voice file of a call and writes its recfile rows,
// from the call's own values.
class CallRecorder : public QObject
{
    Q_OBJECT
public:
    CallRecorder(Session& session, OrvelMedia& media, RecordingRecords& records, ErrorLog& errors);

    // Times are server times "yyyy-mm-dd hh:mm:ss"; an empty one (the server
    // could not be asked) is taken from the workstation's clock.
    void StartRecording(Call& call, const QString& startTime);
    // Ends the call's voice file if it is still being written; another
    // call's recording is never touched.
    void stopMedia(const Call& call);
    void StopRecording(Call& call, const QString& endTime);

    static QString digits(const QString& text);
    // Whole seconds between two server times, counted across midnight.
    static qint64 secondsBetween(const QString& start, const QString& end);

    // The workstation clock; tests replace it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    void recordingFailed(const QString& error);
    // The time given, or the workstation's when the server gave none.
    QString orNow(const QString& time) const;

    Session& m_session;
    OrvelMedia& m_media;
    RecordingRecords& m_records;
    ErrorLog& m_errors;
    std::function<QDateTime()> m_clock;
    QString m_recordingPath; // the voice file last started, for its failure report
};
