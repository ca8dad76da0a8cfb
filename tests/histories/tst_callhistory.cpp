#include <QTest>

#include "HistoryDesk.h"

class TestCallHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    // The logged-in agent, then the filters: status, agent, field, text, day.
    void search_data()
    {
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("where");
        const QString today = HistoryDesk::today();
        const QString base =
            "gogakinfo where TeamID = '01' and RegDate = '" + today + "' and Status <> '0'";
        QTest::newRow("all statuses still skip new")
            << QStringList{"kim", "99", "99", "", "", today} << base;
        QTest::newRow("privilege 12 filters AgentID")
            << QStringList{"kim", "99", "choi", "", "", today} << base + " and AgentID = 'choi'";
        QTest::newRow("privilege 11 filters AgentID_1")
            << QStringList{"lee", "99", "lee", "", "", today} << base + " and AgentID_1 = 'lee'";
        QTest::newRow("one status")
            << QStringList{"kim", "7", "99", "", "", today} << base + " and Status = '7'";
        QTest::newRow("office number") << QStringList{"kim", "99", "99", "전화번호2", "02", today}
                                       << base + " and OfficeNumber like '%02%'";
        QTest::newRow("quote and comment")
            << QStringList{"kim", "99", "99", "고객성명", "김'--;", today} << base + " and 1 = 0";
        QTest::newRow("another day")
            << QStringList{"kim", "99", "99", "", "", "2001-01-01"} << base + " and 1 = 0";
    }

    void search()
    {
        QFETCH(QStringList, filters);
        QFETCH(QString, where);
        HistoryDesk d(filters[0]);
        // Customers that lee, a reception agent, handed on keep lee in AgentID_1.
        QVERIFY(
            d.f.exec("branch0001.db", "UPDATE gogakinfo SET AgentID_1 = 'lee' WHERE ID % 6 = 0"));
        d.calls.GetRecHist2(filters[5], filters[5], filters[1], filters[2], filters[3], filters[4],
                            "01");

        QCOMPARE(d.f.messages.messages.size(), 0);
        SpreadModel& grid = d.calls.SprCallHist();
        QCOMPARE(grid.MaxRows(), d.centralCount(where));
        for (int r = 1; r <= grid.MaxRows(); ++r)
            QVERIFY(!grid.text(3, r).isEmpty() && grid.text(18, r).toInt() > 0);
        if (grid.MaxRows() > 0) {
            d.calls.SprCallHist_Click(1, 1);
            QCOMPARE(d.panel.value(CustomerPanel::txtCustID), grid.text(18, 1));
        }
    }

    void statementText()
    {
        if (!HistoryDesk::journalled())
            QSKIP("BRENVO_SQL_JOURNAL is not set");
        HistoryDesk d;
        d.calls.GetRecHist2("2026-01-02", "2026-01-03", "3", "kim", "주민번호", "80", "01");
        QCOMPARE(
            HistoryDesk::lastStatement(),
            " select ID,Name,JuminNo,Status,MobileNumber,OfficeNumber,OfficePost,OfficeAddress1,"
            "OfficeAddress2,HomePost,HomeAddress1,HomeAddress2,blank1,blank2,blank3,blank4,blank5,"
            "blank6 from gogakinfo where TeamID ='01' and RegDate between '2026-01-02' and "
            "'2026-01-03' and AgentID ='kim' and Status ='3'and JuminNo like '%80%' and Status "
            "<>'0'");
    }
};

QTEST_GUILESS_MAIN(TestCallHistory)
#include "tst_callhistory.moc"
