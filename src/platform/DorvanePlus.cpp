#include "platform/DorvanePlus.h"

#include "platform/LineProtocol.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>

#include <utility>

DorvanePlus::DorvanePlus(QObject* parent) : QObject(parent), m_port(LineProtocol::defaultPort())
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &DorvanePlus::connectToDevice);
}

void DorvanePlus::post(const std::function<void()>& emitSignal)
{
    if (m_opening)
        m_held.append(emitSignal);
    else
        QMetaObject::invokeMethod(this, emitSignal, Qt::QueuedConnection);
}

bool DorvanePlus::OpenDevice()
{
    m_opened = true;
    if (m_linked)
        return true;
    m_retry.stop();
    connectToDevice();
    // The simulator may live in this very thread, so wait in an event loop,
    // not in the socket's blocking calls.
    QEventLoop wait;
    QTimer::singleShot(OpenTimeoutMs, &wait, &QEventLoop::quit);
    m_opening = &wait;
    wait.exec();
    m_opening = nullptr;
    for (const std::function<void()>& report : std::exchange(m_held, {}))
        post(report);
    if (!m_linked && m_line->socket()->state() != QAbstractSocket::UnconnectedState)
        m_line->socket()->abort();
    return m_linked;
}

bool DorvanePlus::IsLineBusy()
{
    return m_linked && m_hook == int(HookFlag::OffHook);
}

void DorvanePlus::Dial(const QString& dialString)
{
    send(QStringLiteral("DIAL ") + dialString);
}

void DorvanePlus::HangUp()
{
    send(QStringLiteral("HANGUP"));
}

void DorvanePlus::TakeLine()
{
    send(QStringLiteral("TAKELINE"));
}

void DorvanePlus::send(const QString& command)
{
    if (m_linked)
        m_line->sendText(command);
}

void DorvanePlus::connectToDevice()
{
    if (m_line)
        m_line->deleteLater();
    auto* socket = new QTcpSocket;
    m_line = new LineProtocol(socket, this);
    connect(m_line, &LineProtocol::textReceived, this, &DorvanePlus::handleText);
    connect(m_line, &LineProtocol::audioReceived, this,
            [this](const QByteArray& pcm) { post([this, pcm] { emit LineAudio(pcm); }); });
    connect(socket, &QTcpSocket::connected, this,
            [line = m_line] { line->sendText(LineProtocol::DeviceHello); });
    connect(socket, &QTcpSocket::stateChanged, this,
            [this, line = m_line](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState && line == m_line)
                    handleUnconnected();
            });
    socket->connectToHost(QHostAddress::LocalHost, m_port);
}

void DorvanePlus::handleText(const QString& text)
{
    const QStringList words = text.split(u' ');
    if (words.size() != 2)
        return;
    const int value = words.at(1).toInt();
    if (words.at(0) == u"HOOK") {
        // The first state report of a connection brings the link up.
        if (!m_linked) {
            m_linked = true;
            post([this] { emit DeviceLinkChanged(true); });
            if (m_opening)
                m_opening->quit();
        }
        // A reconnect reports the state again; only a change is news.
        if (value != m_hook) {
            m_hook = value;
            post([this, value] { emit HookChanged(value); });
        }
        // An answered line no longer rings, though no ring stop is reported:
        // the next call's ring must be news again.
        if (value == int(HookFlag::OffHook))
            m_bell = 0;
    } else if (words.at(0) == u"RING" && m_linked && value != m_bell) {
        m_bell = value;
        post([this, value] { emit RingChanged(value); });
    }
}

void DorvanePlus::handleUnconnected()
{
    if (m_opening)
        m_opening->quit();
    if (m_linked) {
        m_linked = false;
        post([this] { emit DeviceLinkChanged(false); });
    }
    if (m_opened)
        m_retry.start();
}
