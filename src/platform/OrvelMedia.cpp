#include "platform/OrvelMedia.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <QtEndian>

namespace {

constexpr int PositionIntervalMs = 250;

QAudioFormat voxFormat()
{
    QAudioFormat format;
    format.setSampleRate(VoxFile::SampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QByteArray nativeBytes(const QVector<qint16>& samples)
{
    return QByteArray(reinterpret_cast<const char*>(samples.constData()),
                      samples.size() * qsizetype(sizeof(qint16)));
}

void writeSample(char* to, QAudioFormat::SampleFormat format, float value)
{
    switch (format) {
    case QAudioFormat::UInt8:
        *reinterpret_cast<quint8*>(to) = quint8(128 + qRound(value * 127));
        break;
    case QAudioFormat::Int16:
        *reinterpret_cast<qint16*>(to) = qint16(qRound(value * 32767));
        break;
    case QAudioFormat::Int32:
        *reinterpret_cast<qint32*>(to) = qint32(double(value) * 2147483647.0);
        break;
    default:
        *reinterpret_cast<float*>(to) = value;
        break;
    }
}

// For a device that will not take 8 kHz mono: linear interpolation to its
// rate, the same sound on every channel. Plenty for telephone speech.
QByteArray convertFor(const QVector<qint16>& samples, const QAudioFormat& format)
{
    const int rate = format.sampleRate();
    const int channels = format.channelCount();
    const int sampleBytes = format.bytesPerSample();
    const qint64 frames = samples.size() * rate / VoxFile::SampleRate;
    QByteArray out(frames * format.bytesPerFrame(), Qt::Uninitialized);
    char* to = out.data();
    for (qint64 i = 0; i < frames; ++i) {
        const double at = double(i) * VoxFile::SampleRate / rate;
        const qsizetype k = qsizetype(at);
        const double next = k + 1 < samples.size() ? samples[k + 1] : samples[k];
        const float value = float((samples[k] + (next - samples[k]) * (at - k)) / 32768.0);
        for (int c = 0; c < channels; ++c, to += sampleBytes)
            writeSample(to, format.sampleFormat(), value);
    }
    return out;
}

} // namespace

OrvelMedia::OrvelMedia(QObject* parent)
    : QObject(parent), m_silentOutput(qEnvironmentVariableIntValue("BRENVO_SILENT_AUDIO") == 1)
{
    m_positionTimer.setInterval(PositionIntervalMs);
    connect(&m_positionTimer, &QTimer::timeout, this,
            [this] { emit PlaybackPosition(positionMs(), m_lengthMs); });
    connect(&m_silentSink, &SilentAudioSink::drained, this, &OrvelMedia::finishPlayback);
}

OrvelMedia::~OrvelMedia()
{
    finishRecording();
    MediaStop();
}

bool OrvelMedia::MediaPrepare(int mode)
{
    switch (mode) {
    case 1:
        finishRecording();
        m_prepared = true;
        return true;
    case 0:
        finishRecording();
        MediaStop();
        m_prepared = false;
        return true;
    default:
        m_lastError = QStringLiteral("unknown media mode %1").arg(mode);
        return false;
    }
}

bool OrvelMedia::MediaRecord(int channel, const QString& path)
{
    if (!m_prepared) {
        m_lastError = QStringLiteral("recording was not prepared");
        return false;
    }
    if (channel < 1) {
        m_lastError = QStringLiteral("no line %1").arg(channel);
        return false;
    }
    finishRecording();
    if (!m_writer.open(path, &m_lastError))
        return false;
    m_recordingPath = path;
    m_samplesSinceSync = 0;
    return true;
}

void OrvelMedia::writeLineAudio(const QByteArray& pcm)
{
    if (!m_writer.isOpen())
        return;
    // A frame split inside a sample leaves its first byte for the next one.
    m_lineBytes.append(pcm);
    const qsizetype count = m_lineBytes.size() / 2;
    m_lineSamples.resize(count);
    qFromLittleEndian<qint16>(m_lineBytes.constData(), count, m_lineSamples.data());
    m_lineBytes.remove(0, count * 2);

    QString error;
    if (!m_writer.write(m_lineSamples.constData(), count, &error)) {
        finishRecording();
        emit RecordingFailed(error);
        return;
    }
    // The bytes are already with the operating system; once a second they
    // are pushed to the disk too, so a crash of the machine loses little.
    m_samplesSinceSync += count;
    if (m_samplesSinceSync >= VoxFile::SampleRate) {
        m_writer.sync();
        m_samplesSinceSync = 0;
    }
}

void OrvelMedia::finishRecording()
{
    m_writer.close();
    m_recordingPath.clear();
    m_lineBytes.clear();
}

bool OrvelMedia::MediaPlay(const QString& path)
{
    MediaStop();
    bool ok = false;
    const QVector<qint16> samples = VoxFile::decode(path, &ok, &m_lastError);
    if (!ok)
        return false;
    m_lengthMs = samples.size() * 1000 / VoxFile::SampleRate;
    m_playing = true;
    m_positionTimer.start();
    emit PlaybackPosition(0, m_lengthMs);
    if (!startDeviceOutput(samples)) {
        loadBuffer(nativeBytes(samples), voxFormat());
        startSilentOutput();
    }
    return true;
}

void OrvelMedia::loadBuffer(const QByteArray& pcm, const QAudioFormat& format)
{
    m_buffer.close();
    m_buffer.setData(pcm);
    m_buffer.open(QIODevice::ReadOnly);
    m_outputFormat = format;
}

bool OrvelMedia::startDeviceOutput(const QVector<qint16>& samples)
{
    if (m_silentOutput || QMediaDevices::audioOutputs().isEmpty())
        return false;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format = voxFormat();
    if (!device.isFormatSupported(format))
        format = device.preferredFormat();
    if (device.isNull() || !format.isValid())
        return false;
    loadBuffer(format == voxFormat() ? nativeBytes(samples) : convertFor(samples, format), format);
    m_sink = new QAudioSink(device, format, this);
    m_sink->start(&m_buffer);
    if (m_sink->error() != QAudio::NoError) {
        dropSink();
        return false;
    }
    connect(m_sink, &QAudioSink::stateChanged, this, &OrvelMedia::onSinkStateChanged);
    return true;
}

void OrvelMedia::dropSink()
{
    m_sink->disconnect(this);
    m_sink->stop();
    m_sink->deleteLater();
    m_sink = nullptr;
}

void OrvelMedia::startSilentOutput()
{
    m_buffer.seek(0);
    m_silentSink.start(&m_buffer, m_outputFormat);
}

void OrvelMedia::onSinkStateChanged(QAudio::State state)
{
    if (!m_sink)
        return;
    if (state == QAudio::IdleState && m_buffer.atEnd()) {
        finishPlayback();
    } else if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        // A device that fails before playing a sound (no server, busy)
        // leaves the desk silent but still timed; one that fails midway
        // ends the playback.
        const bool played = m_sink->processedUSecs() > 0;
        dropSink();
        if (played)
            finishPlayback();
        else
            startSilentOutput();
    }
}

void OrvelMedia::MediaStop()
{
    m_positionTimer.stop();
    if (m_sink)
        dropSink();
    m_silentSink.stop();
    m_buffer.close();
    m_buffer.setData(QByteArray()); // an hour of sound is 57 MB
    m_playing = false;
}

void OrvelMedia::finishPlayback()
{
    MediaStop();
    emit PlaybackPosition(m_lengthMs, m_lengthMs);
    emit PlaybackFinished();
}

qint64 OrvelMedia::positionMs() const
{
    const qint64 usecs = m_sink ? m_sink->processedUSecs() : m_silentSink.processedUSecs();
    return std::min(usecs / 1000, m_lengthMs);
}
