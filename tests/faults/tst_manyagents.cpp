#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
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
        QString id;
        QString privilege;
        QString folder;
        QStringList customers;
        QProcess process;
        QStringList saved; // "<customer> <voice file>"
    };

    static QString agentExecutable()
    {
        return qEnvironmentVariable("BRENVO_BUILD_DIR") +
               QStringLiteral("/tests/faults/agent/brenvo-fault-agent");
    }

private slots:
    void tenAgentsAtOnce()
    {
        const int seconds = qEnvironmentVariableIntValue("BRENVO_FAULT_AGENT_SECONDS") > 0
                                ? qEnvironmentVariableIntValue("BRENVO_FAULT_AGENT_SECONDS")
                                : 30;
        ProgramFolderFixture shared;
        QVERIFY2(shared.isValid(), qPrintable(shared.error()));
        FtpServer ftp;
        QVERIFY2(ftp.isRunning(), qPrintable(ftp.errorString()));
        const QString central = shared.path(QStringLiteral("branch0001.db"));
        const QString db = QStringLiteral("branch0001.db");
        QVERIFY(shared.exec(db, "DELETE FROM tb_autoDistribute"));
        const QString month = QDate::currentDate().toString("yyyyMM");
        const int workBefore =
            shared
                .rows(db, "SELECT coalesce(sum(workcount), 0) FROM tb_branchworkcount WHERE "
                          "branchid = '0001' AND tmonth = '" +
                              month + "'")
                .value(0)
                .toInt();

        std::vector<std::unique_ptr<Agent>> agents;
        for (int i = 0; i < 10; ++i) {
            auto a = std::make_unique<Agent>();
            a->id = QStringLiteral("fa%1").arg(i);
            a->privilege = i % 2 ? QStringLiteral("11") : QStringLiteral("12");
            a->folder = shared.path(a->id);
            QVERIFY(shared.exec(
                db, "INSERT INTO AgentLogin (BranchID, TeamID, AgentID, "
                    "Agent_Passwd, UserName, Agent_Privilege, tDel) VALUES ('0001', "
                    "'01', '" +
                        a->id + "', '1234', '" + a->id + "', '" + a->privilege + "', 'N')"));
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
            a->process.start(agentExecutable(),
                             QStringList{a->folder, central, a->id, a->privilege,
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
        QSet<QString> receivers;
        for (auto& a : agents) {
            total += a->saved.size();
            QCOMPARE(shared.rows(db, "SELECT sum(RecCnt) FROM TB_AGENTCALLSTATISTICS WHERE AgentID "
                                     "= '" +
                                         a->id + "'"),
                     QStringList{QString::number(a->saved.size())});
            for (const QString& s : a->saved) {
                const QString customer = s.section(u' ', 0, 0), voice = s.section(u' ', 1, 1);
                const QString owner =
                    shared.rows(db, "SELECT AgentID FROM gogakinfo WHERE ID = " + customer)
                        .value(0);
                if (a->privilege == "11") {
                    ++handedOn;
                    QVERIFY2(owner.startsWith("fa") || owner == "kim" || owner == "choi",
                             qPrintable(customer + " went to '" + owner + "'"));
                    receivers << owner;
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
        QCOMPARE(shared.rows(db, "SELECT sum(workcount) FROM tb_branchworkcount WHERE branchid = "
                                 "'0001' AND tmonth = '" +
                                     month + "'"),
                 QStringList{QString::number(workBefore + total)});
        QCOMPARE(shared.rows(db, "SELECT count(*) FROM tb_branchworkcount WHERE branchid = '0001' "
                                 "AND tmonth = '" +
                                     month + "'"),
                 QStringList{"1"});
        // Every customer handed on is counted once, for the agent that got it,
        // and the counts stay even: nobody is picked on stale counts.
        QCOMPARE(shared.rows(db, "SELECT coalesce(sum(DistributeCnt), 0) FROM tb_autoDistribute"),
                 QStringList{QString::number(handedOn)});
        for (const QString& r : receivers) {
            const int got = shared
                                .rows(db, "SELECT sum(DistributeCnt) FROM tb_autoDistribute "
                                          "WHERE AgentID = '" +
                                              r + "'")
                                .value(0)
                                .toInt();
            int owned = 0;
            for (auto& a : agents)
                if (a->privilege == "11")
                    for (const QString& s : a->saved)
                        owned += shared
                                     .rows(db, "SELECT AgentID FROM gogakinfo WHERE ID = " +
                                                   s.section(u' ', 0, 0))
                                     .value(0) == r;
            QCOMPARE(got, owned);
        }
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
