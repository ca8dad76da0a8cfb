#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <array>

class QTcpSocket;
class QTimer;

// Listener for the caller-number feed. A sender connects and sends free text;
// each message (ended by a newline, by the sender closing, or by a short pause
// in the data) is delivered once by DataArrival with the index of its
// connection. Everything is bounded: message size, number of connections and
// their idle time, so no sender can stall the program or fill its memory.
class OrvelServerSocket : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxMessageBytes = 64 * 1024;
    static constexpr int MaxConnections = 64;
    static constexpr int PauseMs = 50;
    static constexpr int DefaultIdleMs = 30000;

    // The sender sits on the agent's own workstation: loopback only, unless
    // other senders are allowed.
    explicit OrvelServerSocket(const QHostAddress& address = QHostAddress::LocalHost,
                               QObject* parent = nullptr);

    // Other workstations allowed to send. With any named, the next
    // ListenPort listens on every IPv4 interface and a connection from an
    // address that is neither loopback nor named is closed before a byte of
    // it is read. Returns the entries that are not addresses (left out).
    QStringList allowSenders(const QStringList& addresses);
    bool ListenPort(quint16 port);
    // The port actually listened on (ListenPort(0) picks a free one).
    quint16 serverPort() const { return m_server.serverPort(); }
    // Why the last ListenPort failed.
    QString errorString() const { return m_server.errorString(); }
    int connectionCount() const;
    void setIdleTimeout(int ms) { m_idleMs = ms; }

    // The handler has taken the message of connection index: the connection
    // gets a fresh idle period. An index that names no open connection any
    // more comes back as -1.
    void SocketAcknowledge(int& index);

signals:
    void DataArrival(int index, const QString& text);

private:
    struct Connection
    {
        QTcpSocket* socket = nullptr;
        QByteArray pending;
        QTimer* pause = nullptr;
        QTimer* idle = nullptr;
        qint64 lastActivity = 0;
    };

    void accept();
    QList<QByteArray> takeMessages(Connection& c, bool toEnd);
    void read(int index);
    void flush(int index);
    void drop(int index);
    void deliver(int index, const QList<QByteArray>& messages);
    int freeSlot();

    QTcpServer m_server;
    QHostAddress m_address;
    QList<QHostAddress> m_allowed;
    int m_idleMs = DefaultIdleMs;
    std::array<Connection, MaxConnections> m_connections;
};
