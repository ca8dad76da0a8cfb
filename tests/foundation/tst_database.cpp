#include <QTest>

#include <tuple>

#include "ProgramFolderFixture.h"
#include "TdsServer.h"

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void connectionStringsAreExact()
    {
        ProgramFolderFixture f;
        Session& s = f.session;
        std::tie(s.CfgDBPass, s.CfgDBUser, s.CfgDBName, s.CfgDBIp, s.CfgDBPort) =
            std::tuple("pw", "sa", "Directory", "10.0.0.1", "1433");
        QCOMPARE(
            f.db.branchConnectionString(),
            QStringLiteral(
                "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
                "Initial Catalog=Directory;Data Source= 10.0.0.1;Network Address= 10.0.0.1,1433;"
                "Network Library=dbmssocn"));
        std::tie(s.BranchDBPass, s.BranchDBUser, s.BranchDBName, s.BranchIP, s.BranchDBPort) =
            std::tuple("p2", "u2", "Brenvo0001", "10.0.0.2", "1500");
        QCOMPARE(
            f.db.mainConnectionString(),
            QStringLiteral(
                "Provider=SQLOLEDB.1;Password=p2;Persist Security Info=True;User ID=u2;"
                "Initial Catalog=Brenvo0001;Data Source= 10.0.0.2;Network Address= 10.0.0.2,1500;"
                "Network Library=dbmssocn"));
        QCOMPARE(f.db.localConnectionString(),
                 "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + f.path("Brenvo.mdb") +
                     ";Persist Security Info=False;");
    }

    // The branch database's session outlives each operation and is taken up
    // again while sound; one the server dropped, even a moment before, is
    // seen so without a word to the server and replaced, and a server that
    // is down is reported at the open as always.
    void keptSession_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("idle");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("sessions");
        QTest::newRow("taken up again") << "" << false << "" << 1;
        QTest::newRow("idle, checked, taken up") << "" << true << "" << 1;
        QTest::newRow("dropped while idle: reconnects") << "drop" << true << "" << 2;
        QTest::newRow("dropped a moment before: reconnects") << "drop" << false << "" << 2;
        QTest::newRow("server down: the open says so")
            << "stop" << true << "데이터베이스 연결을 실패했습니다." << 1;
    }
    void keptSession()
    {
        QFETCH(QString, fault);
        QFETCH(bool, idle);
        QFETCH(QString, shown);
        QFETCH(int, sessions);
        ProgramFolderFixture f(DemoOptions(), Backend::StandIn);
        QVERIFY2(f.isValid(), qPrintable(f.error()));
        f.loginAs("kim");
        QVERIFY(!f.db.GetNowDate().isEmpty());
        QVERIFY(!f.db.SQLConnected());
        QCOMPARE(f.standIn()->connectionCount(), 1);
        if (fault == "drop")
            f.standIn()->dropConnections();
        else if (fault == "stop")
            f.standIn()->stop();
        // Idle long enough to be asked, or a moment: the server has closed it
        // (its threads drop sessions when they next run), the desk not looked yet.
        QTest::qWait(idle ? Connection::kCheckAfterIdleMs + 100 : 50);
        QCOMPARE(f.db.GetNowDate().isEmpty(), !shown.isEmpty());
        QVERIFY2(f.messages.texts().value(0).contains(shown),
                 qPrintable(f.messages.texts().join('\n')));
        if (fault != "stop")
            QVERIFY(!f.db.GetNowDate().isEmpty());
        QCOMPARE(f.db.connection(Database::Slot::Main).sessionsOpened(), sessions);
    }

    // A transaction begun inside another is a part of it; none is ever left
    // open behind a closed slot.
    void transactionsNest_data() { Backends::addRows(); }
    void transactionsNest()
    {
        USE_BACKEND_ROW();
        ProgramFolderFixture f;
        f.loginAs("kim");
        const auto name = [&f] {
            return f.rows("branch0001.db", "select Name from gogakinfo where ID = 1").value(0);
        };
        const QString before = name();
        const auto rename = [&f](const char* to) {
            return f.db.execute(Database::Slot::Main,
                                QStringLiteral("update gogakinfo set Name = '%1' where ID = '1'")
                                    .arg(QLatin1String(to)),
                                "test", "test");
        };
        Database::Use use(f.db, Database::Slot::Main);
        const Connection& connection = f.db.connection(Database::Slot::Main);
        const auto nested = [&](bool inner, bool outer) {
            return f.db.inTransaction("test", "test", [&] {
                rename("outer");
                const bool innerDone = f.db.inTransaction("test", "test", [&] {
                    rename("inner");
                    return inner;
                });
                return innerDone == inner && connection.openTransactions() == 1 && outer;
            });
        };
        QVERIFY(!nested(true, false)); // the inner commit only counted down
        QVERIFY2(f.db.SQLConnected(), "a routine that found the slot open leaves it open");
        QCOMPARE(name(), before);
        QVERIFY(!nested(false, true)); // the inner rollback undid the outer too
        QCOMPARE(name(), before);
        QCOMPARE(connection.openTransactions(), 0);
        QVERIFY(nested(true, true));
        QCOMPARE(name(), QString("inner"));

        QVERIFY(f.db.connection(Database::Slot::Main).beginTransaction(nullptr));
        QVERIFY(rename("left open"));
        f.db.SQLDBClose();
        QCOMPARE(connection.openTransactions(), 0);
        QCOMPARE(name(), QString("inner"));
        f.db.SQLDBConnect();
        QVERIFY(rename("after"));
        QCOMPARE(name(), QString("after"));
    }

    void failedConnections()
    {
        ProgramFolderFixture f;
        f.loginAs("kim");
        f.session.BranchIP = "sqlite:gone.db";
        QCOMPARE(f.db.GetNowDate(), QString());
        QVERIFY(!f.db.SQLConnected());
        // The connection box, its error-log block, then GetNowDate's own block.
        QCOMPARE(f.messages.messages.size(), 3);
        QCOMPARE(f.messages.texts().at(0), "데이터베이스 연결을 실패했습니다.\r\n" +
                                               ErrorLog::masked(f.db.mainConnectionString()));
        QVERIFY(f.messages.texts().at(1).contains(
            "ERROR LOCATION    : MDatabaseProcedure\r\n"
            "ERROR FUNCTION    : SQLDBConnect\r\n"
            "ERROR DESCRIPTION : 데이터베이스 연결을 실패했습니다.\r\n"));
        QVERIFY(f.messages.texts().at(1).contains("ERROR SQL CODE    : " +
                                                  ErrorLog::masked(f.db.mainConnectionString())));
        QVERIFY(f.messages.texts().at(2).contains("ERROR FUNCTION    : GetNowDate()\r\n"));
        QVERIFY(f.messages.texts().at(2).contains("ERROR SQL CODE    : USP_NOW_DATE\r\n"));

        f.messages.clear();
        QFile::remove(f.path("Brenvo.mdb"));
        QVERIFY(!f.db.MDBConnection());
        QVERIFY(!f.db.MDBConnected());
        QVERIFY(!QFile::exists(f.path("Brenvo.mdb")));
        QCOMPARE(f.messages.messages.first().icon, MessageIcon::Information);
        QCOMPARE(f.messages.texts().first(),
                 "database 경로가 틀립니다.\r\n\r\n 경로 확인 후 다시 시도하세요. \r\n" +
                     f.db.localConnectionString());
        QVERIFY(f.messages.texts().at(1).contains("ERROR LOCATION    : modDBProcedure()\r\n"
                                                  "ERROR FUNCTION    : MDBConnection()\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
