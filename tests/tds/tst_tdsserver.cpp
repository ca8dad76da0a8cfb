#include "TdsServer.h"

#include <QTemporaryDir>
#include <QTest>

#include <sql.h>
#include <sqlext.h>

#include <vector>

using namespace Qt::StringLiterals;

// The client side: plain ODBC through unixODBC and the real FreeTDS driver.
// Text is read as UTF-16, so what the driver reports is what
// the server sent, and the first diagnostic record is the server's error.
class OdbcClient
{
public:
    struct Result
    {
        bool ok = false;
        int native = 0;
        QString message;
        qint64 rowCount = -1;
        QList<QVariantList> rows;
        QList<QPair<int, qulonglong>> columns; // SQL type and size, as the driver describes them
    };

    Result login; // how the connection went

    OdbcClient(quint16 port, const QString& database)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
        const QString text = u"DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=%1;DATABASE=%2;UID=brenvo;"
                             u"PWD=brenvo;TDS_Version=7.4;ClientCharset=UTF-8"_s.arg(port)
                                 .arg(database);
        login.ok = SQL_SUCCEEDED(SQLDriverConnectW(m_dbc, nullptr, wide(text), SQL_NTS, nullptr, 0,
                                                   nullptr, SQL_DRIVER_NOPROMPT));
        if (!login.ok)
            diagnose(SQL_HANDLE_DBC, m_dbc, login);
    }
    ~OdbcClient()
    {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }

    Result exec(const QString& sql)
    {
        Result r;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
        // SQL_NO_DATA: a statement without a row count (DDL, SET).
        const SQLRETURN rc = SQLExecDirectW(stmt, wide(sql), SQL_NTS);
        r.ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
        SQLSMALLINT columns = 0;
        if (r.ok && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns > 0) {
            for (SQLUSMALLINT c = 1; c <= columns; ++c) {
                SQLWCHAR name[64];
                SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
                SQLULEN size = 0;
                SQLDescribeColW(stmt, c, name, 64, &nameLength, &type, &size, &digits, &nullable);
                r.columns << qMakePair(int(type), qulonglong(size));
            }
            while (SQL_SUCCEEDED(SQLFetch(stmt))) {
                QVariantList row;
                for (SQLUSMALLINT c = 1; c <= columns; ++c)
                    row << text(stmt, c);
                r.rows << row;
            }
        } else if (r.ok) {
            SQLLEN count = -1;
            SQLRowCount(stmt, &count);
            r.rowCount = count;
        } else {
            diagnose(SQL_HANDLE_STMT, stmt, r);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return r;
    }

    SQLHDBC handle() const { return m_dbc; }

private:
    static SQLWCHAR* wide(const QString& text)
    {
        return reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(text.constData()));
    }

    static QVariant text(SQLHSTMT stmt, SQLUSMALLINT column)
    {
        std::vector<char16_t> buffer(1 << 16);
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(
                SQLGetData(stmt, column, SQL_C_WCHAR, buffer.data(), buffer.size() * 2, &length)) ||
            length == SQL_NULL_DATA)
            return {};
        return QString::fromUtf16(buffer.data(), qMin<qsizetype>(length / 2, buffer.size() - 1));
    }

    static void diagnose(SQLSMALLINT type, SQLHANDLE handle, Result& r)
    {
        SQLWCHAR state[6] = {};
        char16_t message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRecW(type, handle, 1, state, &native, reinterpret_cast<SQLWCHAR*>(message), 1024,
                       &length);
        r = {false, native, QString::fromUtf16(message)};
    }

    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
};

class TestTdsServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TdsServer m_server;
    TdsServer::Options m_options;

    OdbcClient::Result run(const QString& sql, const QString& database = u"branch0001"_s)
    {
        OdbcClient client(m_server.port(), database);
        return client.login.ok ? client.exec(sql) : client.login;
    }

    qint64 count(const QString& table)
    {
        const auto r = run(u"select count(*) from "_s + table);
        return r.rows.isEmpty() ? -1 : r.rows.first().first().toLongLong();
    }

private slots:
    void initTestCase()
    {
        m_options.databases = {
            {u"branch0001"_s, m_dir.filePath("branch.db"), QString()},
            {u"latin"_s, m_dir.filePath("latin.db"), u"Latin1_General_CI_AS"_s},
            {u"utf8"_s, m_dir.filePath("utf8.db"), u"Latin1_General_100_CI_AS_SC_UTF8"_s},
        };
        QString error;
        QVERIFY2(m_server.start(m_options, 0, &error), qPrintable(error));
        m_server.setClock(QDateTime(QDate(2024, 3, 5), QTime(9, 8, 7)), true);
        for (const char* sql :
             {"insert into tb_callstatus(STATUS, kDESCRIPTION) values('1', N'통화')",
              "insert into recfile(R_Path, Status) values('a.vox', '0')",
              "insert into gogakinfo(Name, Status) values(N'가', 'R')",
              "insert into gogakinfo(Name, Status) values(N'나', 'R')",
              "insert into gogakinfo(Name, Status) values(N'다', 'R')",
              "create table codepage (v varchar(4) NULL)"}) {
            const auto r = run(QString::fromUtf8(sql));
            QVERIFY2(r.ok, qPrintable(r.message));
        }
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
        QTest::newRow("int") << "select RecCnt from tb_agentcallstatistics" << SQL_INTEGER << 10ull;
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
        const auto r = run(sql);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.columns, (QList<QPair<int, qulonglong>>{{type, size}}));
    }

    // What goes in comes back, through the collation's code page where SQL
    // Server would use one.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QVariantList>("expected");
        const QString last = u"select top 1 Name, Memo from gogakinfo order by ID desc"_s;
        const QString memo(4500, QChar(0xAC01));
        QTest::newRow("(max) cut at the default TEXTSIZE")
            << u"branch0001"_s << u"N'', N'"_s + memo + u"'"_s << last
            << QVariantList{QString(), memo.left(2048)};
        QTest::newRow("code page 1252 makes it ???")
            << u"latin"_s << u"'김철수', N'김철수'"_s << last << QVariantList{"???", "김철수"};
        QTest::newRow("UTF-8 collation keeps a plain literal")
            << u"utf8"_s << u"'김철수', NULL"_s << last << QVariantList{"김철수", QVariant()};
        QTest::newRow("server time") << u"branch0001"_s << QString()
                                     << u"SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE"_s
                                     << QVariantList{"2024-03-05 09:08:07"};
    }
    void roundTrip()
    {
        QFETCH(QString, database);
        QFETCH(QString, values);
        QFETCH(QString, select);
        QFETCH(QVariantList, expected);
        OdbcClient client(m_server.port(), database);
        QVERIFY(client.login.ok);
        if (!values.isEmpty()) {
            const auto insert =
                client.exec(u"insert into gogakinfo(Name, Memo) values("_s + values + u')');
            QVERIFY2(insert.ok, qPrintable(insert.message));
            QCOMPARE(insert.rowCount, 1);
        }
        const auto r = client.exec(select);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.rows.value(0), expected);
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
        const auto r = run(sql);
        QVERIFY(!r.ok);
        QCOMPARE(r.native, native);
        QVERIFY2(r.message.contains(text), qPrintable(r.message));
        QCOMPARE(count(table), before);
    }

    // FreeTDS ends transactions with transaction-manager requests; another
    // session never sees what is not committed.
    void transactions_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("commit");
        QTest::addColumn<int>("kept");
        const QString row = u"insert into tb_campaign(CampaignID) values('%1')"_s;
        QTest::newRow("rollback") << QStringList{row.arg("T2"), row.arg("T3")} << false << 0;
        QTest::newRow("truncation keeps the transaction")
            << QStringList{row.arg("T4"), row.arg(QString(11, u'x'))} << true << 1;
    }
    void transactions()
    {
        QFETCH(QStringList, statements);
        QFETCH(bool, commit);
        QFETCH(int, kept);
        const qint64 before = count("tb_campaign");
        OdbcClient client(m_server.port(), u"branch0001"_s);
        QVERIFY(client.login.ok);
        QVERIFY(
            SQL_SUCCEEDED(SQLSetConnectAttr(client.handle(), SQL_ATTR_AUTOCOMMIT,
                                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
        for (const QString& sql : statements)
            client.exec(sql);
        QCOMPARE(count("tb_campaign"), before);
        QVERIFY(SQL_SUCCEEDED(
            SQLEndTran(SQL_HANDLE_DBC, client.handle(), commit ? SQL_COMMIT : SQL_ROLLBACK)));
        QCOMPARE(count("tb_campaign"), before + kept);
        QCOMPARE(client.exec("select @@TRANCOUNT").rows.value(0).value(0).toInt(), 1);
    }

    // The application lock the database layer takes holds the database's write
    // lock until the transaction ends: another writer waits, then goes on.
    void appLockSerializes()
    {
        OdbcClient holder(m_server.port(), u"branch0001"_s),
            other(m_server.port(), u"branch0001"_s);
        QVERIFY(holder.login.ok && other.login.ok);
        QVERIFY(holder.exec("BEGIN TRANSACTION").ok);
        QVERIFY(holder
                    .exec("EXEC sp_getapplock @Resource = 'counters', @LockMode = 'Exclusive', "
                          "@LockOwner = 'Transaction'")
                    .ok);
        QVERIFY(other.exec("SET LOCK_TIMEOUT 100").ok);
        QCOMPARE(other.exec("insert into tb_campaign(CampaignID) values('L1')").native, 1222);
        QVERIFY(holder.exec("COMMIT TRANSACTION").ok);
        QVERIFY(other.exec("insert into tb_campaign(CampaignID) values('L1')").ok);
    }
};

QTEST_GUILESS_MAIN(TestTdsServer)
#include "tst_tdsserver.moc"
