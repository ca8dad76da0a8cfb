#include <QSignalSpy>
#include <QTest>

#include "HistoryDesk.h"
#include "platform/VoxFile.h"

enum class Grid
{
    Calls,
    Recordings
};
Q_DECLARE_METATYPE(Grid)

// The call and recording histories (their searches, clicks and lists) and
// the local recordings.
class TestHistories : public QObject
{
    Q_OBJECT

    static QString today() { return QDate::currentDate().toString(Qt::ISODate); }

    // Of filters "status|agent|field|text|from|to": the days, today unless
    // given, `to` is `from` unless given.
    static std::pair<QString, QString> days(const QString& filters)
    {
        const QString from =
            filters.section(u'|', 4, 4).isEmpty() ? today() : filters.section(u'|', 4, 4);
        const QString to = filters.section(u'|', 5, 5);
        return {from, to.isEmpty() ? from : to};
    }
    // Searches as the grid's button does.
    static SpreadModel& search(HistoryDesk& d, Grid grid, const QString& filters)
    {
        const QStringList s = filters.split(u'|');
        const auto [from, to] = days(filters);
        if (grid == Grid::Calls) {
            d.calls.GetRecHist2(from, to, s[0], s[1], s[2], s[3], "01");
            d.f.answered();
            return d.calls.SprCallHist();
        }
        d.recordings.GetRecHist(from, to, s[0], s[1], s[2], s[3], "01");
        d.f.answered();
        return d.recordings.SprRecHist();
    }

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void search_data()
    {
        QTest::addColumn<Grid>("grid");
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("filters");
        QTest::addColumn<QString>("where");
        const auto row = [](Grid g, const char* name, const char* filters, const char* where,
                            const char* agent = "kim") {
            QTest::addRow("%s: %s", g == Grid::Calls ? "calls" : "recordings", name)
                << g << QString(agent) << QString(filters) << QString(where);
        };
        for (const Grid g : {Grid::Calls, Grid::Recordings}) {
            row(g, "all statuses", "99|99|||", "");
            row(g, "one agent", "99|kim|||", " and AgentID = 'kim'");
            row(g, "agent without recordings", "99|lee|||", " and AgentID = 'lee'");
            row(g, "one status", "5|99|||", " and Status = '5'");
            row(g, "name", "99|99|고객성명|김|", " and Name like '%김%'");
            row(g, "field without text", "99|99|주민번호||", "");
            row(g, "unknown field", "99|99|상담원|kim|", "");
            row(g, "quote in the text", "99|99|고객성명|O'Neil|", " and Name like '%O''Neil%'");
            row(g, "another day", "99|99|||2001-01-01", "");
            row(g, "days up to another", "99|99|||2001-01-01|2100-01-01", "");
            row(g, "social id", "99|99|주민번호|80|", " and JuminNo like '%80%'");
        }
        row(Grid::Calls, "reception: AgentID_1", "99|lee|||", " and AgentID_1 = 'lee'", "lee");
        row(Grid::Calls, "office number", "99|99|전화번호2|02|", " and OfficeNumber like '%02%'");
    }

    void search()
    {
        QFETCH(Grid, grid);
        QFETCH(QString, agent);
        QFETCH(QString, filters);
        QFETCH(QString, where);
        HistoryDesk d(agent);
        // Customers that lee, a reception agent, handed on keep lee in AgentID_1.
        QVERIFY(
            d.f.exec("branch0001.db", "UPDATE gogakinfo SET AgentID_1 = 'lee' WHERE ID % 6 = 0"));
        QVERIFY(
            d.f.exec("branch0001.db", "INSERT INTO recfile (TeamID, AgentID, Name, RegDate, "
                                      "Status, R_Path) VALUES ('01', 'kim', '김''철 O''Neil', '" +
                                          today() + "', '1', 'q.vox')"));
        SpreadModel& rows = search(d, grid, filters);

        QCOMPARE(d.f.messages.messages.size(), 0);
        const bool calls = grid == Grid::Calls;
        const QString table = calls ? "gogakinfo" : "recfile";
        const auto [from, to] = days(filters);
        const QString base =
            " where TeamID = '01' and RegDate between '" + from + "' and '" + to + "'";
        QCOMPARE(QString::number(rows.MaxRows()),
                 d.central("select count(*) from " + table + base + where +
                           (calls ? " and Status <> '0'" : ""))
                     .value(0));
        const int id = calls ? int(CallHistory::colID) : int(RecordingHistory::colID);
        const int statusText =
            calls ? int(CallHistory::colStatusText) : int(RecordingHistory::colStatusText);
        for (int r = 1; r <= rows.MaxRows(); ++r) {
            QVERIFY(!rows.text(statusText, r).isEmpty() && rows.text(id, r).toInt() > 0);
            if (calls)
                continue;
            // Newest first, and the status by its name.
            QVERIFY(r == 1 || rows.text(id, r - 1).toInt() > rows.text(id, r).toInt());
            QCOMPARE(rows.text(statusText, r),
                     HostUtils::GetTermName(d.lookups.cmbTerm(),
                                            rows.text(RecordingHistory::colStatus, r)));
        }
        QVERIFY(!d.f.db.SQLConnected());
        if (calls && rows.MaxRows() > 0) {
            d.calls.SprCallHist_Click(1, 1);
            QVERIFY(d.f.answered());
            QCOMPARE(d.panel.value(CustomerPanel::txtCustID), rows.text(id, 1));
        }
    }

    void byCustomerAndOverflow()
    {
        HistoryDesk d;
        if (d.f.backend() == Backend::SqlServer)
            QSKIP("the rows are made by SQLite's recursive query");
        SpreadModel& grid = d.recordings.SprRecHist();
        // 32,767 rows is the most a list holds; one more fails before any row.
        QVERIFY(d.f.exec(
            "branch0001.db",
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32767) "
            "INSERT INTO recfile (TeamID, CustID, R_Path, Status) "
            "SELECT '01', 'MANY', 'many' || i || '.vox', '1' FROM n"));
        d.recordings.GetRecHistByID("MANY");
        QVERIFY(d.f.answered());
        QCOMPARE(grid.MaxRows(), SpreadModel::kMaxRows);
        QCOMPARE(grid.text(RecordingHistory::colStatusText, 1), QStringLiteral("부재중"));
        QVERIFY(d.f.exec("branch0001.db", "INSERT INTO recfile (TeamID, CustID, R_Path) VALUES "
                                          "('01', 'MANY', 'x.vox')"));
        d.recordings.GetRecHistByID("MANY");
        QVERIFY(d.f.answered());
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
        QVERIFY(d.f.exec("branch0001.db", "INSERT INTO AgentLogin (BranchID, AgentID, UserName, "
                                          "tDel) VALUES ('0001', '99', '구십구', 'N')"));
        const QList<AgentComboItem> agents = d.recordings.SetCmbRecAgent();
        QStringList entries;
        for (const AgentComboItem& item : agents)
            entries << item.text + u'=' + QString::number(item.itemData) + u'/' + item.filter;
        QCOMPARE(entries, QStringList({"전체=99/99", "kim | 김민수=0/kim", "lee | 이서연=0/lee",
                                       "choi | 최지훈=0/choi", "park | 박준영=0/park",
                                       "99 | 구십구=99/99"}));
        QCOMPARE(RecordingHistory::findAgentIndex(agents, "choi"), 3);
        QCOMPARE(RecordingHistory::findAgentIndex(agents, "jung"), 0);
    }

    void recordingClicks()
    {
        HistoryDesk d;
        SpreadModel& grid = d.recordings.SprRecHist();
        const QString memo(4000, u'메');
        QVERIFY(d.f.exec("branch0001.db",
                         "UPDATE recfile SET Memo = '" + memo + "', CustID = '' WHERE ID = 1"));
        search(d, Grid::Recordings, "99|99|||");
        QSignalSpy memoShown(&d.recordings, &RecordingHistory::memoShown);
        d.recordings.SprRecHist_Click(3, grid.MaxRows());
        QCOMPARE(memoShown.value(0).value(0).toString(), memo);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), QString());
        d.recordings.SprRecHist_Click(3, 1);
        QVERIFY(d.f.answered());
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID),
                 grid.text(RecordingHistory::colCustID, 1));

        // Each header click flips the one sort order, also across columns.
        d.recordings.SprRecHist_Click(2, 0);
        QVERIFY(grid.text(2, 1) < grid.text(2, grid.MaxRows()));
        d.recordings.SprRecHist_Click(2, 0);
        QVERIFY(grid.text(2, 1) > grid.text(2, grid.MaxRows()));
        d.recordings.SprRecHist_Click(1, 0);
        QVERIFY(grid.text(1, 1) < grid.text(1, 2));
        QCOMPARE(memoShown.size(), 2);
    }

    void folderListAndLocalRows()
    {
        HistoryDesk d;
        const QString root = d.f.path("RECDATA");
        QVERIFY(QDir(root).mkpath("20260105") && QDir(root).mkpath("Temp"));
        const QStringList entries = d.local.dirLocalFile();
        QCOMPARE(entries.first(), QStringLiteral("/"));
        QCOMPARE(entries.mid(entries.size() - 3),
                 QStringList({root, root + "/20260105", root + "/Temp"}));

        const QString voice = root + "/20260105/a.vox";
        QVERIFY(VoxFile::encode(voice, QVector<qint16>(2400, 1000)));
        for (const QString& values :
             {"'홍길동', '20260105', '5', '" + voice + "', '17', 'a.vox'",
              QStringLiteral("'O''Neil', '20260105', '9', '/gone.vox', '', 'gone.vox'"),
              QStringLiteral("'김''철', 'Temp', '1', '', '', ''")})
            QVERIFY(d.f.exec("Brenvo.mdb", "INSERT INTO recfile (Name, FolderName, Status, "
                                           "FileFullPath, CustID, R_Path) VALUES (" +
                                               values + ")"));

        SpreadModel& grid = d.local.sprLocalHist();
        d.local.dirLocalFile_Click(root + "/20260105");
        QCOMPARE(grid.MaxRows(), 2);
        QCOMPARE(grid.text(6, 1) + u'|' + grid.text(17, 1), QStringLiteral("O'Neil|"));
        QCOMPARE(grid.text(17, 2) + u'|' + grid.text(24, 2), QStringLiteral("예약|17"));
        d.local.dirLocalFile_Click(root + "/Temp");
        QCOMPARE(grid.text(6, 1), QStringLiteral("김'철"));
        d.local.dirLocalFile_Click(root);
        QCOMPARE(grid.MaxRows(), 0);
        d.local.dirLocalFile_Click("20260105");
        QCOMPARE(grid.MaxRows(), 2);
        QVERIFY(!d.f.db.MDBConnected());

        d.local.sprLocalHist_DblClick(6, 1);
        QCOMPARE(d.f.messages.texts(), QStringList{"녹취파일일 없습니다"});
        QVERIFY(!d.player.isPlaying());
        d.local.sprLocalHist_DblClick(6, 2);
        QVERIFY(d.player.isPlaying());
        QCOMPARE(d.player.title(), QStringLiteral("a.vox"));
        QCOMPARE(d.player.lengthMs(), 300);
        d.player.stop();
        QVERIFY(!d.player.isPlaying());
        QCOMPARE(d.central("SELECT AgentID, BranchID, R_Path, AccessKind, substr(AccessTime, 1, "
                           "10) FROM TB_RECACCESS"),
                 QStringList{"kim|0001|a.vox|played locally|" + d.today()});

        // A playback whose access cannot be recorded still plays, and says so.
        QVERIFY(d.f.exec("branch0001.db", "DROP TABLE TB_RECACCESS"));
        d.local.sprLocalHist_DblClick(6, 2);
        QVERIFY(d.player.isPlaying());
        QTRY_VERIFY(d.f.messages.texts().join("").contains("ERROR FUNCTION    : RecordAccess"));
    }

    void remotePlayback()
    {
        HistoryDesk d;
        FtpServer server({}, FtpServer::Tls::Required);
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        d.useFtp(server);
        d.f.session.CfgFtpCaFile = server.caFile();
        QVERIFY(QDir().mkpath(server.remoteFile("20260105")));
        QVERIFY(QDir().mkpath(server.remoteFile("TEMP/20260105")));
        QVERIFY(
            VoxFile::encode(server.remoteFile("20260105/call.vox"), QVector<qint16>(3200, 1000)));
        QVERIFY(VoxFile::encode(server.remoteFile("TEMP/20260105/call.vox"),
                                QVector<qint16>(2000, -900)));
        const QString fetched = d.f.path("RECDATA/Temp/RemoteFile.vox");
        // The fetch runs on the FTP control's thread; its end comes back here.
        const auto fetch = [&d](const std::function<void()>& start) {
            start();
            return QTest::qWaitFor([&d] { return !d.desk.ftp.isBusy(); }, 10000);
        };

        QVERIFY(fetch([&] { d.local.PlayRemoteRecfile("20260105", "call.vox", " 3 "); }));
        QCOMPARE(VoxFile::decode(fetched), VoxFile::decode(server.remoteFile("20260105/call.vox")));
        QVERIFY(d.player.isPlaying());
        QCOMPARE(d.player.title(), QStringLiteral("call.vox"));

        // A double click in the recording history: a result of 4 and above was
        // uploaded under TEMP; the fetch replaces the earlier file.
        QVERIFY(d.f.exec("branch0001.db",
                         "INSERT INTO recfile (CustID, FolderName, R_Path, Status) "
                         "VALUES ('PLAY', '20260105', 'call.vox', '4')"));
        d.recordings.GetRecHistByID("PLAY");
        QVERIFY(d.f.answered());
        QVERIFY(fetch([&] { d.recordings.SprRecHist_DblClick(15, 0); }));
        QCOMPARE(VoxFile::decode(fetched).size(), 3200);
        QVERIFY(fetch([&] { d.recordings.SprRecHist_DblClick(15, 1); }));
        QCOMPARE(VoxFile::decode(fetched),
                 VoxFile::decode(server.remoteFile("TEMP/20260105/call.vox")));
        QCOMPARE(d.f.messages.messages.size(), 0);

        QVERIFY(fetch([&] { d.local.PlayRemoteRecfile("20260105", "missing.vox", ""); }));
        QCOMPARE(d.f.messages.texts(), QStringList{"녹취파일이 없습니다"});
        QCOMPARE(VoxFile::decode(fetched).size(), 2000);

        // A refused login shows nothing and fetches nothing.
        d.f.session.FtpPwd = "wrong";
        QVERIFY(fetch([&] { d.local.PlayRemoteRecfile("20260105", "call.vox", "1"); }));
        QCOMPARE(d.f.messages.messages.size(), 1);
        QCOMPARE(VoxFile::decode(fetched).size(), 2000);
        QCOMPARE(d.central("SELECT R_Path, AccessKind, count(*) FROM TB_RECACCESS GROUP BY "
                           "R_Path, AccessKind"),
                 QStringList({"call.vox|fetched|2", "call.vox|played fetched|2"}));
    }
};

QTEST_GUILESS_MAIN(TestHistories)
#include "tst_histories.moc"
