#include <QTest>

#include "login/AgentStatus.h"
#include "ProgramFolderFixture.h"

class TestAgentStatus : public QObject
{
    Q_OBJECT

    struct Agent
    {
        ProgramFolderFixture f;
        AgentStatus status{f.db, f.messages};
        Agent() { f.loginAs("kim"); }
    };

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    // Today's rows of the agent: (AgentID, RecDate or '' for today, Status, RecBound, RecCnt,
    // RecDuration); another day or another agent does not count.
    void statisticsLine_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << QStringList() << "금일: 0 (인: 0 , 아웃: 0)  통화시간: 00:00:00";
        QTest::newRow("in and out")
            << QStringList{"'kim', '', '1', 2, 2, 300", "'kim', '', '4', 2, 1, 0",
                           "'kim', '', '3', 1, 2, 454"}
            << "금일: 5 (인: 3 , 아웃: 2)  통화시간: 00:12:34";
        QTest::newRow("other day and agent")
            << QStringList{"'kim', '', '1', 1, 4, 70", "'kim', '2001-01-01', '1', 2, 9, 9",
                           "'choi', '', '1', 2, 9, 9"}
            << "금일: 4 (인: 0 , 아웃: 4)  통화시간: 00:01:10";
        // RecBound stored as text with blanks still counts as outbound.
        QTest::newRow("bound as text") << QStringList{"'kim', '', '1', ' 1 ', 3, 30"}
                                       << "금일: 3 (인: 0 , 아웃: 3)  통화시간: 00:00:30";
        QTest::newRow("Null duration") << QStringList{"'kim', '', '1', 1, 3, NULL"} << "";
    }
    void statisticsLine()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, line);
        Agent a;
        QVERIFY(a.f.exec("branch0001.db", "delete from TB_AGENTCALLSTATISTICS"));
        const QString today = a.f.db.GetNowDate().left(10);
        for (const QString& row : rows)
            QVERIFY(a.f.exec("branch0001.db",
                             "insert into TB_AGENTCALLSTATISTICS (AgentID, RecDate, Status, "
                             "RecBound, RecCnt, RecDuration, BranchID, TeamID) values (" +
                                 QString(row).replace("''", "'" + today + "'") +
                                 ", '0001', '01')"));
        QCOMPARE(a.status.GetAgentStatistics(), line);
        if (line.isEmpty()) {
            QCOMPARE(a.f.messages.errorBlocks(), 1);
            QVERIFY(a.f.messages.texts().first().contains(
                "ERROR LOCATION    : Frm100000\r\nERROR FUNCTION    : GetAgentStatistics"));
            return;
        }
        QVERIFY(a.f.messages.messages.isEmpty());
        QCOMPARE(a.status.windowTitle(), "Brenvo-김민수-(kim)-" + line);
    }

    void loginFlags()
    {
        Agent a;
        const auto row = [&a](const char* agent) {
            return a.f
                .rows("branch0001.db",
                      QString("select Login, Status, AgentIp from AgentLogin where "
                              "AgentID = '%1'")
                          .arg(agent))
                .value(0);
        };
        QVERIFY(a.status.SetLoginANDStatus("1", "1"));
        QVERIFY(row("kim").startsWith("1|1|"));
        QVERIFY(a.status.SetLoginANDStatus("0", "0"));
        QVERIFY(row("kim").startsWith("0|0|"));
        QVERIFY2(row("choi").startsWith("0|"), "other agents are untouched");

        if (a.f.backend() == Backend::SqlServer)
            return; // the server's tables are not ours to drop
        QVERIFY(a.f.exec("branch0001.db", "drop table AgentLogin"));
        QVERIFY(!a.status.SetLoginANDStatus("1", "0"));
        QVERIFY(a.f.messages.texts().last().contains(
            "ERROR LOCATION    : MUserFuncNProc\r\nERROR FUNCTION    : SetLoginANDStatus"));
    }
};

QTEST_GUILESS_MAIN(TestAgentStatus)
#include "tst_agentstatus.moc"
