#include <QElapsedTimer>
#include <QTest>

#include "platform/Connection.h"
#include "platform/IniFile.h"
#include "platform/SqlDialect.h"
#include "ProgramFolderFixture.h"
#include "TdsServer.h"

// The database connection, and the text forms the platform layer reads:
// connection strings, the SQL dialect and the settings file.
class TestConnection : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes)
    {
        static int n = 0;
        const QString path = m_dir.filePath(QStringLiteral("f%1.ini").arg(++n));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

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
                     "TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request"));
        // A password with a brace or semicolon would end the ODBC value early.
        QHash<QString, QString> odd = keys;
        odd.insert("password", "a;b}c");
        QVERIFY(Connection::odbcConnectionString(odd).contains("PWD={a;b}}c};"));
    }

    void lookups_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray normal =
            "[Branch]\r\nBranchID = 0001 \r\n[Database]\r\nDBIp=10.0.0.5\r\nDBPass=  p a ss  \r\n";
        const auto row = [](const char* name, const QByteArray& content, const char* section,
                            const char* key, const char* expected) {
            QTest::newRow(name) << content << QString::fromUtf8(section) << QString::fromUtf8(key)
                                << QString::fromUtf8(expected);
        };
        row("plain", normal, "Database", "DBIp", "10.0.0.5");
        row("inner blanks kept", normal, "Database", "DBPass", "p a ss");
        row("missing key", normal, "Database", "DBName", "");
        row("missing section", normal, "Other", "DBIp", "");
        row("key of another section", normal, "Branch", "DBIp", "");
        row("empty file", QByteArray(), "Database", "DBIp", "");
        row("section repeated later", "[Database]\nDBIp=a\n[X]\n[database]\nDBName=b\n", "Database",
            "DBName", "b");
        row("cut at NUL", QByteArray("[Database]\nDBIp=abc\0def\n", 22), "Database", "DBIp", "abc");
        row("Korean value", "[Branch]\nBranchID=강남\n", "Branch", "BranchID", "강남");
        row("binary garbage", QByteArray("\xff\xfe\x00\x01[Database]\x80\n", 12), "Database",
            "DBIp", "");
        row("value with equals sign", "[Database]\nDBPass=a=b\n", "Database", "DBPass", "a=b");
        row("quoted value", "[Database]\nDBPass=\" secret \"\n", "Database", "DBPass", " secret ");
    }
    void lookups()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(IniFile::value(section, key, QString(), write(content)), expected);
    }

    void missingFileAndLongValues()
    {
        QCOMPARE(IniFile::value("Database", "DBIp", QString(), m_dir.filePath("nothing.ini")),
                 QString());
        const QString path = write("[Database]\nDBName=" + QByteArray(5000, 'x') + "\n");
        QCOMPARE(IniFile::value("Database", "DBName", QString(), path).size(), 1023);
        // 10 MiB of keys before the one asked for.
        QByteArray big = "[Database]\n";
        while (big.size() < 10 * 1024 * 1024)
            big += "Filler=" + QByteArray(200, 'f') + "\n";
        big += "DBPort=1433\n";
        QCOMPARE(IniFile::value("Database", "DBPort", QString(), write(big)), QString("1433"));
    }
    // A server that stops answering fails the statement at its time limit,
    // before the answer comes, and the session is not kept for the next open.
    void statementTimeLimit()
    {
        ProgramFolderFixture f({}, Backend::StandIn);
        if (!f.isValid())
            QSKIP(qPrintable(f.error()));
        f.loginAs("kim");
        Connection c;
        QString error;
        QVERIFY2(c.open(f.db.mainConnectionString(), f.path(), &error), qPrintable(error));
        c.setQueryTimeout(1);
        f.standIn()->setAnswerDelay(6000);
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!c.execute("update gogakinfo set Status = '1' where ID = '1'", &error));
        QVERIFY2(waited.elapsed() < 5000, qPrintable(error));
        QVERIFY(c.linkFailed());
        f.standIn()->setAnswerDelay(0);
        c.close();
        QVERIFY2(c.open(f.db.mainConnectionString(), f.path(), &error), qPrintable(error));
        QCOMPARE(c.sessionsOpened(), 2);
    }

    // Text of any length up to the declared size, and (max) text of any
    // length, comes back exactly; Null stays apart from ''; counts are exact.
    void statementsAndResults_data() { Backends::addRows(); }
    void statementsAndResults()
    {
        USE_BACKEND_ROW();
        ProgramFolderFixture f;
        f.loginAs("kim");
        Connection c;
        QString error;
        QVERIFY2(c.open(f.db.mainConnectionString(), f.path(), &error), qPrintable(error));
        const auto stored = [&](const QString& column, const QString& value) {
            Recordset rs;
            int n = -1;
            const bool ok =
                c.execute("update gogakinfo set " + column + " = '" + SqlDialect::quoted(value) +
                              "' where ID = '1'",
                          &error, &n) &&
                c.openRecordset("select top 5 " + column + " from gogakinfo where ID = 1", &rs,
                                &error);
            return ok && n == 1 && rs.recordCount() == 1 ? rs.value(column).toString() : error;
        };
        QString syllables;
        for (int i = 0; i < 70000; ++i)
            syllables += QChar(0xAC00 + i * 7 % 11172);
        for (const QString& name : {QString(100, u'가'), syllables.left(100),
                                    QString("O'Neil -- ;"), QString("김'철"), QString()})
            QCOMPARE(stored("Name", name), name);
        for (const QString& memo : {syllables.left(4000), syllables, QString("메모")})
            QCOMPARE(stored("Memo", memo), memo);

        Recordset rs;
        QVERIFY(
            c.execute("update gogakinfo set HomeNumber = NULL, Memo = '' where ID = '1'", &error));
        QVERIFY(c.openRecordset("select HomeNumber, Memo, ID from gogakinfo where ID = 1", &rs,
                                &error));
        QVERIFY(rs.value("HomeNumber").isNull());
        QVERIFY(!rs.value("memo").isNull() && rs.value("memo").toString().isEmpty());
        QCOMPARE(rs.value("ID").toInt(), 1);

        int n = -1;
        QVERIFY(
            c.execute("update gogakinfo set Status = '9' where AgentID = 'nobody'", &error, &n));
        QCOMPARE(n, 0);
        QVERIFY(c.execute("insert into tb_callstatus (STATUS, kDESCRIPTION) values ('42', '답')",
                          &error, &n));
        QCOMPARE(n, 1);
        QVERIFY(!c.execute("select * from nosuchtable", &error));
        QVERIFY2(error.contains("nosuchtable") && !c.linkFailed(), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
