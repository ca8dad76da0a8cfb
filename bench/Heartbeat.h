#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTest>
#include <QTimer>

// Ticks every millisecond and keeps the longest gap, with what the desk was
// doing when it ended.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = m_clock.nsecsElapsed() / 1e6;
            if (now - m_last > m_longest) {
                m_longest = now - m_last;
                m_where = phase;
            }
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_where.clear();
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // The longest gap of the idle desk over ms: the reference.
    double idle(int ms)
    {
        phase = QStringLiteral("idle desk");
        start();
        QTest::qWait(ms);
        stop();
        return m_longest;
    }
    double longest() const { return m_longest; }
    QString where() const { return m_where; }

    QString phase;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
    QString m_where;
};
