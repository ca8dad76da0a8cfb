#include "platform/SilentAudioSink.h"

#include <QIODevice>

namespace {

// Like a sound card's period: fine enough for position reports.
constexpr int TickMs = 20;

} // namespace

SilentAudioSink::SilentAudioSink(QObject* parent) : QObject(parent)
{
    m_tick.setInterval(TickMs);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &SilentAudioSink::pull);
}

void SilentAudioSink::start(QIODevice* source, const QAudioFormat& format)
{
    m_source = source;
    m_format = format;
    m_consumed = 0;
    m_clock.start();
    m_tick.start();
}

void SilentAudioSink::stop()
{
    m_tick.stop();
    m_source = nullptr;
}

qint64 SilentAudioSink::processedUSecs() const
{
    return m_consumed / m_format.bytesPerFrame() * 1000000 / m_format.sampleRate();
}

void SilentAudioSink::pull()
{
    const qint64 due = m_clock.elapsed() * m_format.sampleRate() / 1000 * m_format.bytesPerFrame();
    const qint64 wanted = due - m_consumed;
    if (wanted <= 0)
        return;
    const qint64 skipped = m_source->skip(wanted);
    m_consumed += std::max<qint64>(skipped, 0);
    if (m_source->atEnd()) {
        stop();
        emit drained();
    }
}
