#include "line/LineProtocol.h"
#include "platform/OrvelServerSocket.h"

#include "LineSimulator.h"

#include <QNetworkInterface>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

// One argument of each signal a spy caught: the first as a number unless told.
template <typename T = int> QList<T> values(const QSignalSpy& spy, int at = 0)
{
    QList<T> out;
    for (const QList<QVariant>& arguments : spy)
        out << arguments.at(at).value<T>();
    return out;
}
} // namespace

class tst_LineAndFeed : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_server = std::make_unique<OrvelServerSocket>(QHostAddress::LocalHost);
        QVERIFY(m_server->ListenPort(0));
    }

    void garbageDropsTheConnection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unknown frame type") << QByteArray("X\0\0\0\1a", 6);
        QTest::newRow("oversize frame") << QByteArray("T\x7f\0\0\0", 5);
        QTest::newRow("no hello") << LineProtocol::frame(LineProtocol::Text, "TAKELINE");
    }

    void garbageDropsTheConnection()
    {
        QFETCH(QByteArray, bytes);
        LineSimulator line;
        QString error;
        QVERIFY2(line.listen(0, &error), qPrintable(error));
        QTcpSocket stranger;
        stranger.connectToHost(QHostAddress::LocalHost, line.port());
        QVERIFY(stranger.waitForConnected(2000));
        stranger.write(bytes);
        // Well before the simulator gives up waiting for a hello.
        QTRY_COMPARE_WITH_TIMEOUT(stranger.state(), QAbstractSocket::UnconnectedState, 1000);
        QCOMPARE(line.state(), LineSimulator::State::Idle);
    }

    void messages_data()
    {
        QTest::addColumn<QByteArrayList>("writes");
        QTest::addColumn<bool>("close");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("split across two writes") << QByteArrayList{"CID:02-12", "34-5678\r\n"}
                                                 << false << QStringList{"CID:02-1234-5678"};
        QTest::newRow("a pause ends a message")
            << QByteArrayList{"0212345678"} << false << QStringList{"0212345678"};
        QTest::newRow("several in one write, blank lines skipped")
            << QByteArrayList{"111\n\r\n\n222\r\n333\n"} << true
            << QStringList{"111", "222", "333"};
        // Octal escapes: \377 \376 are not UTF-8, \0 \1 \177 are control bytes.
        QTest::newRow("invalid UTF-8 replaced")
            << QByteArrayList{"CID:\377\37612#\n"} << false
            << QStringList{QStringLiteral("CID:\uFFFD\uFFFD12#")};
        QTest::newRow("binary bytes") << QByteArrayList{QByteArray("\0\1\17712", 5)} << true
                                      << QStringList{QString::fromLatin1("\0\1\17712", 5)};
        const int max = OrvelServerSocket::MaxMessageBytes;
        QTest::newRow("64 KiB and a bit") << QByteArrayList{QByteArray(max + 10, 'A')} << true
                                          << QStringList{QString(max, u'A'), QString(10, u'A')};
        // 3-byte characters never end exactly at 64 KiB.
        QTest::newRow("64 KiB of Korean")
            << QByteArrayList{QString(max / 3 + 5, u'가').toUtf8()} << true
            << QStringList{QString(max / 3, u'가'), QString(5, u'가')};
    }

    void messages()
    {
        QFETCH(QByteArrayList, writes);
        QFETCH(bool, close);
        QFETCH(QStringList, expected);

        QSignalSpy arrivals(m_server.get(), &OrvelServerSocket::DataArrival);
        auto client = connectClient();
        for (const QByteArray& bytes : writes) {
            client->write(bytes);
            client->flush();
            QTest::qWait(5);
        }
        if (close)
            client->disconnectFromHost();

        QTRY_COMPARE(values<QString>(arrivals, 1), expected);
        QTest::qWait(OrvelServerSocket::PauseMs * 2);
        QCOMPARE(values<QString>(arrivals, 1), expected);
        int index = arrivals.first().at(0).toInt();
        const int delivered = index;
        m_server->SocketAcknowledge(index);
        QCOMPARE(index, close ? -1 : delivered);
    }

    void idleConnectionsAreDropped()
    {
        m_server->setIdleTimeout(300);
        auto silent = connectClient();
        QTRY_COMPARE(m_server->connectionCount(), 1);
        QTRY_COMPARE(silent->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(m_server->connectionCount(), 0);
    }

    void senders_data()
    {
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<bool>("fromLan");
        QTest::addColumn<bool>("delivered");

        QTest::newRow("default, loopback") << "" << false << true;
        QTest::newRow("default, this machine's LAN address") << "" << true << false;
        QTest::newRow("another host named, LAN address")
            << "192.0.2.250, 10.9.8.7" << true << false;
        QTest::newRow("another host named, loopback") << "192.0.2.250" << false << true;
        QTest::newRow("LAN address named") << " LAN ,not-an-address" << true << true;
    }

    // The sender runs on the agent's own workstation; a LAN address of this
    // machine stands for another host of the branch.
    void senders()
    {
        QFETCH(QString, allowed);
        QFETCH(bool, fromLan);
        QFETCH(bool, delivered);
        QHostAddress lan;
        for (const QHostAddress& address : QNetworkInterface::allAddresses())
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                lan = address;
        if (lan.isNull())
            QSKIP("this machine has no IPv4 address besides loopback");

        OrvelServerSocket server;
        const QStringList unreadable =
            server.allowSenders(allowed.replace("LAN", lan.toString()).split(u','));
        QCOMPARE(unreadable,
                 allowed.contains("not-") ? QStringList{"not-an-address"} : QStringList());
        QVERIFY(server.ListenPort(0));
        QSignalSpy arrivals(&server, &OrvelServerSocket::DataArrival);
        QTcpSocket client;
        client.connectToHost(fromLan ? lan : QHostAddress(QHostAddress::LocalHost),
                             server.serverPort());
        client.waitForConnected(2000);
        client.write("CID:0212345678\n");
        client.flush();
        if (delivered) {
            QTRY_COMPARE(arrivals.size(), 1);
            return;
        }
        // Refused by the kernel (nothing listens there) or closed at once.
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QTest::qWait(OrvelServerSocket::PauseMs * 2);
        QCOMPARE(arrivals.size(), 0);
        QCOMPARE(server.connectionCount(), 0);
    }

private:
    std::unique_ptr<QTcpSocket> connectClient()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, m_server->serverPort());
        client->waitForConnected(2000);
        return client;
    }

    std::unique_ptr<OrvelServerSocket> m_server;
};

QTEST_GUILESS_MAIN(tst_LineAndFeed)
#include "tst_line.moc"
