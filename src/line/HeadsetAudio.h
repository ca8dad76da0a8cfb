#pragma once

#include <memory>

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QAudioDevice;
class QAudioSink;
class QAudioSource;
class QIODevice;

// The agent's headset during a call: the microphone's sound as 20 ms frames
// of 8 kHz s16le mono, paced by the microphone's own clock, and the far
// end's sound to the earpiece. The input is the system's default device
// (empty), a device named by its description, or "file:PATH", a WAV file
// looped as the agent's voice on the wall clock; the output is the default
// device, a named one, or "null" (discarded). Without a usable device the
// microphone is silence on the wall clock and the earpiece discards, so a
// call always has its frames.
class HeadsetAudio : public QObject
{
    Q_OBJECT
public:
    HeadsetAudio(const QString& input, const QString& output, QObject* parent = nullptr);
    ~HeadsetAudio() override;

    void start();
    void stop();
    // 20 ms of the far end, 8 kHz s16le mono, for the earpiece.
    void play(const QByteArray& pcm);

signals:
    void voice(const QByteArray& pcm);

private:
    struct Resampler;

    bool openMicrophone(const QAudioDevice& device);
    bool openEarpiece(const QAudioDevice& device);
    void readMicrophone();
    void tick();

    QString m_input;
    QString m_output;
    QList<qint16> m_file;
    qsizetype m_filePosition = 0;
    QTimer m_clock;
    QElapsedTimer m_elapsed;
    qint64 m_framesSent = 0;

    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_sourceDevice = nullptr;
    std::unique_ptr<Resampler> m_down;
    QByteArray m_captured;

    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_sinkDevice = nullptr;
    std::unique_ptr<Resampler> m_up;
};
