#include "TdsServer.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sql.h>
#include <sqlext.h>

using namespace Qt::StringLiterals;

// The client side: plain ODBC through unixODBC and the real FreeTDS driver.
// Text is read as UTF-16 piece by piece, so what the driver reports is what
// the server sent, and the first diagnostic record is the server's error.
class OdbcClient
{
public:
    struct Result
    {
        bool ok = false;
        QString state;
        int native = 0;
        QString message;
        qint64 rowCount = -1;
        QList<QVariantList> rows;
    };

    OdbcClient()
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    }
    ~OdbcClient()
    {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }

    Result connect(quint16 port, const QString& database)
    {
        const QString text = connectionString(port, database);
        Result r;
        r.ok = SQL_SUCCEEDED(SQLDriverConnectW(m_dbc, nullptr, wide(text), SQL_NTS, nullptr, 0,
                                               nullptr, SQL_DRIVER_NOPROMPT));
        if (!r.ok)
            diagnose(SQL_HANDLE_DBC, m_dbc, r);
        return r;
    }

    static QString connectionString(quint16 port, const QString& database)
    {
        return QStringLiteral("DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=%1;DATABASE=%2;UID=brenvo;"
                              "PWD=brenvo;TDS_Version=7.4;ClientCharset=UTF-8")
            .arg(port)
            .arg(database);
    }

    Result exec(const QString& sql, int timeoutSeconds = 0)
    {
        Result r;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
        SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(qintptr(timeoutSeconds)), 0);
        // SQL_NO_DATA: a statement without a row count (DDL, SET).
        const SQLRETURN rc = SQLExecDirectW(stmt, wide(sql), SQL_NTS);
        r.ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
        SQLSMALLINT columns = 0;
        if (r.ok && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns > 0) {
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

    // SQL type and size of each result column, as the driver describes them.
    QList<QPair<int, qulonglong>> describe(const QString& sql)
    {
        QList<QPair<int, qulonglong>> out;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
        SQLSMALLINT columns = 0;
        if (SQL_SUCCEEDED(SQLExecDirectW(stmt, wide(sql), SQL_NTS)))
            SQLNumResultCols(stmt, &columns);
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
            SQLWCHAR name[64];
            SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            SQLDescribeColW(stmt, c, name, 64, &nameLength, &type, &size, &digits, &nullable);
            out << qMakePair(int(type), qulonglong(size));
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return out;
    }

    bool setAutocommit(bool on)
    {
        return SQL_SUCCEEDED(SQLSetConnectAttr(
            m_dbc, SQL_ATTR_AUTOCOMMIT,
            reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0));
    }
    bool endTransaction(bool commit)
    {
        return SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_dbc, commit ? SQL_COMMIT : SQL_ROLLBACK));
    }

private:
    static SQLWCHAR* wide(const QString& text)
    {
        static thread_local QString keep;
        keep = text;
        return reinterpret_cast<SQLWCHAR*>(keep.data());
    }

    static QVariant text(SQLHSTMT stmt, SQLUSMALLINT column)
    {
        QString value;
        SQLWCHAR buffer[1024];
        for (;;) {
            SQLLEN length = 0;
            const SQLRETURN rc =
                SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof(buffer), &length);
            if (!SQL_SUCCEEDED(rc))
                break;
            if (length == SQL_NULL_DATA)
                return {};
            const qsizetype units = (length == SQL_NO_TOTAL || length >= SQLLEN(sizeof(buffer)))
                                        ? qsizetype(sizeof(buffer) / sizeof(SQLWCHAR)) - 1
                                        : length / qsizetype(sizeof(SQLWCHAR));
            value += QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), units);
            if (rc == SQL_SUCCESS)
                break;
        }
        return value;
    }

    static void diagnose(SQLSMALLINT type, SQLHANDLE handle, Result& r)
    {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(
                SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length))) {
            r.state = QString::fromUtf16(reinterpret_cast<const char16_t*>(state));
            r.native = native;
            r.message = QString::fromUtf16(reinterpret_cast<const char16_t*>(message));
        }
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

    OdbcClient::Result run(const QString& database, const QString& sql)
    {
        OdbcClient client;
        const auto login = client.connect(m_server.port(), database);
        return login.ok ? client.exec(sql) : login;
    }

    qint64 count(const QString& table)
    {
        const auto r = run(QStringLiteral("branch0001"), u"select count(*) from "_s + table);
        return r.rows.isEmpty() ? -1 : r.rows.first().first().toLongLong();
    }

private slots:
    void initTestCase()
    {
        m_options.databases = {
            {QStringLiteral("branch0001"), m_dir.filePath("branch.db"), QString()},
            {QStringLiteral("latin"), m_dir.filePath("latin.db"),
             QStringLiteral("Latin1_General_CI_AS")},
            {QStringLiteral("utf8"), m_dir.filePath("utf8.db"),
             QStringLiteral("Latin1_General_100_CI_AS_SC_UTF8")},
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
            const auto r = run(QStringLiteral("branch0001"), QString::fromUtf8(sql));
            QVERIFY2(r.ok, qPrintable(r.message));
        }
    }

    void init()
    {
        m_server.setRefuseLogins(false);
        m_server.setAnswerDelay(0);
        m_server.dropAfter(-1);
        m_server.dropOn(QRegularExpression());
        QString error;
        if (!m_server.isRunning())
            QVERIFY2(m_server.start(m_options, m_server.port(), &error), qPrintable(error));
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
        QTest::newRow("isnull")
            << "select isnull(b.RecCnt,0) as n from gogakinfo a left outer join "
               "tb_agentcallstatistics b on a.AgentID = b.AgentID"
            << SQL_INTEGER << 10ull;
    }
    void columnTypes()
    {
        QFETCH(QString, sql);
        QFETCH(int, type);
        QFETCH(qulonglong, size);
        OdbcClient client;
        QVERIFY(client.connect(m_server.port(), QStringLiteral("branch0001")).ok);
        const auto columns = client.describe(sql);
        QCOMPARE(columns.size(), 1);
        QCOMPARE(columns.first().first, type);
        QCOMPARE(columns.first().second, size);
    }

    // What goes in comes back, through the collation's code page where SQL
    // Server would use one.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QVariantList>("expected");
        const QString last =
            QStringLiteral("select top 1 Name, Memo from gogakinfo order by ID desc");
        const QString hangul100(100, QChar(0xAC00));
        const QString memo(4500, QChar(0xAC01));
        QTest::newRow("Null and empty")
            << "branch0001"
            << "NULL, N''" << last << QVariantList{QVariant(), QString()};
        // Two statements in one batch, without a semicolon.
        QTest::newRow("100 syllables in nvarchar(100), 4500 in (max)")
            << "branch0001" << u"N'"_s + hangul100 + u"', N'"_s + memo + u"'"_s
            << u"SET TEXTSIZE 2147483647 "_s + last << QVariantList{hangul100, memo};
        QTest::newRow("(max) cut at the default TEXTSIZE")
            << "branch0001" << u"N'', N'"_s + memo + u"'"_s << last
            << QVariantList{QString(), memo.left(2048)};
        QTest::newRow("code page 949 keeps a plain literal")
            << "branch0001"
            << "'김철수', 'O''Neil'" << last << QVariantList{"김철수", "O'Neil"};
        QTest::newRow("code page 1252 makes it ???")
            << "latin"
            << "'김철수', N'김철수'" << last << QVariantList{"???", "김철수"};
        QTest::newRow("UTF-8 collation keeps a plain literal")
            << "utf8"
            << "'김철수', NULL" << last << QVariantList{"김철수", QVariant()};
        QTest::newRow("server time")
            << "branch0001" << QString() << "SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE"
            << QVariantList{"2024-03-05 09:08:07"};
    }
    void roundTrip()
    {
        QFETCH(QString, database);
        QFETCH(QString, values);
        QFETCH(QString, select);
        QFETCH(QVariantList, expected);
        OdbcClient client;
        QVERIFY(client.connect(m_server.port(), database).ok);
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
        const QString truncated = QStringLiteral("String or binary data would be truncated.");
        QTest::newRow("nvarchar(100) over its length")
            << u"insert into gogakinfo(Name) values(N'"_s + QString(101, QChar(0xAC00)) + u"')"_s
            << 8152 << truncated << "gogakinfo";
        QTest::newRow("varchar(4) counts code page bytes")
            << "insert into codepage(v) values('김철수')" << 8152 << truncated << "codepage";
        QTest::newRow("update over length")
            << "update gogakinfo set JuminNo = '123456789012345678901' where Status = 'R'" << 8152
            << truncated << "gogakinfo where JuminNo is not null";
        QTest::newRow("duplicate primary key") << "insert into tb_callstatus(STATUS) values('1')"
                                               << 2627 << "Violation of PRIMARY KEY constraint"
                                               << "tb_callstatus";
        QTest::newRow("duplicate unique index")
            << "insert into recfile(R_Path) values('a.vox')" << 2601
            << "with unique index 'recfile_path'. The duplicate key value is (a.vox)."
            << "recfile";
        QTest::newRow("NULL into NOT NULL")
            << "insert into tb_campaign(CampaignID, tDel) values('9', NULL)" << 515
            << "Cannot insert the value NULL into column 'tDel'"
            << "tb_campaign";
        QTest::newRow("text into int")
            << "insert into TB_AGENTCALLSTATISTICS(RecBound) values('x')" << 245
            << "Conversion failed when converting the varchar value 'x' to data type int."
            << "tb_agentcallstatistics";
        QTest::newRow("invalid object")
            << "select * from nosuch" << 208 << "Invalid object name 'nosuch'."
            << "gogakinfo";
        QTest::newRow("invalid column")
            << "select nosuch from gogakinfo" << 207 << "Invalid column name 'nosuch'."
            << "gogakinfo";
        QTest::newRow("syntax") << "selct 1" << 102 << "Incorrect syntax near 'selct'."
                                << "gogakinfo";
    }
    void errors()
    {
        QFETCH(QString, sql);
        QFETCH(int, native);
        QFETCH(QString, text);
        QFETCH(QString, table);
        const qint64 before = count(table);
        const auto r = run(QStringLiteral("branch0001"), sql);
        QVERIFY(!r.ok);
        QCOMPARE(r.native, native);
        QVERIFY2(r.message.contains(text), qPrintable(r.message));
        QCOMPARE(count(table), before);
    }

    // QODBC on top of FreeTDS, with its default scrollable statements (server
    // cursors) and forward-only ones: exact affected rows, values, errors.
    void qodbc_data()
    {
        QTest::addColumn<bool>("forwardOnly");
        QTest::newRow("forward-only") << true;
        QTest::newRow("scrollable") << false;
    }
    void qodbc()
    {
        QFETCH(bool, forwardOnly);
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("qodbc"));
            db.setDatabaseName(
                OdbcClient::connectionString(m_server.port(), QStringLiteral("branch0001")));
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery q(db);
            q.setForwardOnly(forwardOnly);
            QVERIFY(q.exec("insert into gogakinfo(Name, Status) values(N'이영희', 'Q')"));
            QCOMPARE(q.numRowsAffected(), 1);
            QVERIFY(q.exec("update gogakinfo set AgentID = 'kim' where Status in ('Q', 'R')"));
            QCOMPARE(q.numRowsAffected(), count("gogakinfo where Status in ('Q', 'R')"));
            QVERIFY(q.exec(
                "select top 1 Name, Memo from gogakinfo where Status = 'Q' order by ID desc"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("이영희"));
            QVERIFY(q.isNull(1));
            QVERIFY(q.exec("delete from gogakinfo where Status = 'Q'"));
            QCOMPARE(q.numRowsAffected(), 1);
            // Bound values travel as RPC parameters, varchar in code page 949.
            QVERIFY(q.prepare("insert into gogakinfo(Name, Status) values(?, ?)"));
            q.addBindValue(QStringLiteral("박준영"));
            q.addBindValue(QStringLiteral("Q"));
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            QVERIFY(q.prepare("select Name from gogakinfo where Status = ?"));
            q.addBindValue(QStringLiteral("Q"));
            QVERIFY(q.exec() && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("박준영"));
            QVERIFY(q.exec("delete from gogakinfo where Status = 'Q'"));
            QVERIFY(
                !q.exec(u"insert into gogakinfo(Name) values(N'"_s + QString(101, u'x') + u"')"_s));
            QVERIFY2(
                q.lastError().databaseText().contains("String or binary data would be truncated."),
                qPrintable(q.lastError().databaseText()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("qodbc"));
    }

    // FreeTDS ends transactions with transaction-manager requests; another
    // session never sees what is not committed.
    void transactions_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("commit");
        QTest::addColumn<int>("kept");
        const QString row = QStringLiteral("insert into tb_campaign(CampaignID) values('T%1')");
        QTest::newRow("commit") << QStringList{row.arg(1)} << true << 1;
        QTest::newRow("rollback") << QStringList{row.arg(2), row.arg(3)} << false << 0;
        QTest::newRow("truncation keeps the transaction")
            << QStringList{row.arg(4), u"insert into tb_campaign(CampaignID) values('"_s +
                                           QString(11, u'x') + u"')"_s}
            << true << 1;
    }
    void transactions()
    {
        QFETCH(QStringList, statements);
        QFETCH(bool, commit);
        QFETCH(int, kept);
        const qint64 before = count("tb_campaign");
        OdbcClient client;
        QVERIFY(client.connect(m_server.port(), QStringLiteral("branch0001")).ok);
        QVERIFY(client.setAutocommit(false));
        for (const QString& sql : statements)
            client.exec(sql);
        QCOMPARE(count("tb_campaign"), before);
        QVERIFY(client.endTransaction(commit));
        QCOMPARE(count("tb_campaign"), before + kept);
        QCOMPARE(client.exec("select @@TRANCOUNT").rows.value(0).value(0).toInt(), 1);
    }

    // The application lock the counters take holds the database's write lock
    // until the transaction ends: another writer waits, then goes on.
    void appLockSerializes()
    {
        OdbcClient holder;
        OdbcClient other;
        QVERIFY(holder.connect(m_server.port(), QStringLiteral("branch0001")).ok);
        QVERIFY(other.connect(m_server.port(), QStringLiteral("branch0001")).ok);
        QVERIFY(holder.exec("BEGIN TRANSACTION").ok);
        QVERIFY(holder
                    .exec("EXEC sp_getapplock @Resource = 'counters', @LockMode = 'Exclusive', "
                          "@LockOwner = 'Transaction'")
                    .ok);
        QVERIFY(other.exec("SET LOCK_TIMEOUT 100").ok);
        const auto waiting = other.exec("insert into tb_campaign(CampaignID) values('L1')");
        QCOMPARE(waiting.native, 1222);
        QVERIFY(holder.exec("COMMIT TRANSACTION").ok);
        QVERIFY(other.exec("insert into tb_campaign(CampaignID) values('L1')").ok);
    }

    // Faults a test drives: the statement fails (FreeTDS reports a closed
    // connection as "Unknown error" or "Unexpected EOF from the server"), a
    // refused login carries 18456, a slow answer is cancelled; the statement
    // changed nothing and the next connect works again.
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("expected");
        QTest::newRow("connections dropped") << "drop"
                                             << "";
        QTest::newRow("dropped on a statement") << "drop-on"
                                                << "";
        QTest::newRow("dropped after one answer") << "drop-after"
                                                  << "";
        QTest::newRow("server stopped") << "stop"
                                        << "";
        QTest::newRow("login refused") << "refuse"
                                       << "18456";
        QTest::newRow("answer too slow") << "delay"
                                         << "HYT00";
    }
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, expected);
        OdbcClient client;
        QVERIFY(client.connect(m_server.port(), QStringLiteral("branch0001")).ok);
        if (fault == u"drop")
            m_server.dropConnections();
        else if (fault == u"drop-on")
            m_server.dropOn(QRegularExpression(QStringLiteral("recfile set Status")));
        else if (fault == u"drop-after")
            m_server.dropAfter(1);
        else if (fault == u"stop")
            m_server.stop();
        else if (fault == u"refuse")
            m_server.setRefuseLogins(true);
        else
            m_server.setAnswerDelay(3000);
        if (fault == u"drop-after")
            QVERIFY(client.exec(QStringLiteral("select 1")).ok);
        const auto r =
            fault == u"refuse"
                ? OdbcClient().connect(m_server.port(), QStringLiteral("branch0001"))
                : client.exec(
                      QStringLiteral("update recfile set Status = '9' where R_Path = 'a.vox'"), 1);
        QVERIFY(!r.ok);
        QVERIFY2(expected.isEmpty() || r.state == expected || QString::number(r.native) == expected,
                 qPrintable(r.state + u' ' + r.message));
        const bool connected = fault == u"refuse" || fault == u"delay";
        QTRY_COMPARE(m_server.connectionCount(), connected ? 1 : 0);

        init();
        const auto status =
            run(QStringLiteral("branch0001"),
                QStringLiteral("select Status from recfile where R_Path = 'a.vox'"));
        QCOMPARE(status.rows, QList<QVariantList>{{QStringLiteral("0")}});
        if (connected)
            QVERIFY(client.exec(QStringLiteral("select 1")).ok);
    }
};

QTEST_GUILESS_MAIN(TestTdsServer)
#include "tst_tdsserver.moc"
