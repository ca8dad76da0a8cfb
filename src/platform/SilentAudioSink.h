#pragma once

#include <QAudioFormat>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QIODevice;

// Stands in for QAudioSink where there is no sound device: pulls the
// source at the format's byte rate by the wall clock and throws the bytes
// away, so playback takes as long as it would on a speaker.
class SilentAudioSink : public QObject
{
    Q_OBJECT

public:
    explicit SilentAudioSink(QObject* parent = nullptr);

    void start(QIODevice* source, const QAudioFormat& format);
    void stop();
    bool isActive() const { return m_source != nullptr; }
    qint64 processedUSecs() const;

signals:
    // The source ran dry after its last byte was due.
    void drained();

private:
    void pull();

    QAudioFormat m_format;
    QIODevice* m_source = nullptr;
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_consumed = 0;
};
