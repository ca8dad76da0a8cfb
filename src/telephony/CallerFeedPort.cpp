#include "telephony/CallerFeedPort.h"

#include "foundation/ErrorLog.h"
#include "foundation/Seams.h"
#include "platform/OrvelServerSocket.h"

CallerFeedPort::CallerFeedPort(OrvelServerSocket& socket, ErrorLog& errors, MessageSink& messages,
                               QObject* parent)
    : QObject(parent), m_socket(socket), m_errors(errors), m_messages(messages)
{
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &CallerFeedPort::listen);
}

void CallerFeedPort::open(quint16 port)
{
    m_port = port;
    m_retry.stop();
    listen();
}

QString CallerFeedPort::idleLabel() const
{
    return m_down ? QStringLiteral("발신번호 수신 안 됨 (포트 %1 사용 불가)").arg(m_port)
                  : QStringLiteral("NO CIDDATA");
}

void CallerFeedPort::listen()
{
    const bool down = !m_socket.ListenPort(m_port);
    const bool changed = down != m_down;
    m_down = down;
    if (!down) {
        m_retry.stop();
    } else if (!m_retry.isActive()) {
        // Once per run of failures: the retries that fail too say nothing.
        m_messages.showMessage(QStringLiteral("The 32-bit Windows Socket is not responding."),
                               QString(), MessageIcon::None);
        m_errors.appendErrorLog(QStringLiteral("Caller feed: port %1 cannot be opened (%2); "
                                               "tried again every %3 s")
                                    .arg(m_port)
                                    .arg(m_socket.errorString())
                                    .arg(m_retry.interval() / 1000),
                                QStringLiteral("Frm100000"), QStringLiteral("ListenPort"),
                                QString());
        m_retry.start();
    }
    if (changed)
        emit downChanged(down);
}
