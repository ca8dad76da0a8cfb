#include "LineSimulator.h"

#include "line/LineProtocol.h"

#include <QTcpSocket>

#include <algorithm>

namespace {
// After a stall (a debugger, a suspended laptop) the sound goes on from now
// instead of bursting out everything that was missed.
constexpr qint64 MaxCatchUpFrames = 5;
constexpr int FeedTimeoutMs = 3000;
constexpr int HelloTimeoutMs = 2000;
} // namespace

quint16 LineSimulator::defaultFeedPort()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("BRENVO_FEED_PORT").toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : DefaultFeedPort;
}

LineSimulator::LineSimulator(QObject* parent) : QObject(parent), m_feedPort(defaultFeedPort())
{
    connect(&m_server, &QTcpServer::newConnection, this, &LineSimulator::accept);
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(DefaultAnswerDelayMs);
    connect(&m_answerTimer, &QTimer::timeout, this, &LineSimulator::pickUp);
    m_audioTimer.setTimerType(Qt::PreciseTimer);
    m_audioTimer.setInterval(LineProtocol::FrameMs);
    connect(&m_audioTimer, &QTimer::timeout, this, &LineSimulator::sendAudio);
}

bool LineSimulator::listen(quint16 port, QString* error)
{
    if (m_server.listen(QHostAddress::LocalHost, port))
        return true;
    *error =
        QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(m_server.errorString());
    return false;
}

int LineSimulator::deviceCount() const
{
    return int(std::count(m_lines.cbegin(), m_lines.cend(), Role::Device));
}

QString LineSimulator::stateName(State state)
{
    switch (state) {
    case State::Idle:
        return QStringLiteral("idle");
    case State::Ringing:
        return QStringLiteral("ringing");
    case State::OffHook:
        return QStringLiteral("off-hook");
    }
    return {};
}

QString LineSimulator::describe() const
{
    return QStringLiteral("state=%1 number=%2 link=%3 devices=%4 dial=%5")
        .arg(stateName(m_state), m_number, m_linkUp ? QStringLiteral("up") : QStringLiteral("down"))
        .arg(deviceCount())
        .arg(m_lastDial);
}

bool LineSimulator::ring(const QString& number, QString* error)
{
    if (m_state == State::OffHook) {
        *error = QStringLiteral("the line is off-hook");
        return false;
    }
    m_number = number;
    if (m_state == State::Idle) {
        m_state = State::Ringing;
        broadcast(QStringLiteral("RING 1"));
    }
    if (!number.isEmpty())
        QTimer::singleShot(FeedDelayMs, this, [this, number] { sendFeed(number); });
    emit changed();
    return true;
}

void LineSimulator::stopRinging()
{
    if (m_state != State::Ringing)
        return;
    m_state = State::Idle;
    m_number.clear();
    broadcast(QStringLiteral("RING 0"));
    emit changed();
}

void LineSimulator::pickUp()
{
    m_answerTimer.stop();
    if (m_state == State::OffHook)
        return;
    // Answering ends the ringing without a "RING 0": the program takes a ring
    // stop for a caller who gave up and would drop the call it is answering.
    m_state = State::OffHook;
    broadcast(QStringLiteral("HOOK 3"));
    m_framesSent = 0;
    m_audioClock.start();
    sendAudio();
    m_audioTimer.start();
    emit changed();
}

void LineSimulator::hangUp()
{
    m_answerTimer.stop();
    if (m_state != State::OffHook)
        return;
    m_audioTimer.stop();
    m_state = State::Idle;
    m_number.clear();
    broadcast(QStringLiteral("HOOK 1"));
    emit changed();
}

void LineSimulator::setLinkUp(bool up)
{
    m_linkUp = up;
    if (!up) {
        const QList<LineProtocol*> lines = m_lines.keys(Role::Device);
        for (LineProtocol* line : lines)
            line->socket()->abort();
    }
    emit changed();
}

void LineSimulator::dial(const QString& dialString)
{
    m_lastDial = dialString;
    if (m_state != State::OffHook)
        m_answerTimer.start();
    emit changed();
}

void LineSimulator::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* line = new LineProtocol(socket, this);
        m_lines.insert(line, Role::Unknown);
        connect(line, &LineProtocol::textReceived, this,
                [this, line](const QString& text) { handleText(line, text); });
        connect(socket, &QTcpSocket::disconnected, this, [this, line] {
            if (m_lines.remove(line)) {
                line->deleteLater();
                emit changed();
            }
        });
        QTimer::singleShot(HelloTimeoutMs, line, [this, line] {
            if (m_lines.value(line) == Role::Unknown)
                line->socket()->abort();
        });
    }
}

void LineSimulator::handleText(LineProtocol* line, const QString& text)
{
    switch (m_lines.value(line)) {
    case Role::Unknown:
        if (text == LineProtocol::DeviceHello && m_linkUp) {
            m_lines[line] = Role::Device;
            // The current state first: the device takes its first report as
            // the line's state at start-up.
            line->sendText(m_state == State::OffHook ? QStringLiteral("HOOK 3")
                                                     : QStringLiteral("HOOK 1"));
            line->sendText(m_state == State::Ringing ? QStringLiteral("RING 1")
                                                     : QStringLiteral("RING 0"));
            emit changed();
        } else if (text == LineProtocol::ControlHello) {
            m_lines[line] = Role::Control;
        } else {
            line->socket()->abort();
        }
        break;
    case Role::Device:
        handleDevice(text);
        break;
    case Role::Control:
        line->sendText(handleControl(text));
        break;
    }
}

void LineSimulator::handleDevice(const QString& text)
{
    if (text == u"TAKELINE")
        pickUp();
    else if (text == u"HANGUP")
        hangUp();
    else if (text.startsWith(u"DIAL "))
        dial(text.mid(5));
}

QString LineSimulator::handleControl(const QString& text)
{
    const QString command = text.section(u' ', 0, 0);
    const QString argument = text.section(u' ', 1);
    QString error;
    if (command == u"RING") {
        if (!ring(argument, &error))
            return QStringLiteral("ERROR ") + error;
    } else if (command == u"STOPRING") {
        stopRinging();
    } else if (command == u"ANSWER") {
        pickUp();
    } else if (command == u"HANGUP") {
        hangUp();
    } else if (command == u"LINKDOWN") {
        setLinkUp(false);
    } else if (command == u"LINKUP") {
        setLinkUp(true);
    } else if (command != u"STATE") {
        return QStringLiteral("ERROR unknown command ") + command;
    }
    return QStringLiteral("OK ") + describe();
}

void LineSimulator::sendFeed(const QString& number)
{
    auto* socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, socket, [socket, number] {
        socket->write(QStringLiteral("CID:%1\r\n").arg(number).toUtf8());
        socket->disconnectFromHost();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::errorOccurred, socket, &QObject::deleteLater);
    QTimer::singleShot(FeedTimeoutMs, socket, &QObject::deleteLater);
    socket->connectToHost(QHostAddress::LocalHost, m_feedPort);
}

void LineSimulator::broadcast(const QString& event)
{
    for (auto it = m_lines.cbegin(); it != m_lines.cend(); ++it) {
        if (it.value() == Role::Device)
            it.key()->sendText(event);
    }
}

void LineSimulator::sendAudio()
{
    const qint64 due = m_audioClock.elapsed() / LineProtocol::FrameMs + 1;
    if (due - m_framesSent > MaxCatchUpFrames) {
        emit soundDropped(int((due - 1 - m_framesSent) * LineProtocol::FrameMs));
        m_framesSent = due - 1;
    }
    for (; m_framesSent < due; ++m_framesSent) {
        const QByteArray frame = m_audio.nextFrame();
        for (auto it = m_lines.cbegin(); it != m_lines.cend(); ++it) {
            if (it.value() == Role::Device)
                it.key()->sendAudio(frame);
        }
    }
}
