#include "foundation/Database.h"
#include "platform/Connection.h"
#include "platform/OdbcConnection.h"
#include "TdsServer.h"
#include "TdsWire.h"
#include "TestCertificates.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sql.h>
#include <sqlext.h>

using namespace Qt::StringLiterals;

// The client is the program's own ODBC session on the real FreeTDS driver;
// its error text carries the server's message and, in brackets, its number.
class TestTdsServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TdsServer m_server;
    TestCertificates m_certificates;

    // What the program connects with.
    QString address(const QString& database = u"branch0001"_s) const
    {
        return Connection::odbcConnectionString(
            {{u"network address"_s, u"127.0.0.1,%1"_s.arg(m_server.port())},
             {u"initial catalog"_s, database},
             {u"user id"_s, u"brenvo"_s},
             {u"password"_s, u"brenvo"_s}});
    }

    // One statement on a session of its own; with `rows`, a query.
    bool run(const QString& sql, Recordset* rows = nullptr, QString* error = nullptr)
    {
        OdbcConnection client;
        return client.open(address(), 5, 5, error) &&
               (rows ? client.query(sql, rows, error) : client.execute(sql, error, nullptr));
    }

    qint64 count(const QString& table)
    {
        Recordset r;
        return run(u"select count(*) from "_s + table, &r) ? r.value(0, 0).toLongLong() : -1;
    }

    // The SQL type and size the driver describes a one-column result with,
    // which the program's session does not keep.
    QPair<int, qulonglong> describe(const QString& sql)
    {
        const auto wide = [](const QString& text) {
            return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.utf16()));
        };
        SQLHENV env = SQL_NULL_HENV;
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLDriverConnectW(dbc, nullptr, wide(address()), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        if (SQL_SUCCEEDED(SQLExecDirectW(stmt, wide(sql), SQL_NTS)))
            SQLDescribeColW(stmt, 1, nullptr, 0, nullptr, &type, &size, nullptr, nullptr);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return {type, size};
    }

private slots:
    void initTestCase()
    {
        TdsServer::Options options;
        options.databases = {
            {u"branch0001"_s, m_dir.filePath("branch.db"), QString()},
            {u"latin"_s, m_dir.filePath("latin.db"), u"Latin1_General_CI_AS"_s},
            {u"utf8"_s, m_dir.filePath("utf8.db"), u"Latin1_General_100_CI_AS_SC_UTF8"_s},
        };
        QString error;
        QVERIFY2(m_server.start(options, 0, &error), qPrintable(error));
        m_server.setClock(QDateTime(QDate(2024, 3, 5), QTime(9, 8, 7)), true);
        for (const char* sql :
             {"insert into tb_callstatus(STATUS, kDESCRIPTION) values('1', N'통화')",
              "insert into recfile(R_Path, Status) values('a.vox', '0')",
              "insert into gogakinfo(Name, Status) values(N'가', 'R')",
              "insert into gogakinfo(Name, Status) values(N'나', 'R')",
              "insert into gogakinfo(Name, Status) values(N'다', 'R')",
              "create table codepage (v varchar(4) NULL)"})
            QVERIFY2(run(QString::fromUtf8(sql), nullptr, &error), qPrintable(error));
    }

    // Each column carries the type and size the schema declares, and an
    // expression the type SQL Server gives it.
    void columnTypes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::addColumn<qulonglong>("size");
        QTest::newRow("nvarchar(100)") << "select Name from gogakinfo" << SQL_WVARCHAR << 100ull;
        QTest::newRow("nvarchar(max)") << "select Memo from gogakinfo" << SQL_WVARCHAR << 0ull;
        QTest::newRow("nchar(1)") << "select tDel from tb_campaign" << SQL_WCHAR << 1ull;
        QTest::newRow("int identity") << "select ID from gogakinfo" << SQL_INTEGER << 10ull;
        QTest::newRow("varchar(4)") << "select v from codepage" << SQL_VARCHAR << 4ull;
        QTest::newRow("count") << "select count(ID) as c from gogakinfo" << SQL_INTEGER << 10ull;
        QTest::newRow("server time")
            << "SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE" << SQL_VARCHAR << 20ull;
        QTest::newRow("isnull") << "select isnull(b.RecCnt,0) as n from gogakinfo a left outer "
                                   "join tb_agentcallstatistics b on a.AgentID = b.AgentID"
                                << SQL_INTEGER << 10ull;
    }
    void columnTypes()
    {
        QFETCH(QString, sql);
        QFETCH(int, type);
        QFETCH(qulonglong, size);
        QCOMPARE(describe(sql), qMakePair(type, size));
    }

    // What goes in comes back, through the collation's code page where SQL
    // Server would use one, and cut at TEXTSIZE as SQL Server cuts it.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QVariantList>("expected");
        const QString last = u"select top 1 Name, Memo from gogakinfo order by ID desc"_s;
        const QString memo(4500, QChar(0xAC01)), insert = u"N'', N'"_s + memo + u"'"_s;
        QTest::newRow("(max) cut at the default TEXTSIZE")
            << u"branch0001"_s << u"SET TEXTSIZE 0"_s << insert << last
            << QVariantList{QString(), memo.left(2048)};
        QTest::newRow("(max) whole at the program's TEXTSIZE")
            << u"branch0001"_s << QString() << insert << last << QVariantList{QString(), memo};
        QTest::newRow("code page 1252 makes it ???")
            << u"latin"_s << QString() << u"'김철수', N'김철수'"_s << last
            << QVariantList{"???", "김철수"};
        QTest::newRow("UTF-8 collation keeps a plain literal")
            << u"utf8"_s << QString() << u"'김철수', NULL"_s << last
            << QVariantList{"김철수", QVariant()};
        QTest::newRow("server time") << u"branch0001"_s << QString() << QString()
                                     << u"SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE"_s
                                     << QVariantList{"2024-03-05 09:08:07"};
    }
    void roundTrip()
    {
        QFETCH(QString, database);
        QFETCH(QString, set);
        QFETCH(QString, values);
        QFETCH(QString, select);
        QFETCH(QVariantList, expected);
        OdbcConnection client;
        QString error;
        int inserted = 1;
        Recordset r;
        QVERIFY2(client.open(address(database), 5, 5, &error) &&
                     (set.isEmpty() || client.execute(set, &error, nullptr)) &&
                     (values.isEmpty() ||
                      client.execute(u"insert into gogakinfo(Name, Memo) values("_s + values + u')',
                                     &error, &inserted)) &&
                     client.query(select, &r, &error),
                 qPrintable(error));
        QCOMPARE(inserted, 1);
        QCOMPARE(r.rows().value(0), expected);
    }

    // A refused statement carries SQL Server's number and text, and changes
    // nothing.
    void errors_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("native");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("table");
        const QString cut = u"String or binary data would be truncated."_s;
        QTest::newRow("varchar(4) counts code page bytes")
            << u"insert into codepage(v) values('김철수')"_s << 8152 << cut << u"codepage"_s;
        QTest::newRow("update over length")
            << u"update gogakinfo set JuminNo = '123456789012345678901' where Status = 'R'"_s
            << 8152 << cut << u"gogakinfo where JuminNo is not null"_s;
        QTest::newRow("duplicate primary key")
            << u"insert into tb_callstatus(STATUS) values('1')"_s << 2627
            << u"Violation of PRIMARY KEY constraint"_s << u"tb_callstatus"_s;
        QTest::newRow("duplicate unique index")
            << u"insert into recfile(R_Path) values('a.vox')"_s << 2601
            << u"with unique index 'recfile_path'. The duplicate key value is (a.vox)."_s
            << u"recfile"_s;
        QTest::newRow("NULL into NOT NULL")
            << u"insert into tb_campaign(CampaignID, tDel) values('9', NULL)"_s << 515
            << u"Cannot insert the value NULL into column 'tDel'"_s << u"tb_campaign"_s;
        QTest::newRow("text into int")
            << u"insert into TB_AGENTCALLSTATISTICS(RecBound) values('x')"_s << 245
            << u"Conversion failed when converting the varchar value 'x' to data type int."_s
            << u"tb_agentcallstatistics"_s;
        QTest::newRow("invalid object") << u"select * from nosuch"_s << 208
                                        << u"Invalid object name 'nosuch'."_s << u"gogakinfo"_s;
        QTest::newRow("invalid column") << u"select nosuch from gogakinfo"_s << 207
                                        << u"Invalid column name 'nosuch'."_s << u"gogakinfo"_s;
        QTest::newRow("syntax") << u"selct 1"_s << 102 << u"Incorrect syntax near 'selct'."_s
                                << u"gogakinfo"_s;
    }
    void errors()
    {
        QFETCH(QString, sql);
        QFETCH(int, native);
        QFETCH(QString, text);
        QFETCH(QString, table);
        const qint64 before = count(table);
        QString error;
        QVERIFY(!run(sql, nullptr, &error));
        QVERIFY2(error.contains(text) && error.contains(u"(%1)"_s.arg(native)), qPrintable(error));
        QCOMPARE(count(table), before);
    }

    // Another session never sees what is not committed; a statement refused
    // inside a transaction leaves the transaction open.
    void transactions()
    {
        const QString row = u"insert into tb_campaign(CampaignID) values('%1')"_s;
        const qint64 before = count("tb_campaign");
        OdbcConnection client;
        QString error;
        QVERIFY2(client.open(address(), 5, 5, &error) && client.beginTransaction({}, &error) &&
                     client.execute(row.arg("T4"), &error, nullptr),
                 qPrintable(error));
        QVERIFY(!client.execute(row.arg(QString(11, u'x')), nullptr, nullptr));
        QCOMPARE(count("tb_campaign"), before);
        QVERIFY2(client.endTransaction(true, &error), qPrintable(error));
        QCOMPARE(count("tb_campaign"), before + 1);
        Recordset r;
        QVERIFY(client.query("select @@TRANCOUNT", &r, nullptr));
        QCOMPARE(r.value(0, 0).toInt(), 0);
    }

    // What the client's Encrypt asks and the server offers decide, as on SQL
    // Server, what crosses the wire in clear: the login (its user name), the
    // statements, both, or nothing; or the connection is refused, and says why.
    void encryption_data()
    {
        QTest::addColumn<TdsServer::Encryption>("server");
        QTest::addColumn<QString>("certificate"); // '': self-signed
        QTest::addColumn<QString>("encrypt");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("outcome"); // what is seen in clear, or why refused
        const auto row = [](const char* name, TdsServer::Encryption server, const char* certificate,
                            const char* encrypt, const char* caFile, const char* outcome) {
            QTest::newRow(name) << server << QString(certificate) << QString(encrypt)
                                << QString(caFile) << QString(outcome);
        };
        using enum TdsServer::Encryption;
        row("request: the login only", Offered, "server", "request", "", "statement");
        row("require: the whole session", Offered, "server", "require", "ca.pem", "");
        row("required by the server", Required, "server", "request", "", "");
        row("off", Offered, "server", "off", "", "login statement");
        row("request, server without TLS", None, "", "request", "", "login statement");
        row("off, server requires", Required, "server", "off", "", "refused: (20002)");
        row("require, server without TLS", None, "", "require", "ca.pem",
            "refused: the server does not offer encryption");
        row("another authority", Offered, "server", "require", "other-ca.pem",
            "refused: not signed by an authority of CaFile");
        row("another name", Offered, "wrong-host", "require", "ca.pem",
            "refused: not made out to 127.0.0.1");
        row("self-signed, the system's authorities", Offered, "", "require", "",
            "refused: an authority the system trusts");
    }
    void encryption()
    {
        QFETCH(TdsServer::Encryption, server);
        QFETCH(QString, certificate);
        QFETCH(QString, encrypt);
        QFETCH(QString, caFile);
        QFETCH(QString, outcome);
        const auto file = [this](const QString& name, const char* suffix = "") {
            return name.isEmpty() ? QString() : m_certificates.path(name + suffix);
        };
        QTemporaryDir wire;
        TdsServer::Options options;
        options.databases = {{u"branch0001"_s, m_dir.filePath("tls.db"), QString()}};
        options.encryption = server;
        options.certificateFile = file(certificate, ".pem");
        options.keyFile = file(certificate, ".key");
        options.recordFolder = wire.path();
        TdsServer tls;
        QString error;
        QVERIFY2(tls.start(options, 0, &error), qPrintable(error));
        Connection client;
        client.setEncryption(SqlServerEncryption::fromSettings(encrypt, file(caFile), {}));
        const bool ran = client.open(Database::sqlServerConnectionString(
                                         u"brenvo"_s, u"brenvo"_s, u"branch0001"_s, u"127.0.0.1"_s,
                                         QString::number(tls.port())),
                                     {}, &error) &&
                         client.execute(u"select N'a statement'"_s, &error);
        if (outcome.startsWith(u"refused: "_s)) {
            QVERIFY(!ran);
            QVERIFY2(error.contains(outcome.mid(9)), qPrintable(error));
            return;
        }
        QVERIFY2(ran, qPrintable(error));
        QByteArray bytes;
        for (const QString& name : QDir(wire.path()).entryList(QDir::Files)) {
            QFile recorded(wire.filePath(name));
            bytes += recorded.open(QIODevice::ReadOnly) ? recorded.readAll() : QByteArray();
        }
        QStringList seen;
        for (const QString& marker : {u"login"_s, u"statement"_s})
            if (bytes.contains(Tds::utf16le(marker == u"login"_s ? u"brenvo"_s : marker)))
                seen << marker;
        QCOMPARE(seen.join(u' '), outcome);
    }

    // The application lock the database layer takes holds the database's write
    // lock until the transaction ends: another writer waits, then goes on.
    void appLockSerializes()
    {
        OdbcConnection holder, other;
        QString error;
        const QString insert = u"insert into tb_campaign(CampaignID) values('L1')"_s;
        QVERIFY2(
            holder.open(address(), 5, 5, &error) && other.open(address(), 5, 5, &error) &&
                holder.beginTransaction(u"EXEC sp_getapplock @Resource = 'counters', "
                                        u"@LockMode = 'Exclusive', @LockOwner = 'Transaction'"_s,
                                        &error) &&
                other.execute("SET LOCK_TIMEOUT 100", &error, nullptr),
            qPrintable(error));
        QVERIFY(!other.execute(insert, &error, nullptr));
        QVERIFY2(error.contains(u"(1222)"_s), qPrintable(error));
        QVERIFY(holder.endTransaction(true, nullptr));
        QVERIFY2(other.execute(insert, &error, nullptr), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestTdsServer)
#include "tst_tdsserver.moc"
