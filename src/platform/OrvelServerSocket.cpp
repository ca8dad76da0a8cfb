#include "platform/OrvelServerSocket.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Where to cut an over-long message so no UTF-8 sequence is split: before
// the last sequence of the first limit bytes when that one runs past them.
qsizetype cutPoint(const QByteArray& bytes, qsizetype limit)
{
    qsizetype lead = limit - 1;
    while (lead > limit - 4 && (uchar(bytes.at(lead)) & 0xC0) == 0x80)
        --lead;
    const uchar first = uchar(bytes.at(lead));
    const int length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return lead + length > limit ? lead : limit;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

OrvelServerSocket::OrvelServerSocket(const QHostAddress& address, QObject* parent)
    : QObject(parent), m_address(address)
{
    connect(&m_server, &QTcpServer::newConnection, this, &OrvelServerSocket::accept);
}

QStringList OrvelServerSocket::allowSenders(const QStringList& addresses)
{
    m_allowed.clear();
    QStringList unreadable;
    for (const QString& entry : addresses) {
        const QString text = entry.trimmed();
        const QHostAddress address(text);
        if (text.isEmpty())
            continue;
        if (address.isNull())
            unreadable << text;
        else
            m_allowed << address;
    }
    return unreadable;
}

bool OrvelServerSocket::ListenPort(quint16 port)
{
    m_server.close();
    const bool everywhere = !m_allowed.isEmpty() && m_address.isLoopback();
    return m_server.listen(everywhere ? QHostAddress(QHostAddress::AnyIPv4) : m_address, port);
}

int OrvelServerSocket::connectionCount() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const Connection& c) { return c.socket != nullptr; }));
}

void OrvelServerSocket::SocketAcknowledge(int& index)
{
    if (index < 0 || index >= MaxConnections || !m_connections[index].socket) {
        index = -1;
        return;
    }
    m_connections[index].idle->start(m_idleMs);
}

int OrvelServerSocket::freeSlot()
{
    const auto free = std::find_if(m_connections.begin(), m_connections.end(),
                                   [](const Connection& c) { return c.socket == nullptr; });
    if (free != m_connections.end())
        return int(free - m_connections.begin());
    const auto oldest = std::min_element(
        m_connections.begin(), m_connections.end(),
        [](const Connection& a, const Connection& b) { return a.lastActivity < b.lastActivity; });
    const int index = int(oldest - m_connections.begin());
    drop(index);
    return index;
}

void OrvelServerSocket::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        if (!peer.isLoopback() && !m_allowed.contains(peer)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const int index = freeSlot();
        Connection& c = m_connections[index];
        c.socket = socket;
        c.pending.clear();
        c.lastActivity = now();
        socket->setParent(this);
        socket->setReadBufferSize(MaxMessageBytes);
        c.pause = new QTimer(socket);
        c.pause->setSingleShot(true);
        c.idle = new QTimer(socket);
        c.idle->setSingleShot(true);
        c.idle->start(m_idleMs);
        // The slot may hold a newer connection by the time a signal of this
        // one arrives; each handler checks it still owns the slot.
        const auto owns = [this, index, socket] { return m_connections[index].socket == socket; };
        connect(socket, &QTcpSocket::readyRead, this, [this, index, owns] {
            if (owns())
                read(index);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, index, owns] {
            if (owns())
                drop(index);
        });
        connect(c.pause, &QTimer::timeout, this, [this, index, owns] {
            if (owns())
                flush(index);
        });
        connect(c.idle, &QTimer::timeout, this, [this, index, owns] {
            if (owns())
                drop(index);
        });
    }
}

QList<QByteArray> OrvelServerSocket::takeMessages(Connection& c, bool toEnd)
{
    c.pending += c.socket->readAll();
    QList<QByteArray> messages;
    qsizetype start = 0;
    for (qsizetype newline; (newline = c.pending.indexOf('\n', start)) >= 0; start = newline + 1) {
        QByteArray line = c.pending.mid(start, newline - start);
        if (line.endsWith('\r'))
            line.chop(1);
        messages.append(line);
    }
    c.pending.remove(0, start);
    while (c.pending.size() >= MaxMessageBytes) {
        const qsizetype cut = cutPoint(c.pending, MaxMessageBytes);
        messages.append(c.pending.left(cut));
        c.pending.remove(0, cut);
    }
    if (toEnd && !c.pending.isEmpty())
        messages.append(std::exchange(c.pending, {}));
    return messages;
}

void OrvelServerSocket::read(int index)
{
    Connection& c = m_connections[index];
    c.lastActivity = now();
    c.idle->start(m_idleMs);
    const QList<QByteArray> messages = takeMessages(c, false);
    if (c.pending.isEmpty())
        c.pause->stop();
    else
        c.pause->start(PauseMs);
    deliver(index, messages);
}

void OrvelServerSocket::flush(int index)
{
    deliver(index, takeMessages(m_connections[index], true));
}

void OrvelServerSocket::drop(int index)
{
    Connection& c = m_connections[index];
    // What the sender wrote just before it closed still counts.
    const QList<QByteArray> messages = takeMessages(c, true);
    QTcpSocket* socket = std::exchange(c.socket, nullptr);
    c.pause = c.idle = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    deliver(index, messages);
}

// Messages leave the connection's state before any handler runs, so each
// message is seen exactly once whatever a handler does meanwhile.
void OrvelServerSocket::deliver(int index, const QList<QByteArray>& messages)
{
    for (const QByteArray& message : messages) {
        if (!message.isEmpty())
            emit DataArrival(index, QString::fromUtf8(message));
    }
}
