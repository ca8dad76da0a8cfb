#include <csignal>
#include <QDate>
#include <QHash>
#include <QProcess>
#include <QTest>

#include "FtpServer.h"
#include "platform/VoxFile.h"
#include "ProgramFolderFixture.h"
#include "telephony/RecordingReconciliation.h"

// The desk as an agent process of its own: killed outright (SIGKILL: no
// handler, no clean-up) in the middle of what it must never lose, after
// which the next start finds everything; and ten of them on one branch
// database at once, taking calls and saving results at the same moment,
// where nothing may be counted twice or lost.
class TestAgents : public QObject
{
    Q_OBJECT

    struct Agent
    {
        QString id, privilege, folder;
        QStringList customers, saved; // saved: "<customer> <voice file>" each
        QProcess process;
    };

    static void start(QProcess& agent, const QStringList& arguments)
    {
        agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agent.start(qEnvironmentVariable("BRENVO_BUILD_DIR") +
                        "/tests/faults/agent/brenvo-fault-agent",
                    arguments);
    }
    // Starts kim's agent on folder and returns its output up to `until`.
    static QString startAgent(QProcess& agent, const QString& folder, const QString& central,
                              int ftpPort, int mode, const QString& until)
    {
        start(agent,
              {folder, central, "kim", "12", QString::number(ftpPort), QString::number(mode), "1"});
        QString seen;
        // The caller checks what was seen; a time-out shows there.
        static_cast<void>(QTest::qWaitFor(
            [&] {
                seen += QString::fromUtf8(agent.readAllStandardOutput());
                return seen.contains(until) || agent.state() == QProcess::NotRunning;
            },
            20000));
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
        const QString central = shared.path("branch0001.db"), folder = shared.path("desk");
        const QString counted =
            "SELECT coalesce(sum(RecCnt), 0) FROM tb_agentcallstatistics WHERE AgentID = 'kim'";
        const int calls = shared.rows("branch0001.db", counted).value(0).toInt();
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

        // The next login asks for its result, completes both rows from the
        // file, then sends it and marks them.
        QProcess next;
        QVERIFY(startAgent(next, folder, central, ftp.port(), -1, "UPLOADED").contains("UPLOADED"));
        QVERIFY(QTest::qWaitFor([&] { return next.state() == QProcess::NotRunning; }, 10000));
        QVERIFY(QFile::exists(ftp.remoteFile(name.left(8) + "/" + name)) ||
                QFile::exists(ftp.remoteFile("TEMP/" + name.left(8) + "/" + name)));
        const QString seconds =
            QString::number(RecordingReconciliation::secondsOf(QFileInfo(path).size()));
        for (const char* db : {"desk/Brenvo.mdb", "branch0001.db"})
            QCOMPARE(shared.rows(db, where +
                                         " AND UploadStatus = '1' AND Status = '1' AND R_Time = '" +
                                         seconds + "'"),
                     QStringList{"1"});
        QCOMPARE(shared.rows("branch0001.db", counted), QStringList{QString::number(calls + 1)});
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
            QVERIFY(f.write("RECDATA/" + day + "/" + names.last(), QByteArray(4000, '\x33')));
        }
        const QString count =
            "SELECT count(*), sum(R_Time = '1') FROM recfile WHERE FolderName = '" + day + "'";
        // Rows of the day in both databases.
        const auto written = [&] {
            return f.rows("Brenvo.mdb", count) + f.rows("branch0001.db", count);
        };
        for (int round = 0; round < 2; ++round) {
            QProcess agent;
            const QStringList before = written();
            QVERIFY(startAgent(agent, f.path(), f.path("branch0001.db"), ftp.port(), -1, "CHECKING")
                        .contains("CHECKING"));
            // Killed the moment it has written another row, if it has not
            // ended by then.
            QVERIFY(QTest::qWaitFor(
                [&] { return written() != before || agent.state() != QProcess::Running; }, 20000));
            if (agent.state() == QProcess::Running)
                kill(agent);
            // Whatever was written is whole: every local row has its length.
            const QStringList local = f.rows("Brenvo.mdb", count);
            QCOMPARE(local.value(0).section(u'|', 0, 0), local.value(0).section(u'|', 1, 1));
        }
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

    void tenAgentsAtOnce()
    {
        const int seconds = 30;
        ProgramFolderFixture shared;
        FtpServer ftp;
        QVERIFY2(shared.isValid() && ftp.isRunning(),
                 qPrintable(shared.error() + ftp.errorString()));
        const QString db = QStringLiteral("branch0001.db");
        const auto value = [&](const QString& sql) { return shared.rows(db, sql).value(0); };
        QVERIFY(shared.exec(db, "DELETE FROM tb_autoDistribute"));
        const QString thisMonth = "FROM tb_branchworkcount WHERE branchid = '0001' AND tmonth = '" +
                                  QDate::currentDate().toString("yyyyMM") + "'";
        const int workBefore = value("SELECT coalesce(sum(workcount), 0) " + thisMonth).toInt();

        std::vector<std::unique_ptr<Agent>> agents;
        for (int i = 0; i < 10; ++i) {
            auto a = std::make_unique<Agent>();
            a->id = QStringLiteral("fa%1").arg(i);
            a->privilege = i % 2 ? QStringLiteral("11") : QStringLiteral("12");
            a->folder = shared.path(a->id);
            QVERIFY(shared.exec(db, QString("INSERT INTO AgentLogin (BranchID, TeamID, AgentID, "
                                            "Agent_Passwd, UserName, Agent_Privilege, tDel) "
                                            "VALUES ('0001', '01', '%1', '1234', '%1', '%2', 'N')")
                                        .arg(a->id, a->privilege)));
            QVERIFY(shared.exec(db, "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM "
                                    "n WHERE k < 200) INSERT INTO gogakinfo (BranchID, TeamID, "
                                    "AgentID, Status, CampaignID, Name) SELECT '0001', '01', '" +
                                        a->id + "', '0', '77777', 'c' || k FROM n"));
            a->customers = shared.rows(db, "SELECT ID FROM gogakinfo WHERE AgentID = '" + a->id +
                                               "' ORDER BY ID");
            agents.push_back(std::move(a));
        }
        for (auto& a : agents)
            start(a->process, QStringList{a->folder, shared.path(db), a->id, a->privilege,
                                          QString::number(ftp.port()), QString::number(seconds)} +
                                  a->customers);
        for (auto& a : agents) {
            QVERIFY2(a->process.waitForFinished((seconds + 60) * 1000), qPrintable(a->id));
            for (const QString& line : QString::fromUtf8(a->process.readAllStandardOutput())
                                           .split(u'\n', Qt::SkipEmptyParts)) {
                QVERIFY2(line.startsWith("SAVED "), qPrintable(a->id + ": " + line));
                a->saved << line.mid(6);
            }
            QCOMPARE(a->process.exitCode(), 0);
            QVERIFY2(a->saved.size() >= 3, qPrintable(a->id));
        }

        int total = 0, handedOn = 0;
        QHash<QString, int> handedTo; // receiver: customers it got
        for (auto& a : agents) {
            total += a->saved.size();
            QCOMPARE(value("SELECT sum(RecCnt) FROM TB_AGENTCALLSTATISTICS WHERE AgentID = '" +
                           a->id + "'"),
                     QString::number(a->saved.size()));
            for (const QString& s : a->saved) {
                const QString voice = s.section(u' ', 1, 1);
                const QString owner =
                    value("SELECT AgentID FROM gogakinfo WHERE ID = " + s.section(u' ', 0, 0));
                if (a->privilege == "11") {
                    ++handedOn;
                    QVERIFY2(owner.startsWith("fa") || owner == "kim" || owner == "choi",
                             qPrintable(s + " went to '" + owner + "'"));
                    ++handedTo[owner];
                } else {
                    QCOMPARE(owner, a->id);
                }
                // Both rows of every voice file, and the file itself.
                const QString where = "SELECT count(*) FROM recfile WHERE R_Path = '" + voice + "'";
                QCOMPARE(shared.rows(db, where + " AND UploadStatus = '1'"), QStringList{"1"});
                QCOMPARE(shared.rows(a->id + "/Brenvo.mdb", where), QStringList{"1"});
                QVERIFY(QFile::exists(a->folder + "/RECDATA/" + voice.left(8) + "/" + voice));
            }
            const QStringList files =
                QDir(a->folder + "/RECDATA/" + a->saved.first().section(u' ', 1, 1).left(8))
                    .entryList({"*.vox"});
            QCOMPARE(files.size(), a->saved.size());
        }
        QCOMPARE(shared.rows(db, "SELECT sum(workcount), count(*) " + thisMonth),
                 QStringList{QString::number(workBefore + total) + "|1"});
        // Every customer handed on is counted once, for the agent that got it,
        // and the counts stay even: nobody is picked on stale counts.
        QCOMPARE(shared.rows(db, "SELECT coalesce(sum(DistributeCnt), 0) FROM tb_autoDistribute"),
                 QStringList{QString::number(handedOn)});
        for (auto it = handedTo.cbegin(); it != handedTo.cend(); ++it)
            QCOMPARE(value("SELECT sum(DistributeCnt) FROM tb_autoDistribute WHERE AgentID = '" +
                           it.key() + "'")
                         .toInt(),
                     it.value());
        // An agent without a row yet has none.
        const QStringList spread = shared.rows(
            db,
            "SELECT DistributeDate || '|' || (max(DistributeCnt) - CASE WHEN count(*) < (SELECT "
            "count(*) FROM AgentLogin WHERE Agent_Privilege = '12' AND tDel = 'N') THEN 0 ELSE "
            "min(DistributeCnt) END) FROM tb_autoDistribute GROUP BY DistributeDate");
        for (const QString& row : spread)
            QVERIFY2(row.section(u'|', 1, 1).toInt() <= 1, qPrintable(row));
    }
};

QTEST_GUILESS_MAIN(TestAgents)
#include "tst_agents.moc"
