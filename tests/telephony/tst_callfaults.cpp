#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <sys/mount.h>
#include <unistd.h>

#include "CallDesk.h"
#include "platform/VoxFile.h"

// Calls that meet a fault: nothing recorded may be lost, and the call goes on.
class TestCallFaults : public QObject
{
    Q_OBJECT

    // Runs one outbound call to its end and returns the voice file's name.
    static QString outboundCall(CallDesk& d, int talkMs, const std::function<void()>& during = {})
    {
        QString name;
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::CallResult) {
                name = call->RecFileName;
                call->CallResultCode = QStringLiteral("1");
            }
        };
        d.calls.DialNumber(QStringLiteral("010-2222-3333"));
        const CallPtr call = d.calls.lineCall();
        if (!QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 5000))
            return QString();
        QTest::qWait(talkMs);
        if (during)
            during();
        d.calls.cmdStopCall_Click();
        if (!QTest::qWaitFor([&] { return call->stage == Call::Stage::Finished; }, 10000))
            return QString();
        return name;
    }

    static bool decodes(const QString& path, int minimumSamples)
    {
        bool ok = false;
        const QVector<qint16> samples = VoxFile::decode(path, &ok);
        return ok && samples.size() >= minimumSamples;
    }

private slots:
    void deviceLostMidCall()
    {
        CallDesk d;
        d.open();
        d.calls.DialNumber(QStringLiteral("010-2222-3333"));
        const CallPtr call = d.calls.lineCall();
        QVERIFY(
            QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 5000));
        const QString file = call->RecFilePath;
        const QString recording = call->RecFileName;
        QTest::qWait(1000);
        d.line.setLinkUp(false);
        QVERIFY(QTest::qWaitFor([&] { return !d.controls.windowEnabled(); }, 5000));
        QVERIFY(d.f.messages.texts().value(0).startsWith(
            QStringLiteral("Dorvane연결에 실패 했습니다")));
        // The recording is closed and its rows carry the end, right away.
        QVERIFY(decodes(file, 4000));
        const QString ended =
            d.local("select R_EndTime, R_Time from recfile where R_Path = '" + recording + "'")
                .value(0);
        QVERIFY2(ended.size() > 2 && !ended.startsWith(u'|'), qPrintable(ended));

        // The caller hangs up while the device is away; its return ends the call.
        d.line.hangUp();
        d.line.setLinkUp(true);
        QVERIFY(QTest::qWaitFor([&] { return call->stage == Call::Stage::Finished; }, 10000));
        QVERIFY(d.controls.windowEnabled());
        QCOMPARE(d.local("select R_EndTime, R_Time from recfile where R_Path = '" + recording + "'")
                     .value(0),
                 ended);
        QCOMPARE(d.central("select UploadStatus from recfile where R_Path = '" + recording + "'"),
                 QStringList{"1"});
    }

    void centralDatabaseLocked()
    {
        CallDesk d;
        Call c;
        {
            // Another writer holds the branch database for longer than we wait.
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-writer");
            other.setDatabaseName(d.f.path("branch0001.db"));
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            d.desk.recorder.StartRecording(c, "2026-12-06 11:00:00");
            QVERIFY(lock.exec("COMMIT"));
            other.close();
        }
        QSqlDatabase::removeDatabase("other-writer");
        const QString first = c.RecFileName;
        QCOMPARE(d.f.messages.errorBlocks(), 1);
        QVERIFY(d.f.messages.texts().first().contains("ERROR FUNCTION    : AddToSQL"));
        QCOMPARE(d.local("select count(*) from recfile where R_Path = '" + first + "'"),
                 QStringList{"1"});
        d.desk.recorder.StopRecording(c, "2026-12-06 11:00:09");
        QCOMPARE(d.local("select R_Time from recfile where R_Path = '" + first + "'"),
                 QStringList{"9"});

        // The next call works once the database is free again.
        Call next;
        d.desk.recorder.StartRecording(next, "2026-12-06 11:05:00");
        d.desk.recorder.StopRecording(next, "2026-12-06 11:05:30");
        QCOMPARE(d.central("select R_Time from recfile where R_Path = '" + next.RecFileName + "'"),
                 QStringList{"30"});
        QCOMPARE(d.f.messages.errorBlocks(), 1);
    }

    void centralServerGone()
    {
        CallDesk d;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closed = probe.serverPort();
        probe.close();
        d.f.session.BranchIP = "127.0.0.1";
        d.f.session.BranchDBPort = QString::number(closed);
        Call c;
        d.desk.recorder.StartRecording(c, "2026-12-06 12:00:00");
        d.desk.recorder.StopRecording(c, "2026-12-06 12:00:05");
        QVERIFY(d.f.messages.texts().first().startsWith("데이터베이스 연결을 실패했습니다.\r\n"));
        QCOMPARE(d.local("select R_Time from recfile where R_Path = '" + c.RecFileName + "'"),
                 QStringList{"5"});
        QVERIFY(QFile::exists(c.RecFilePath));
    }

    void diskFullWhileRecording()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small tmpfs for the recording folder needs root");
        CallDesk d;
        const QString recData = d.f.path("RECDATA");
        QVERIFY(QDir(recData).exists());
        if (mount("tmpfs", recData.toLocal8Bit().constData(), "tmpfs", 0, "size=16k") != 0)
            QSKIP("this machine does not let the test mount a tmpfs");
        const auto unmount =
            qScopeGuard([&] { umount2(recData.toLocal8Bit().constData(), MNT_DETACH); });
        d.open();
        const QString name = outboundCall(d, 6000);
        QVERIFY(!name.isEmpty());
        QVERIFY2(d.f.messages.errorBlocks() >= 1, "the full disk is reported");
        QVERIFY(d.f.messages.texts().join('\n').contains("ERROR FUNCTION    : StartRecording"));
        // What was written before the disk filled up stays a valid file, and
        // both rows say how long the call was.
        QVERIFY(decodes(recData + "/" + name.left(8) + "/" + name, 8000));
        QVERIFY(
            d.local("select R_Time from recfile where R_Path = '" + name + "'").value(0).toInt() >=
            5);
        QVERIFY(d.central("select R_Time from recfile where R_Path = '" + name + "'")
                    .value(0)
                    .toInt() >= 5);
    }

    void callsAtTheEdges()
    {
        // Hung up right after pick-up, on a silent line.
        QTemporaryDir sounds;
        const QString silence = sounds.filePath("silence.wav");
        QProcess sox;
        sox.start("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", silence, "trim", "0", "1"});
        if (!sox.waitForFinished() || sox.exitCode() != 0)
            QSKIP("sox is needed to make a silent line");
        CallDesk d;
        LineAudioSource quiet;
        QString error;
        QVERIFY2(quiet.loadWav(silence, &error), qPrintable(error));
        d.line.setAudioSource(quiet);
        d.open();
        const QString name = outboundCall(d, 100);
        QVERIFY(!name.isEmpty());
        const QString path = d.f.path("RECDATA/" + name.left(8) + "/" + name);
        QVERIFY(decodes(path, 0));
        QCOMPARE(
            d.local("select count(*) from recfile where R_Path = '" + name + "' and R_Time <> ''"),
            QStringList{"1"});
        QCOMPARE(d.central("select UploadStatus from recfile where R_Path = '" + name + "'"),
                 QStringList{"1"});

        // The caller gives up while "인바운드" is still open: nothing recorded, the dialog goes.
        d.f.windows.onShow = [&](Window w, const CallPtr&) {
            if (w == Window::SmallCall) {
                d.line.stopRinging();
                QVERIFY(QTest::qWaitFor([&] { return !d.calls.lineCall(); }, 3000));
            }
        };
        QVERIFY(d.line.ring("0299998888", &error));
        QVERIFY(
            QTest::qWaitFor([&] { return d.f.windows.closed.contains(Window::SmallCall); }, 3000));
        QVERIFY(!d.calls.lineCall());
        QCOMPARE(d.local("select count(*) from recfile"), QStringList{"1"});
        QVERIFY(d.f.messages.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCallFaults)
#include "tst_callfaults.moc"
