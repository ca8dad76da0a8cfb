#include <QTest>

#include "login/AgentStatus.h"
#include "ProgramFolderFixture.h"

class TestAgentStatus : public QObject
{
    Q_OBJECT

    static void setStatistics(ProgramFolderFixture& f, const QStringList& rows)
    {
        QVERIFY(f.exec("branch0001.db", "delete from TB_AGENTCALLSTATISTICS"));
        const QString today = f.db.GetNowDate().left(10);
        for (const QString& row : rows)
            QVERIFY(
                f.exec("branch0001.db",
                       "insert into TB_AGENTCALLSTATISTICS (BranchID, TeamID, AgentID, RecDate, "
                       "Status, RecBound, RecCnt, RecDuration) values ('0001', '01', 'kim', '" +
                           today + "', " + row + ")"));
    }

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void statisticsLine()
    {
        ProgramFolderFixture f;
        f.loginAs("kim");
        AgentStatus status(f.db, f.messages);

        setStatistics(f, {});
        QCOMPARE(status.GetAgentStatistics(),
                 QStringLiteral("금일: 0 (인: 0 , 아웃: 0)  통화시간: 00:00:00"));

        setStatistics(f, {"'1', 2, 2, 300", "'4', 2, 1, 0", "'3', 1, 2, 454"});
        QCOMPARE(status.GetAgentStatistics(),
                 QStringLiteral("금일: 5 (인: 3 , 아웃: 2)  통화시간: 00:12:34"));
        QCOMPARE(
            status.windowTitle(),
            QStringLiteral("Brenvo-김민수-(kim)-금일: 5 (인: 3 , 아웃: 2)  통화시간: 00:12:34"));

        setStatistics(f, {"'1', 1, 4, 70"});
        QCOMPARE(status.GetAgentStatistics(),
                 QStringLiteral("금일: 4 (인: 0 , 아웃: 4)  통화시간: 00:01:10"));

        // Another day or another agent does not count.
        QVERIFY(f.exec("branch0001.db", "insert into TB_AGENTCALLSTATISTICS values "
                                        "('0001','01','kim','2001-01-01','1',2,9,9)"));
        QVERIFY(f.exec("branch0001.db",
                       "insert into TB_AGENTCALLSTATISTICS values ('0001','01','choi','" +
                           f.db.GetNowDate().left(10) + "','1',2,9,9)"));
        QCOMPARE(status.GetAgentStatistics(),
                 QStringLiteral("금일: 4 (인: 0 , 아웃: 4)  통화시간: 00:01:10"));
        QVERIFY(f.messages.messages.isEmpty());
    }

    void statisticsFailures()
    {
        ProgramFolderFixture f;
        f.loginAs("kim");
        AgentStatus status(f.db, f.messages);
        // RecBound stored as text with blanks still counts as outbound.
        QVERIFY(f.exec("branch0001.db", "delete from TB_AGENTCALLSTATISTICS"));
        QVERIFY(f.exec("branch0001.db",
                       "insert into TB_AGENTCALLSTATISTICS values ('0001','01','kim','" +
                           f.db.GetNowDate().left(10) + "','1',' 1 ',3,30)"));
        QCOMPARE(status.GetAgentStatistics(),
                 QStringLiteral("금일: 3 (인: 0 , 아웃: 3)  통화시간: 00:00:30"));

        QVERIFY(f.exec("branch0001.db", "update TB_AGENTCALLSTATISTICS set RecDuration = NULL"));
        QCOMPARE(status.GetAgentStatistics(), QString());
        QCOMPARE(f.messages.errorBlocks(), 1);
        QVERIFY(f.messages.texts().first().contains(
            "ERROR LOCATION    : Frm100000\r\nERROR FUNCTION    : GetAgentStatistics"));
    }

    void loginFlags()
    {
        ProgramFolderFixture f;
        f.loginAs("kim");
        AgentStatus status(f.db, f.messages);
        QVERIFY(status.SetLoginANDStatus("1", "1"));
        const QString row =
            f.rows("branch0001.db",
                   "select Login, Status, AgentIp from AgentLogin where AgentID='kim'")
                .value(0);
        QVERIFY(row.startsWith("1|1|"));
        QVERIFY(status.SetLoginANDStatus("0", "0"));
        QVERIFY(f.rows("branch0001.db", "select Login, Status from AgentLogin where AgentID='kim'")
                    .value(0) == "0|0");
        // Other agents are untouched.
        QCOMPARE(
            f.rows("branch0001.db", "select Login from AgentLogin where AgentID='choi'").value(0),
            QStringLiteral("0"));

        if (f.backend() == Backend::SqlServer)
            return; // the server's tables are not ours to drop
        QVERIFY(f.exec("branch0001.db", "drop table AgentLogin"));
        QVERIFY(!status.SetLoginANDStatus("1", "0"));
        QVERIFY(f.messages.texts().last().contains(
            "ERROR LOCATION    : MUserFuncNProc\r\nERROR FUNCTION    : SetLoginANDStatus"));
    }
};

QTEST_GUILESS_MAIN(TestAgentStatus)
#include "tst_agentstatus.moc"
