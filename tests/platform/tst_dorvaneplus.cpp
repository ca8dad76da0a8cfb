#include "platform/DorvanePlus.h"
#include "platform/LineProtocol.h"
#include "platform/OrvelServerSocket.h"

#include "LineSimulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <functional>
#include <memory>

using Action = std::function<void(LineSimulator&, DorvanePlus&)>;
Q_DECLARE_METATYPE(Action)

namespace {
constexpr int AnswerDelayMs = 150;
constexpr int LinkTimeoutMs = 3000;

QList<int> values(const QSignalSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& arguments : spy)
        out << arguments.at(0).toInt();
    return out;
}
} // namespace

class tst_DorvanePlus : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_device.reset();
        m_line = std::make_unique<LineSimulator>();
        m_line->setAnswerDelay(AnswerDelayMs);
        QString error;
        QVERIFY2(m_line->listen(0, &error), qPrintable(error));
        m_device = std::make_unique<DorvanePlus>();
        m_device->setLinePort(m_line->port());
    }

    void ringEnds_data()
    {
        QTest::addColumn<Action>("end");
        QTest::addColumn<QList<int>>("rings");
        QTest::addColumn<QList<int>>("hooks");

        QTest::newRow("caller gives up")
            << Action([](LineSimulator& line, DorvanePlus&) { line.stopRinging(); })
            << QList<int>{1, 0} << QList<int>{};
        // No ring stop on answering: the call handling would drop the call.
        QTest::newRow("agent takes the line")
            << Action([](LineSimulator&, DorvanePlus& device) { device.TakeLine(); })
            << QList<int>{1} << QList<int>{3};
        QTest::newRow("handset lifted")
            << Action([](LineSimulator& line, DorvanePlus&) { line.pickUp(); }) << QList<int>{1}
            << QList<int>{3};
    }

    void ringEnds()
    {
        QFETCH(Action, end);
        QFETCH(QList<int>, rings);
        QFETCH(QList<int>, hooks);

        OrvelServerSocket feed(QHostAddress::LocalHost);
        QVERIFY(feed.ListenPort(0));
        m_line->setFeedPort(feed.serverPort());
        QSignalSpy numbers(&feed, &OrvelServerSocket::DataArrival);
        openLinked();
        QSignalSpy ringSpy(m_device.get(), &DorvanePlus::RingChanged);
        QSignalSpy hookSpy(m_device.get(), &DorvanePlus::HookChanged);

        QString error;
        QVERIFY(m_line->ring(QStringLiteral("02-1234-5678"), &error));
        QTRY_COMPARE(values(ringSpy), QList<int>{1});
        QTRY_COMPARE(numbers.size(), 1);
        QCOMPARE(numbers.first().at(1).toString(), QStringLiteral("CID:02-1234-5678"));

        end(*m_line, *m_device);
        QTRY_COMPARE(values(ringSpy), rings);
        QTRY_COMPARE(values(hookSpy), hooks);
        QCOMPARE(m_device->IsLineBusy(), !hooks.isEmpty());

        // However the call ended, the next caller's ring is news again.
        m_line->hangUp();
        m_line->stopRinging();
        QVERIFY(m_line->ring(QStringLiteral("0299990000"), &error));
        QTRY_COMPARE(values(ringSpy).count(1), 2);
    }

    void offHookCarriesSoundUntilHangUp_data()
    {
        QTest::addColumn<bool>("takeLine");
        QTest::addColumn<QString>("dial");
        QTest::newRow("take the line") << true << QString();
        QTest::newRow("take the line, then dial") << true << QStringLiteral(",9,12345678");
        QTest::newRow("dial on an idle line") << false << QStringLiteral(",9,12345678");
    }

    void offHookCarriesSoundUntilHangUp()
    {
        QFETCH(bool, takeLine);
        QFETCH(QString, dial);
        openLinked();
        QSignalSpy hooks(m_device.get(), &DorvanePlus::HookChanged);
        QSignalSpy sound(m_device.get(), &DorvanePlus::LineAudio);

        if (takeLine)
            m_device->TakeLine();
        if (!dial.isEmpty())
            m_device->Dial(dial);
        QTRY_COMPARE(m_line->lastDial(), dial);
        QTRY_COMPARE(values(hooks), QList<int>{3});
        QElapsedTimer offHook;
        offHook.start();
        QTest::qWait(AnswerDelayMs * 2);
        QCOMPARE(values(hooks), QList<int>{3});
        QVERIFY(m_device->IsLineBusy());
        QCOMPARE(m_line->state(), LineSimulator::State::OffHook);
        QTRY_VERIFY(sound.size() >= 10);
        // Real time: never more than the elapsed 20 ms slots and a small catch-up.
        QVERIFY(sound.size() <= offHook.elapsed() / LineProtocol::FrameMs + 7);
        bool audible = false;
        for (const QList<QVariant>& arguments : sound) {
            const QByteArray pcm = arguments.at(0).toByteArray();
            QCOMPARE(pcm.size(), LineProtocol::AudioFrameBytes);
            audible = audible || pcm.count('\0') < pcm.size() / 2;
        }
        QVERIFY(audible);

        m_device->HangUp();
        QTRY_COMPARE(values(hooks), (QList<int>{3, 1}));
        QVERIFY(!m_device->IsLineBusy());
        const qsizetype frames = sound.size();
        QTest::qWait(5 * LineProtocol::FrameMs);
        QCOMPARE(sound.size(), frames);
    }

    void linkLossAndReturn()
    {
        openLinked();
        QSignalSpy links(m_device.get(), &DorvanePlus::DeviceLinkChanged);
        QSignalSpy hooks(m_device.get(), &DorvanePlus::HookChanged);
        m_device->TakeLine();
        QTRY_VERIFY(m_device->IsLineBusy());

        m_line->setLinkUp(false);
        QTRY_COMPARE(values(links), QList<int>{0});
        QVERIFY(!m_device->IsLineBusy());
        m_line->hangUp();
        m_device->TakeLine();
        QTest::qWait(2 * DorvanePlus::RetryMs);
        QCOMPARE(m_line->state(), LineSimulator::State::Idle);
        QCOMPARE(values(links), QList<int>{0});

        // The line went on-hook while the device was away: the return says so.
        m_line->setLinkUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(values(links), (QList<int>{0, 1}), LinkTimeoutMs);
        QTRY_COMPARE(values(hooks), (QList<int>{3, 1}));
        QVERIFY(!m_device->IsLineBusy());
    }

    void simulatorStartedLater()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        m_line.reset();

        DorvanePlus device;
        device.setLinePort(port);
        QSignalSpy links(&device, &DorvanePlus::DeviceLinkChanged);
        QSignalSpy hooks(&device, &DorvanePlus::HookChanged);
        QVERIFY(!device.OpenDevice());
        device.TakeLine();

        LineSimulator line;
        QString error;
        QVERIFY2(line.listen(port, &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(values(links), QList<int>{1}, LinkTimeoutMs);
        QTRY_COMPARE(values(hooks), QList<int>{1});
        QCOMPARE(line.state(), LineSimulator::State::Idle);
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
        QTcpSocket stranger;
        stranger.connectToHost(QHostAddress::LocalHost, m_line->port());
        QVERIFY(stranger.waitForConnected(2000));
        stranger.write(bytes);
        // Well before the simulator gives up waiting for a hello.
        QTRY_COMPARE_WITH_TIMEOUT(stranger.state(), QAbstractSocket::UnconnectedState, 1000);
        QCOMPARE(m_line->state(), LineSimulator::State::Idle);
    }

private:
    // Handlers wired after OpenDevice must still see the first report.
    void openLinked()
    {
        QSignalSpy links(m_device.get(), &DorvanePlus::DeviceLinkChanged);
        QSignalSpy hooks(m_device.get(), &DorvanePlus::HookChanged);
        QVERIFY(m_device->OpenDevice());
        QCOMPARE(links.size() + hooks.size(), 0);
        QTRY_COMPARE(values(hooks), QList<int>{1});
        QCOMPARE(values(links), QList<int>{1});
        QVERIFY(!m_device->IsLineBusy());
    }

    std::unique_ptr<LineSimulator> m_line;
    std::unique_ptr<DorvanePlus> m_device;
};

QTEST_GUILESS_MAIN(tst_DorvanePlus)
#include "tst_dorvaneplus.moc"
