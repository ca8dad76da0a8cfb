#pragma once

#include "platform/SilentAudioSink.h"
#include "platform/VoxFile.h"

#include <QAudio>
#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QTimer>

class QAudioSink;

// The media control: records the line's sound into .vox voice files and
// plays voice files back. Recording and playback are independent; a call
// can be recorded while an earlier one is being listened to.
class OrvelMedia : public QObject
{
    Q_OBJECT

public:
    explicit OrvelMedia(QObject* parent = nullptr);
    ~OrvelMedia() override;

    // 1: end any recording still open and get ready for a new one.
    // 0: stop recording and playback; the voice file is then complete at
    //    its path, an empty file for a call of no length.
    bool MediaPrepare(int mode);
    // Starts encoding the sound that arrives at writeLineAudio into path.
    // The folder must exist. False when not prepared or the file cannot
    // be created; lastError() tells why.
    bool MediaRecord(int channel, const QString& path);
    // Decodes the file and starts playing it; returns at once. False for
    // a missing or unreadable file.
    bool MediaPlay(const QString& path);
    // Ends playback without PlaybackFinished, which only reports reaching
    // the end of the file.
    void MediaStop();

    bool isRecording() const { return m_writer.isOpen(); }
    // The voice file being written; '' when none.
    QString recordingPath() const { return m_recordingPath; }
    bool isPlaying() const { return m_playing; }
    qint64 playbackLengthMs() const { return m_lengthMs; }
    QString lastError() const { return m_lastError; }

    // Plays on the wall clock instead of a sound device. Also on when
    // BRENVO_SILENT_AUDIO=1, and taken whenever no device can play.
    void setSilentOutput(bool silent) { m_silentOutput = silent; }

public slots:
    // 8 kHz signed 16-bit little-endian mono PCM from the line.
    void writeLineAudio(const QByteArray& pcm);

signals:
    // Writing failed (a full disk, say): recording has stopped and the file
    // keeps what was written before.
    void RecordingFailed(const QString& error);
    void PlaybackPosition(qint64 positionMs, qint64 lengthMs);
    void PlaybackFinished();

private:
    void finishRecording();
    void loadBuffer(const QByteArray& pcm, const QAudioFormat& format);
    bool startDeviceOutput(const QVector<qint16>& samples);
    void dropSink();
    void startSilentOutput();
    void onSinkStateChanged(QAudio::State state);
    void finishPlayback();
    qint64 positionMs() const;

    VoxWriter m_writer;
    QString m_recordingPath;
    bool m_prepared = false;
    QByteArray m_lineBytes;
    QVector<qint16> m_lineSamples;
    qint64 m_samplesSinceSync = 0;

    bool m_silentOutput = false;
    bool m_playing = false;
    qint64 m_lengthMs = 0;
    QBuffer m_buffer;
    QAudioFormat m_outputFormat;
    QAudioSink* m_sink = nullptr;
    SilentAudioSink m_silentSink;
    QTimer m_positionTimer;
    QString m_lastError;
};
