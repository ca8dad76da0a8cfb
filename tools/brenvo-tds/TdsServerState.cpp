#include "TdsServerState.h"

#include <QMetaObject>
#include <QMutexLocker>

const TdsDatabase* TdsServerState::database(const QString& name) const
{
    for (const TdsDatabase& d : databases) {
        if (d.name.compare(name, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

QDateTime TdsServerState::now() const
{
    QMutexLocker lock(&m_mutex);
    if (m_frozenAt.isValid())
        return m_frozenAt;
    return QDateTime::currentDateTime().addMSecs(m_clockOffsetMs);
}

void TdsServerState::setClock(const QDateTime& at, bool frozen)
{
    QMutexLocker lock(&m_mutex);
    m_frozenAt = frozen ? at : QDateTime();
    m_clockOffsetMs = frozen ? 0 : QDateTime::currentDateTime().msecsTo(at);
}

void TdsServerState::resetClock()
{
    QMutexLocker lock(&m_mutex);
    m_frozenAt = QDateTime();
    m_clockOffsetMs = 0;
}

void TdsServerState::dropAfter(int requests)
{
    QMutexLocker lock(&m_mutex);
    m_dropCountdown = requests;
}

void TdsServerState::dropOn(const QRegularExpression& pattern)
{
    QMutexLocker lock(&m_mutex);
    m_dropPattern = pattern;
}

bool TdsServerState::dropsBefore(const QString& sql)
{
    QMutexLocker lock(&m_mutex);
    if (m_dropCountdown == 0 ||
        (!m_dropPattern.pattern().isEmpty() && m_dropPattern.match(sql).hasMatch())) {
        m_dropPattern = QRegularExpression();
        m_dropCountdown = -1;
        return true;
    }
    return false;
}

bool TdsServerState::dropsAfterAnswer()
{
    QMutexLocker lock(&m_mutex);
    if (m_dropCountdown > 0 && --m_dropCountdown == 0) {
        m_dropCountdown = -1;
        return true;
    }
    return false;
}

void TdsServerState::registerSession(QObject* session)
{
    QMutexLocker lock(&m_mutex);
    m_sessions << session;
}

void TdsServerState::unregisterSession(QObject* session)
{
    QMutexLocker lock(&m_mutex);
    m_sessions.removeOne(session);
}

int TdsServerState::sessionCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_sessions.size());
}

void TdsServerState::dropAll()
{
    QMutexLocker lock(&m_mutex);
    for (QObject* session : std::as_const(m_sessions))
        QMetaObject::invokeMethod(session, "drop", Qt::QueuedConnection);
}
