#include "line/HeadsetAudio.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>
#include <QtEndian>

#include <algorithm>
#include <vector>

#include "line/Libre.h"
#include "line/LineProtocol.h"
#include "line/WavFile.h"

namespace {

constexpr int FrameMs = LineProtocol::FrameMs;
constexpr int FrameSamples = LineProtocol::SampleRate * FrameMs / 1000;
// After a stall the clock catches up, but never with more than a second.
constexpr qint64 MaxCatchUp = 1000 / FrameMs;

QAudioDevice pick(const QList<QAudioDevice>& devices, const QAudioDevice& fallback,
                  const QString& description)
{
    if (description.isEmpty())
        return fallback;
    for (const QAudioDevice& device : devices)
        if (device.description() == description)
            return device;
    return QAudioDevice();
}

// The line's own format when the device takes it (the sound server then
// converts), else the device's rate and channels as 16-bit samples.
QAudioFormat formatFor(const QAudioDevice& device)
{
    QAudioFormat format;
    format.setSampleRate(LineProtocol::SampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isFormatSupported(format))
        return format;
    format = device.preferredFormat();
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

// librem's resampler, one 20 ms block at a time. It converts whole ratios
// (16, 32, 48 kHz and the like) and mono to stereo and back.
struct HeadsetAudio::Resampler
{
    struct auresamp state
    {
    };
    bool same = false;
    size_t in = 0;
    size_t out = 0;
    std::vector<int16_t> buffer;

    // The device's format into format, and the conversion from it to the
    // line (the microphone's) or from the line to it (the earpiece's); null
    // when the device takes no format of ours.
    static std::unique_ptr<Resampler> forDevice(const QAudioDevice& device, bool toLine,
                                                QAudioFormat* format)
    {
        *format = formatFor(device);
        QAudioFormat line = *format;
        line.setSampleRate(LineProtocol::SampleRate);
        line.setChannelCount(1);
        auto resampler = std::make_unique<Resampler>();
        const bool ok =
            device.isFormatSupported(*format) &&
            (toLine ? resampler->setup(*format, line) : resampler->setup(line, *format));
        return ok ? std::move(resampler) : nullptr;
    }

    bool setup(const QAudioFormat& from, const QAudioFormat& to)
    {
        auresamp_init(&state);
        same = from.sampleRate() == to.sampleRate() && from.channelCount() == to.channelCount();
        in = size_t(from.sampleRate() / 1000 * FrameMs * from.channelCount());
        out = size_t(to.sampleRate() / 1000 * FrameMs * to.channelCount());
        buffer.resize(out);
        return same ||
               !auresamp_setup(&state, uint32_t(from.sampleRate()), unsigned(from.channelCount()),
                               uint32_t(to.sampleRate()), unsigned(to.channelCount()));
    }
    // in samples from block, out samples into buffer.
    const int16_t* convert(const int16_t* block)
    {
        if (same)
            return block;
        size_t produced = buffer.size();
        auresamp(&state, buffer.data(), &produced, block, in);
        std::fill(buffer.begin() + ptrdiff_t(std::min(produced, buffer.size())), buffer.end(),
                  int16_t(0));
        return buffer.data();
    }
};

HeadsetAudio::HeadsetAudio(const QString& input, const QString& output, QObject* parent)
    : QObject(parent), m_input(input), m_output(output)
{
    m_clock.setTimerType(Qt::PreciseTimer);
    m_clock.setInterval(FrameMs);
    connect(&m_clock, &QTimer::timeout, this, &HeadsetAudio::tick);
    QString error;
    if (m_input.startsWith(u"file:") && !WavFile::read8k(m_input.mid(5), &m_file, &error))
        qWarning("Brenvo headset: %s; the agent's voice is silence", qPrintable(error));
}

HeadsetAudio::~HeadsetAudio() = default;

void HeadsetAudio::start()
{
    stop();
    m_filePosition = 0;
    if (!m_input.startsWith(u"file:")) {
        const QAudioDevice device =
            pick(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), m_input);
        if (device.isNull() || !openMicrophone(device))
            qWarning("Brenvo headset: no usable microphone \"%s\"; the agent's voice is silence",
                     qPrintable(m_input));
    }
    if (!m_source) {
        m_elapsed.start();
        m_framesSent = 0;
        m_clock.start();
    }
    if (m_output != u"null") {
        const QAudioDevice device =
            pick(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), m_output);
        if (device.isNull() || !openEarpiece(device))
            qWarning("Brenvo headset: no usable earpiece \"%s\"", qPrintable(m_output));
    }
}

void HeadsetAudio::stop()
{
    m_clock.stop();
    m_source.reset();
    m_sourceDevice = nullptr;
    m_captured.clear();
    m_sink.reset();
    m_sinkDevice = nullptr;
}

bool HeadsetAudio::openMicrophone(const QAudioDevice& device)
{
    QAudioFormat format;
    m_down = Resampler::forDevice(device, true, &format);
    if (!m_down)
        return false;
    m_source = std::make_unique<QAudioSource>(device, format);
    m_sourceDevice = m_source->start();
    if (!m_sourceDevice) {
        m_source.reset();
        return false;
    }
    connect(m_sourceDevice, &QIODevice::readyRead, this, &HeadsetAudio::readMicrophone);
    return true;
}

bool HeadsetAudio::openEarpiece(const QAudioDevice& device)
{
    QAudioFormat format;
    m_up = Resampler::forDevice(device, false, &format);
    if (!m_up)
        return false;
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sinkDevice = m_sink->start();
    if (!m_sinkDevice)
        m_sink.reset();
    return m_sinkDevice != nullptr;
}

void HeadsetAudio::readMicrophone()
{
    m_captured += m_sourceDevice->readAll();
    const qsizetype block = qsizetype(m_down->in * sizeof(int16_t));
    std::vector<int16_t> samples(m_down->in);
    qsizetype used = 0;
    for (; m_captured.size() - used >= block; used += block) {
        qFromLittleEndian<qint16>(m_captured.constData() + used, qsizetype(m_down->in),
                                  samples.data());
        const int16_t* frame = m_down->convert(samples.data());
        QByteArray pcm(FrameSamples * 2, Qt::Uninitialized);
        qToLittleEndian<qint16>(frame, FrameSamples, pcm.data());
        emit voice(pcm);
    }
    m_captured.remove(0, used);
}

void HeadsetAudio::tick()
{
    // What could not be caught up is given up rather than sent late.
    const qint64 due = m_elapsed.elapsed() / FrameMs + 1;
    for (qint64 frame = std::max(m_framesSent, due - MaxCatchUp); frame < due; ++frame) {
        QByteArray pcm(FrameSamples * 2, '\0');
        for (int s = 0; s < FrameSamples && !m_file.isEmpty(); ++s) {
            qToLittleEndian<qint16>(m_file.at(m_filePosition), pcm.data() + 2 * s);
            m_filePosition = (m_filePosition + 1) % m_file.size();
        }
        emit voice(pcm);
    }
    m_framesSent = due;
}

void HeadsetAudio::play(const QByteArray& pcm)
{
    if (!m_sinkDevice || pcm.size() != FrameSamples * 2)
        return;
    std::vector<int16_t> samples(FrameSamples);
    qFromLittleEndian<qint16>(pcm.constData(), FrameSamples, samples.data());
    const int16_t* out = m_up->convert(samples.data());
    QByteArray bytes(qsizetype(m_up->out * sizeof(int16_t)), Qt::Uninitialized);
    qToLittleEndian<qint16>(out, qsizetype(m_up->out), bytes.data());
    m_sinkDevice->write(bytes);
}
