#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "platform/Connection.h"
#include "platform/SqlDialect.h"

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void dialect_data()
    {
        QTest::addColumn<QString>("tsql");
        QTest::addColumn<QString>("sqlite");
        QTest::newRow("server time") << "SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE"
                                     << "SELECT datetime('now','localtime')  AS NOWDATE";
        QTest::newRow("top")
            << " Select top 1 ID from gogakinfo where Status ='0' order by ID desc"
            << " Select ID from gogakinfo where Status ='0' order by ID desc LIMIT 1";
        QTest::newRow("isnull") << "select isnull(b.DistributeCnt,0) as c from t b"
                                << "select IFNULL(b.DistributeCnt,0) as c from t b";
        QTest::newRow("literals untouched")
            << "select * from t where a = 'GETDATE() top 5 isnull(' and b = 'O''Neil -- ;'"
            << "select * from t where a = 'GETDATE() top 5 isnull(' and b = 'O''Neil -- ;'";
        QTest::newRow("Korean literal")
            << "select TOP 3 Name from gogakinfo where Name = '김''철'"
            << "select Name from gogakinfo where Name = '김''철' LIMIT 3";
        QTest::newRow("plain statement")
            << " Update recfile Set  R_Time = '12'  where R_Path = 'x.vox' "
            << " Update recfile Set  R_Time = '12'  where R_Path = 'x.vox' ";
    }
    void dialect()
    {
        QFETCH(QString, tsql);
        QFETCH(QString, sqlite);
        QCOMPARE(SqlDialect::toSqlite(tsql), sqlite);
    }

    void odbcStringFromAdoKeys()
    {
        const QString ado =
            "Provider=SQLOLEDB.1;Password=pw;x;Persist Security Info=True;User ID=sa;"
            "Initial Catalog=Brenvo0001;Data Source= 10.1.2.3;Network Address= 10.1.2.3,1433;"
            "Network Library=dbmssocn";
        const auto keys = Connection::parseConnectionString(ado);
        QCOMPARE(keys.value("data source"), QStringLiteral("10.1.2.3"));
        QCOMPARE(keys.value("network address"), QStringLiteral("10.1.2.3,1433"));
        QCOMPARE(Connection::odbcConnectionString(keys),
                 QStringLiteral(
                     "DRIVER=FreeTDS;SERVER=10.1.2.3;PORT=1433;DATABASE=Brenvo0001;UID=sa;PWD=pw;"
                     "TDS_Version=7.4;ClientCharset=UTF-8"));
        // A password with a brace or semicolon would end the ODBC value early.
        QHash<QString, QString> odd = keys;
        odd.insert("password", "a;b}c");
        QVERIFY(Connection::odbcConnectionString(odd).contains("PWD={a;b}}c};"));
    }

    void sqliteFilesAndResults()
    {
        QTemporaryDir dir;
        Connection missing;
        QString error;
        QVERIFY(!missing.open(
            "Provider=SQLOLEDB.1;Data Source= sqlite:none.db;Network Address= sqlite:none.db,1433",
            dir.path(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("none.db")));

        const QString local = dir.filePath("Brenvo.mdb");
        QVERIFY(!missing.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + local +
                                  ";Persist Security Info=False;",
                              dir.path(), &error));
        QVERIFY(!QFile::exists(local));

        {
            QSqlDatabase seed = QSqlDatabase::addDatabase("QSQLITE", "seed");
            seed.setDatabaseName(dir.filePath("c.db"));
            QVERIFY(seed.open());
            QSqlQuery(seed).exec("CREATE TABLE t (a TEXT, b TEXT)");
            seed.close();
        }
        QSqlDatabase::removeDatabase("seed");

        Connection c;
        QVERIFY2(
            c.open("Provider=SQLOLEDB.1;Data Source= sqlite:c.db;Network Address= sqlite:c.db,1433",
                   dir.path(), &error),
            qPrintable(error));
        int affected = -1;
        QVERIFY(
            c.execute("insert into t (a, b) values ('" + SqlDialect::quoted("O'Neil") + "', NULL)",
                      &error, &affected));
        QCOMPARE(affected, 1);
        QVERIFY(c.execute("insert into t (a, b) values ('', '김''철')", &error));
        Recordset rs;
        QVERIFY(c.openRecordset("select top 5 a, b from t order by a desc", &rs, &error));
        QCOMPARE(rs.recordCount(), 2);
        QCOMPARE(rs.value("A").toString(), QStringLiteral("O'Neil"));
        QVERIFY(rs.value("b").isNull());
        rs.moveNext();
        QVERIFY(!rs.value("a").isNull());
        QCOMPARE(rs.value("b").toString(), QString::fromUtf8("김'철"));
        rs.moveNext();
        QVERIFY(rs.isEof());
        QVERIFY(!c.execute("select * from nosuchtable", &error));
        QVERIFY(error.contains("nosuchtable"));
    }

    void freeTdsToClosedPortFails()
    {
        // A port that was free a moment ago: nothing listens there.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();

        Connection c;
        QString error;
        QElapsedTimer timer;
        timer.start();
        const QString ado =
            QStringLiteral(
                "Provider=SQLOLEDB.1;Password=x;Persist Security Info=True;User ID=sa;"
                "Initial Catalog=db;Data Source= 127.0.0.1;Network Address= 127.0.0.1,%1;"
                "Network Library=dbmssocn")
                .arg(port);
        QVERIFY(!c.open(ado, QString(), &error));
        QVERIFY(!c.isOpen());
        QVERIFY2(!error.isEmpty(), "the driver's reason is kept for the error log");
        QVERIFY(!c.execute("select 1", &error));
    }

    void realSqlServer()
    {
        const QString ado = qEnvironmentVariable("BRENVO_TEST_MSSQL");
        if (ado.isEmpty())
            QSKIP("BRENVO_TEST_MSSQL is not set: no SQL Server to run the statements against");
        Connection c;
        QString error;
        QVERIFY2(c.open(ado, QString(), &error), qPrintable(error));
        Recordset rs;
        QVERIFY2(
            c.openRecordset("SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE", &rs, &error),
            qPrintable(error));
        QCOMPARE(rs.value("NOWDATE").toString().size(), 19);
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
