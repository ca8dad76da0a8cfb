#include "platform/OrvelServerSocket.h"

#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

class tst_ServerSocket : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_server = std::make_unique<OrvelServerSocket>(QHostAddress::LocalHost);
        QVERIFY(m_server->ListenPort(0));
    }

    void messages_data()
    {
        QTest::addColumn<QByteArrayList>("writes");
        QTest::addColumn<bool>("close");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("newline ends a message")
            << QByteArrayList{"CID:02-1234-5678\r\n"} << false << QStringList{"CID:02-1234-5678"};
        QTest::newRow("split across two writes") << QByteArrayList{"CID:02-12", "34-5678\r\n"}
                                                 << false << QStringList{"CID:02-1234-5678"};
        QTest::newRow("closing ends a message")
            << QByteArrayList{"CID:0212345678"} << true << QStringList{"CID:0212345678"};
        QTest::newRow("a pause ends a message")
            << QByteArrayList{"0212345678"} << false << QStringList{"0212345678"};
        QTest::newRow("several in one write, blank lines skipped")
            << QByteArrayList{"111\n\r\n\n222\r\n333\n"} << true
            << QStringList{"111", "222", "333"};
        QTest::newRow("Korean text")
            << QByteArrayList{"발신:031-123-4567#\n"} << false << QStringList{"발신:031-123-4567#"};
        // Octal escapes: \377 \376 are not UTF-8, \0 \1 \177 are control bytes.
        QTest::newRow("invalid UTF-8 replaced")
            << QByteArrayList{"CID:\377\37612#\n"} << false
            << QStringList{QStringLiteral("CID:\uFFFD\uFFFD12#")};
        QTest::newRow("binary bytes") << QByteArrayList{QByteArray("\0\1\17712", 5)} << true
                                      << QStringList{QString::fromLatin1("\0\1\17712", 5)};
        QByteArray lines;
        QStringList numbers;
        for (int i = 0; i < 1000; ++i) {
            lines += QByteArray::number(i) + "\r\n";
            numbers << QString::number(i);
        }
        QTest::newRow("1,000 messages") << QByteArrayList{lines} << true << numbers;
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

        QTRY_COMPARE(texts(arrivals), expected);
        QTest::qWait(OrvelServerSocket::PauseMs * 2);
        QCOMPARE(texts(arrivals), expected);
        int index = arrivals.first().at(0).toInt();
        const int delivered = index;
        m_server->SocketAcknowledge(index);
        QCOMPARE(index, close ? -1 : delivered);
    }

    void idleAndSurplusConnectionsAreDropped()
    {
        m_server->setIdleTimeout(300);
        auto silent = connectClient();
        QTRY_COMPARE(m_server->connectionCount(), 1);
        QTRY_COMPARE(silent->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(m_server->connectionCount(), 0);

        m_server->setIdleTimeout(OrvelServerSocket::DefaultIdleMs);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < OrvelServerSocket::MaxConnections; ++i) {
            clients.push_back(connectClient());
            QTRY_COMPARE(m_server->connectionCount(), i + 1);
        }
        QSignalSpy arrivals(m_server.get(), &OrvelServerSocket::DataArrival);
        for (size_t i = 1; i < clients.size(); ++i)
            clients[i]->write("x");
        QTRY_COMPARE(arrivals.size(), OrvelServerSocket::MaxConnections - 1);

        auto surplus = connectClient();
        QTRY_COMPARE(clients.front()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(m_server->connectionCount(), OrvelServerSocket::MaxConnections);
        surplus->write("CID:0212345678\n");
        QTRY_COMPARE(texts(arrivals).last(), QStringLiteral("CID:0212345678"));
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
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                lan = address;
        }
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

    QStringList texts(const QSignalSpy& spy)
    {
        QStringList out;
        for (const QList<QVariant>& arguments : spy)
            out << arguments.at(1).toString();
        return out;
    }

    std::unique_ptr<OrvelServerSocket> m_server;
};

QTEST_GUILESS_MAIN(tst_ServerSocket)
#include "tst_serversocket.moc"
