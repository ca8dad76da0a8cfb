#include <csignal>
#include <QDate>
#include <QProcess>
#include <QTest>

#include "FtpServer.h"
#include "platform/VoxFile.h"
#include "ProgramFolderFixture.h"
#include "shell/LocalFileRotation.h"

// The desk is killed outright (SIGKILL: no handler, no clean-up) in the
// middle of what it must never lose; the next start finds everything.
class TestKilled : public QObject
{
    Q_OBJECT

    // Starts the agent on folder and waits for a line starting with `until`.
    static QString startAgent(QProcess& agent, const QString& folder, const QString& central,
                              int ftpPort, int mode, const QString& until)
    {
        agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agent.start(
            qEnvironmentVariable("BRENVO_BUILD_DIR") + "/tests/faults/agent/brenvo-fault-agent",
            {folder, central, "kim", "12", QString::number(ftpPort), QString::number(mode), "1"});
        QString seen;
        QTest::qWaitFor(
            [&] {
                seen += QString::fromUtf8(agent.readAllStandardOutput());
                return seen.contains(until) || agent.state() == QProcess::NotRunning;
            },
            20000);
        return seen;
    }
    // Kills the agent outright. Its process id is 0 once it has ended, and
    // kill(0) would hit this whole process group: it must still run.
    static void kill(QProcess& agent)
    {
        QVERIFY2(agent.state() == QProcess::Running, "the agent ended before it was killed");
        ::kill(pid_t(agent.processId()), SIGKILL);
        QVERIFY(agent.waitForFinished(5000));
        QCOMPARE(agent.exitStatus(), QProcess::CrashExit);
    }

private slots:
    void killedWhileRecording()
    {
        ProgramFolderFixture shared;
        FtpServer ftp;
        QVERIFY2(ftp.isRunning(), qPrintable(ftp.errorString()));
        const QString central = shared.path("branch0001.db");
        const QString folder = shared.path("desk");
        QProcess agent;
        const QString seen = startAgent(agent, folder, central, ftp.port(), 0, "RECORDING ");
        QVERIFY2(seen.startsWith("RECORDING "), qPrintable(seen));
        const QString path = seen.section(u' ', 1).trimmed();
        const QString name = path.section(u'/', -1);
        QTest::qWait(2000);
        kill(agent);

        // What was written up to the kill decodes; both rows are there.
        bool ok = false;
        QVERIFY(VoxFile::decode(path, &ok).size() >= 8000 && ok);
        const QString where = "SELECT count(*) FROM recfile WHERE R_Path = '" + name + "'";
        for (const char* db : {"desk/Brenvo.mdb", "branch0001.db"})
            QCOMPARE(shared.rows(db, where), QStringList{"1"});

        // The next login's bulk upload sends it and marks both rows.
        QProcess next;
        QVERIFY(startAgent(next, folder, central, ftp.port(), -1, "UPLOADED").contains("UPLOADED"));
        QVERIFY(QTest::qWaitFor([&] { return next.state() == QProcess::NotRunning; }, 10000));
        QVERIFY(QFile::exists(ftp.remoteFile(name.left(8) + "/" + name)) ||
                QFile::exists(ftp.remoteFile("TEMP/" + name.left(8) + "/" + name)));
        for (const char* db : {"desk/Brenvo.mdb", "branch0001.db"})
            QCOMPARE(shared.rows(db, where + " AND UploadStatus = '1'"), QStringList{"1"});
    }

    void killedWhileChecking()
    {
        // A crash left a day of voice files without rows; the login's check
        // is killed while it writes them, again and again.
        ProgramFolderFixture f;
        FtpServer ftp;
        const QString day = QDate::currentDate().addDays(-2).toString("yyyyMMdd");
        QVERIFY(QDir().mkpath(f.path("RECDATA/" + day)));
        QStringList names;
        for (int i = 0; i < 150; ++i) {
            names << day + QString::number(100000 + i) + "0001kim.vox";
            QFile file(f.path("RECDATA/" + day + "/" + names.last()));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4000, '\x33')) > 0);
        }
        const QString count =
            "SELECT count(*), sum(R_Time = '1') FROM recfile WHERE FolderName = '" + day + "'";
        // A slow server keeps the agent busy long enough to be killed.
        ftp.setFault("slow:64");
        for (int delay : {150, 400}) {
            QProcess agent;
            QVERIFY(startAgent(agent, f.path(), f.path("branch0001.db"), ftp.port(), -1, "CHECKING")
                        .contains("CHECKING"));
            QTest::qWait(delay);
            kill(agent);
            // Whatever was written is whole: every local row has its length.
            const QStringList local = f.rows("Brenvo.mdb", count);
            QCOMPARE(local.value(0).section(u'|', 0, 0), local.value(0).section(u'|', 1, 1));
        }
        ftp.setFault("");
        QProcess last;
        QVERIFY(startAgent(last, f.path(), f.path("branch0001.db"), ftp.port(), -1, "UPLOADED")
                    .contains("UPLOADED"));
        const QString sent =
            "SELECT count(*) FROM recfile WHERE FolderName = '" + day + "' AND UploadStatus = '1'";
        for (const char* db : {"Brenvo.mdb", "branch0001.db"})
            QCOMPARE(f.rows(db, sent), QStringList{"150"});
        for (const QString& name : names)
            QCOMPARE(QFileInfo(ftp.remoteFile(day + "/" + name)).size(), 4000);
    }

    void killedWhileCompacting()
    {
        ProgramFolderFixture f;
        QVERIFY(f.exec("Brenvo.mdb", "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 "
                                     "FROM n WHERE k < 20000) INSERT INTO recfile (R_Path, tMemo) "
                                     "SELECT 'k' || k || '.vox', hex(randomblob(40)) FROM n"));
        const QStringList rows = f.rows("Brenvo.mdb", "SELECT count(*), sum(length(tMemo)) FROM "
                                                      "recfile");
        LocalFileRotation rotation(f.db);
        for (int delay : {0, 7, 23, 61, 150}) {
            QProcess agent;
            QVERIFY(startAgent(agent, f.path(), f.path("branch0001.db"), 21, -2, "COMPACTING")
                        .contains("COMPACTING"));
            QTest::qWait(delay);
            kill(agent);
            rotation.RecoverLocalDB();
            QCOMPARE(f.rows("Brenvo.mdb", "PRAGMA integrity_check"), QStringList{"ok"});
            QCOMPARE(f.rows("Brenvo.mdb", "SELECT count(*), sum(length(tMemo)) FROM recfile"),
                     rows);
        }
    }
};

QTEST_GUILESS_MAIN(TestKilled)
#include "tst_killed.moc"
