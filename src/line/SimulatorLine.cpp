#include "line/SimulatorLine.h"

#include <QHostAddress>
#include <QTcpSocket>

#include "line/LineProtocol.h"

SimulatorLine::SimulatorLine(quint16 port, QObject* parent) : LineBackend(parent), m_port(port)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &SimulatorLine::connectToDevice);
    m_openTimeout.setSingleShot(true);
    m_openTimeout.setInterval(OpenTimeoutMs);
    connect(&m_openTimeout, &QTimer::timeout, this, [this] {
        // No answer in time: the attempt is dropped, the background retry goes on.
        if (m_line && m_line->socket()->state() != QAbstractSocket::UnconnectedState)
            m_line->socket()->abort();
        finishOpen(false);
    });
}

void SimulatorLine::open()
{
    m_opened = true;
    if (m_linked) {
        emit opened(true);
        return;
    }
    m_opening = true;
    m_retry.stop();
    m_openTimeout.start();
    connectToDevice();
}

void SimulatorLine::finishOpen(bool ok)
{
    if (!m_opening)
        return;
    m_opening = false;
    m_openTimeout.stop();
    emit opened(ok);
}

bool SimulatorLine::isLineBusy() const
{
    return m_linked && m_hook == 3;
}

void SimulatorLine::dial(const QString& dialString)
{
    send(QStringLiteral("DIAL ") + dialString);
}

void SimulatorLine::hangUp()
{
    send(QStringLiteral("HANGUP"));
}

void SimulatorLine::takeLine()
{
    send(QStringLiteral("TAKELINE"));
}

void SimulatorLine::send(const QString& command)
{
    if (m_linked)
        m_line->sendText(command);
}

void SimulatorLine::connectToDevice()
{
    if (m_line)
        m_line->deleteLater();
    auto* socket = new QTcpSocket;
    m_line = new LineProtocol(socket, this);
    connect(m_line, &LineProtocol::textReceived, this, &SimulatorLine::handleText);
    connect(m_line, &LineProtocol::audioReceived, this, &LineBackend::audio);
    connect(socket, &QTcpSocket::connected, this,
            [line = m_line] { line->sendText(LineProtocol::DeviceHello); });
    connect(socket, &QTcpSocket::stateChanged, this,
            [this, line = m_line](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState && line == m_line)
                    handleUnconnected();
            });
    socket->connectToHost(QHostAddress::LocalHost, m_port);
}

void SimulatorLine::handleText(const QString& text)
{
    const QStringList words = text.split(u' ');
    if (words.size() != 2)
        return;
    const int value = words.at(1).toInt();
    if (words.at(0) == u"HOOK") {
        // The first state report of a connection brings the link up.
        if (!m_linked) {
            m_linked = true;
            emit linkChanged(true);
            finishOpen(true);
        }
        // A reconnect reports the state again; only a change is news.
        if (value != m_hook) {
            m_hook = value;
            emit hookChanged(value);
        }
        // An answered line no longer rings, though no ring stop is reported:
        // the next call's ring must be news again.
        if (value == 3)
            m_bell = 0;
    } else if (words.at(0) == u"RING" && m_linked && value != m_bell) {
        m_bell = value;
        emit ringChanged(value);
    }
}

void SimulatorLine::handleUnconnected()
{
    if (m_linked) {
        m_linked = false;
        emit linkChanged(false);
    }
    // Refused while opening: the open fails now, not at its time limit.
    finishOpen(false);
    if (m_opened)
        m_retry.start();
}
