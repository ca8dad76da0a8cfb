#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QTest>

#include "FtpServer.h"
#include "ProgramFolderFixture.h"

// Ten agents on one branch database, each its own process with its own
// program folder, phone line and recordings, take calls and save results at
// the same moment. Nothing may be counted twice or lost.
class TestManyAgents : public QObject
{
    Q_OBJECT

    struct Agent
    {
        QString id, privilege, folder;
        QStringList customers;
        QProcess process;
        QStringList saved; // "<customer> <voice file>"
    };

private slots:
    void tenAgentsAtOnce()
    {
        const int asked = qEnvironmentVariableIntValue("BRENVO_FAULT_AGENT_SECONDS");
        const int seconds = asked > 0 ? asked : 30;
        ProgramFolderFixture shared;
        QVERIFY2(shared.isValid(), qPrintable(shared.error()));
        FtpServer ftp;
        QVERIFY2(ftp.isRunning(), qPrintable(ftp.errorString()));
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
        QElapsedTimer clock;
        clock.start();
        for (auto& a : agents) {
            a->process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            a->process.start(qEnvironmentVariable("BRENVO_BUILD_DIR") +
                                 "/tests/faults/agent/brenvo-fault-agent",
                             QStringList{a->folder, shared.path(db), a->id, a->privilege,
                                         QString::number(ftp.port()), QString::number(seconds)} +
                                 a->customers);
        }
        for (auto& a : agents) {
            QVERIFY2(a->process.waitForFinished((seconds + 60) * 1000), qPrintable(a->id));
            const QStringList lines = QString::fromUtf8(a->process.readAllStandardOutput())
                                          .split(u'\n', Qt::SkipEmptyParts);
            for (const QString& line : lines) {
                QVERIFY2(line.startsWith("SAVED "), qPrintable(a->id + ": " + line));
                a->saved << line.mid(6);
            }
            QCOMPARE(a->process.exitCode(), 0);
            QVERIFY2(a->saved.size() >= 3, qPrintable(a->id));
        }
        qInfo("%lld ms", clock.elapsed());

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
        QCOMPARE(shared.rows(db, "SELECT sum(workcount) " + thisMonth),
                 QStringList{QString::number(workBefore + total)});
        QCOMPARE(shared.rows(db, "SELECT count(*) " + thisMonth), QStringList{"1"});
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

QTEST_GUILESS_MAIN(TestManyAgents)
#include "tst_manyagents.moc"
