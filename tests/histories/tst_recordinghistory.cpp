#include <QSignalSpy>
#include <QTest>

#include "HistoryDesk.h"

class TestRecordingHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    // Filters as the search button passes them: status, agent, field, text, day.
    void search_data()
    {
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("where");
        const QString today = HistoryDesk::today();
        const QString team = "recfile where TeamID = '01' and RegDate = '" + today + "'";
        QTest::newRow("today, all") << QStringList{"99", "99", "", "", today} << team;
        QTest::newRow("one agent")
            << QStringList{"99", "kim", "", "", today} << team + " and AgentID = 'kim'";
        QTest::newRow("agent without recordings")
            << QStringList{"99", "lee", "", "", today} << team + " and AgentID = 'lee'";
        QTest::newRow("one status")
            << QStringList{"5", "99", "", "", today} << team + " and Status = '5'";
        QTest::newRow("name") << QStringList{"99", "99", "고객성명", "김", today}
                              << team + " and Name like '%김%'";
        QTest::newRow("field without text")
            << QStringList{"99", "99", "주민번호", "", today} << team;
        QTest::newRow("unknown field") << QStringList{"99", "99", "상담원", "kim", today} << team;
        QTest::newRow("quote in the text") << QStringList{"99", "99", "고객성명", "O'Neil", today}
                                           << team + " and Name like '%O''Neil%'";
        QTest::newRow("another day")
            << QStringList{"99", "99", "", "", "2001-01-01"} << team + " and 1 = 0";
    }

    void search()
    {
        QFETCH(QStringList, filters);
        QFETCH(QString, where);
        HistoryDesk d;
        QVERIFY(
            d.f.exec("branch0001.db",
                     "INSERT INTO recfile (TeamID, AgentID, Name, RegDate, Status, R_Path) VALUES "
                     "('01', 'kim', '김''철 O''Neil', '" +
                         HistoryDesk::today() + "', '1', 'q.vox')"));
        SpreadModel& grid = d.recordings.SprRecHist();
        d.recordings.GetRecHist(filters[4], filters[4], filters[0], filters[1], filters[2],
                                filters[3], "01");

        QCOMPARE(d.f.messages.messages.size(), 0);
        QCOMPARE(grid.MaxRows(), d.centralCount(where));
        for (int r = 1; r <= grid.MaxRows(); ++r) {
            QVERIFY(r == 1 || grid.text(1, r - 1).toInt() > grid.text(1, r).toInt());
            QVERIFY(!grid.text(9, r).isEmpty());
            QCOMPARE(grid.text(9, r),
                     HostUtils::GetTermName(d.lookups.cmbTerm(), grid.text(19, r)));
        }
        QVERIFY(!d.f.db.SQLConnected());
    }

    void statementText()
    {
        if (!HistoryDesk::journalled())
            QSKIP("BRENVO_SQL_JOURNAL is not set");
        HistoryDesk d;
        d.recordings.GetRecHist("2026-01-02", "2026-01-02", "5", "kim", "고객성명", "O'Neil", "01");
        QCOMPARE(
            HistoryDesk::lastStatement(),
            " select ID,BranchID,BranchName,TeamID,AgentID,Name,JuminNo,DataType,CampaignID,"
            "RegDate,Policy_No,Listen_ID,Listen_Result,Liesten_Date,R_Tel,RecBound,Status,R_Date,"
            "R_StartTime ,R_EndTime,R_Time,FolderName,R_Path,CustID,FreeInsu ,UploadStatus,SendOff "
            ",DvdBackup,RecfileCopy,Memo,Ins_Date from recfile where TeamID ='01' and RegDate "
            "between '2026-01-02' and '2026-01-02' and AgentID ='kim' and Status ='5'and Name like "
            "'%O''Neil%' order by id desc");
    }

    void byCustomerAndOverflow()
    {
        HistoryDesk d;
        SpreadModel& grid = d.recordings.SprRecHist();
        const QString custId = d.central("select top 1 CustID from recfile").value(0);
        d.recordings.GetRecHistByID(custId);
        QCOMPARE(grid.MaxRows(), d.centralCount("recfile where CustID = '" + custId + "'"));
        QCOMPARE(grid.text(18, 1), custId);
        if (d.f.backend() == Backend::SqlServer)
            QSKIP("the rows are made by SQLite's recursive query");

        // 32,767 rows is the most a list holds; one more fails before any row.
        QVERIFY(d.f.exec(
            "branch0001.db",
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32767) "
            "INSERT INTO recfile (TeamID, CustID, R_Path, Status) "
            "SELECT '01', 'MANY', 'many' || i || '.vox', '1' FROM n"));
        d.recordings.GetRecHistByID("MANY");
        QCOMPARE(grid.MaxRows(), SpreadModel::kMaxRows);
        QCOMPARE(grid.text(9, 1), QStringLiteral("부재중"));
        QVERIFY(d.f.exec(
            "branch0001.db",
            "INSERT INTO recfile (TeamID, CustID, R_Path) VALUES ('01', 'MANY', 'x.vox')"));
        d.recordings.GetRecHistByID("MANY");
        QCOMPARE(grid.MaxRows(), 0);
        QCOMPARE(d.f.messages.errorBlocks(), 1);
        const QString block = d.f.messages.texts().value(0);
        for (const char* part :
             {"Overflow", "Frm100000", "GetRecHistByID", " where custID ='MANY'"})
            QVERIFY2(block.contains(QString::fromUtf8(part)), part);
        QVERIFY(!d.f.db.SQLConnected());
    }

    void filterLists()
    {
        HistoryDesk d;
        const QList<ComboItem> statuses = RecordingHistory::SetCmbHistStatus(d.lookups.cmbTerm());
        QCOMPARE(statuses.size(), 8);
        QCOMPARE(statuses.at(0).text + u'=' + QString::number(statuses.at(0).itemData), "전체=99");
        QCOMPARE(statuses.at(1).text, QStringLiteral("부재중"));

        // Letter ids filter by their text; a numeric id by its value, so 99 still means all.
        QVERIFY(d.f.exec("branch0001.db",
                         "INSERT INTO AgentLogin (BranchID, AgentID, UserName, tDel) "
                         "VALUES ('0001', '99', '구십구', 'N')"));
        QStringList entries;
        for (const AgentComboItem& item : d.recordings.SetCmbRecAgent())
            entries << item.text + u'=' + QString::number(item.itemData) + u'/' + item.filter;
        QCOMPARE(entries, QStringList({"전체=99/99", "kim | 김민수=0/kim", "lee | 이서연=0/lee",
                                       "choi | 최지훈=0/choi", "park | 박준영=0/park",
                                       "99 | 구십구=99/99"}));
        QCOMPARE(RecordingHistory::findAgentIndex(d.recordings.SetCmbRecAgent(), "choi"), 3);
        QCOMPARE(RecordingHistory::findAgentIndex(d.recordings.SetCmbRecAgent(), "jung"), 0);
    }

    void clicks()
    {
        HistoryDesk d;
        SpreadModel& grid = d.recordings.SprRecHist();
        QString memo;
        for (int i = 0; i < 4000; ++i)
            memo += QChar(0xAC00 + i * 7 % 11172);
        QVERIFY(d.f.exec("branch0001.db",
                         "UPDATE recfile SET Memo = '" + memo + "', CustID = '' WHERE ID = 1"));
        d.recordings.GetRecHist(HistoryDesk::today(), HistoryDesk::today(), "99", "99", "", "",
                                "01");
        QSignalSpy memoShown(&d.recordings, &RecordingHistory::memoShown);
        d.recordings.SprRecHist_Click(3, grid.MaxRows());
        QCOMPARE(memoShown.value(0).value(0).toString(), memo);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), QString());
        d.recordings.SprRecHist_Click(3, 1);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), grid.text(18, 1));

        // Each header click flips the one sort order, also across columns.
        d.recordings.SprRecHist_Click(2, 0);
        QVERIFY(grid.text(2, 1) < grid.text(2, grid.MaxRows()));
        d.recordings.SprRecHist_Click(2, 0);
        QVERIFY(grid.text(2, 1) > grid.text(2, grid.MaxRows()));
        d.recordings.SprRecHist_Click(1, 0);
        QVERIFY(grid.text(1, 1) < grid.text(1, 2));
        QCOMPARE(memoShown.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRecordingHistory)
#include "tst_recordinghistory.moc"
