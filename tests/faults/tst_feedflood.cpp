#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include "CallDesk.h"

// A sender floods the caller feed of a running desk: the desk keeps its
// event loop turning, its memory bounded, and still takes the next number.
class TestFeedFlood : public QObject
{
    Q_OBJECT

    static qint64 residentKiB()
    {
        QFile statm("/proc/self/statm"); // sizes in pages; the second is the resident set
        return statm.open(QIODevice::ReadOnly)
                   ? statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE) / 1024
                   : -1;
    }

    // The sender, a separate process so its buffers are not ours. Every mode
    // ends with one good number on a fresh connection.
    static constexpr const char* kSender = R"(
import socket, sys, time
port, mode = int(sys.argv[1]), sys.argv[2]
def conn():
    return socket.create_connection(("127.0.0.1", port))
held = []
if mode == "half-open":
    for _ in range(100):
        try:
            c = conn(); c.sendall(b"0211"); held.append(c)
        except OSError: pass
else:
    payload = {"many": b"0212345678\n" * 10000, "big": (b"A" * (1 << 20) + b"\n") * 4}[mode]
    s = conn(); s.sendall(payload); s.close()
time.sleep(0.5)
s = conn(); s.sendall(b"0299998888\n"); time.sleep(0.3); s.close()
sys.stdout.write("sent\n"); sys.stdout.flush()
time.sleep(1)
)";

private slots:
    void floods_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("10000 messages") << "many";
        QTest::newRow("1 MiB messages") << "big";
        QTest::newRow("half-open connections") << "half-open";
    }
    void floods()
    {
        QFETCH(QString, mode);
        CallDesk d;
        d.open();
        QVERIFY(d.feedPort != 0);
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
        const qint64 before = residentKiB();
        sinceTick.start();
        tick.start(10);
        QProcess sender;
        sender.start("/usr/bin/python3",
                     {"-c", QString::fromLatin1(kSender), QString::number(d.feedPort), mode});
        QVERIFY(sender.waitForStarted());
        const auto number = [&d] { return d.calls.callForCallerId()->CallerNumber; };
        QVERIFY2(QTest::qWaitFor([&] { return number() == "0299998888"; }, 20000),
                 qPrintable(number().left(40)));
        QVERIFY(QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 10000));
        QVERIFY2(longestGap < 500, qPrintable(QString::number(longestGap)));
        const qint64 growth = residentKiB() - before;
        QVERIFY2(growth < 32 * 1024, qPrintable(QString::number(growth) + " KiB"));
        QVERIFY(d.f.messages.messages.isEmpty());
    }
};

QTEST_MAIN(TestFeedFlood)
#include "tst_feedflood.moc"
