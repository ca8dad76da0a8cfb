#include "ProgramFolderFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QUuid>

#include "platform/IniFile.h"
#include "platform/SqlDialect.h"
#include "TdsServer.h"

namespace {

// The back end of the test function that took it, so that it never leaks
// into the next function.
Backend currentBackend = Backend::Sqlite;
QByteArray currentFunction;

const char* const kNames[] = {"SQLite", "FreeTDS stand-in", "SQL Server"};

// Runs fn on a fresh Qt connection to an SQLite file.
template <typename Fn> void onSqliteFile(const QString& file, Fn fn)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        sqlite.setDatabaseName(file);
        if (sqlite.open())
            fn(sqlite);
        sqlite.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// A row's count columns, value(i) each, '|'-joined.
template <typename Value> QString joined(qsizetype count, Value value)
{
    QStringList columns;
    for (qsizetype i = 0; i < count; ++i)
        columns << (value(i).isNull() ? QStringLiteral("<null>") : value(i).toString());
    return columns.join(u'|');
}

} // namespace

void Backends::addRows()
{
    QTest::addColumn<Backend>("backend");
    for (Backend b : {Backend::Sqlite, Backend::StandIn, Backend::SqlServer})
        QTest::newRow(kNames[int(b)]) << b;
}

QString Backends::use(Backend backend)
{
    currentBackend = backend;
    currentFunction = QTest::currentTestFunction();
    if (backend == Backend::SqlServer && qEnvironmentVariable("BRENVO_TEST_MSSQL").isEmpty())
        return QStringLiteral("BRENVO_TEST_MSSQL is not set: no SQL Server to run against");
    return QString();
}

Backend Backends::current()
{
    return currentFunction == QTest::currentTestFunction() ? currentBackend : Backend::Sqlite;
}

ProgramFolderFixture::ProgramFolderFixture(const DemoOptions& options, Backend backend)
    : errors(dir.path(), messages), db(session, errors, messages), m_backend(backend)
{
    session.programFolder = dir.path();
    m_valid = dir.isValid() && DemoFolder::create(dir.path(), options, &m_error);
    if (m_valid && backend == Backend::StandIn)
        m_valid = serveFromStandIn();
    else if (m_valid && backend == Backend::SqlServer)
        m_valid = fillSqlServer(qEnvironmentVariable("BRENVO_TEST_MSSQL"));
    if (!m_valid)
        qWarning("program folder fixture: %s", qPrintable(m_error));
}

ProgramFolderFixture::~ProgramFolderFixture() = default;

bool ProgramFolderFixture::serveFromStandIn()
{
    m_standIn = std::make_unique<TdsServer>();
    SqlServerAddress address;
    TdsServer::Options options;
    options.user = address.user;
    options.password = address.password;
    options.schemaFile = QStringLiteral(":/schema/mssql.sql");
    options.databases = {{address.directoryDb, path(QLatin1String(DemoFolder::kDirectoryDb)), {}},
                         {address.branchDb, path(QLatin1String(DemoFolder::kBranchDb)), {}}};
    if (!m_standIn->start(options, 0, &m_error))
        return false;
    address.port = m_standIn->port();
    return DemoFolder::useSqlServer(dir.path(), address, &m_error);
}

// Copies both demo files into the one database named: the directory and
// the branch tables share it there.
bool ProgramFolderFixture::fillSqlServer(const QString& adoConnectionString)
{
    m_server = std::make_unique<Connection>();
    return DemoFolder::useSqlServer(dir.path(), SqlServerAddress::fromAdo(adoConnectionString),
                                    &m_error) &&
           m_server->open(adoConnectionString, dir.path(), &m_error) &&
           m_server->execute(QStringLiteral("EXEC sp_getapplock @Resource = 'brenvo-tests', "
                                            "@LockMode = 'Exclusive', @LockOwner = 'Session'"),
                             &m_error) &&
           DemoFolder::copyToSqlServer(dir.path(), *m_server, &m_error);
}

void ProgramFolderFixture::loginAs(const QString& agentId)
{
    const QString ini = path(QStringLiteral("Brenvo.ini"));
    const auto setting = [&ini](const char* key) {
        return IniFile::value(QStringLiteral("Database"), QLatin1String(key), QString(), ini);
    };
    session.CfgDBIp = setting("DBIp");
    session.CfgDBName = setting("DBName");
    session.CfgDBUser = session.BranchDBUser = setting("DBUser");
    session.CfgDBPass = session.BranchDBPass = setting("DBPass");
    session.CfgDBPort = session.BranchDBPort = setting("DBPort");
    session.BranchID = QStringLiteral("0001");
    session.AgentID = agentId;
    // Each selected column, in order, into its session field.
    const auto fill = [this](const char* file, const QString& sql,
                             std::initializer_list<QString Session::*> fields) {
        const QStringList values = rows(QLatin1String(file), sql).value(0).split(u'|');
        qsizetype i = 0;
        for (QString Session::*field : fields)
            session.*field = values.value(i++);
    };
    fill(DemoFolder::kDirectoryDb,
         QStringLiteral("SELECT BranchName, BranchIP, DBName, FtpIP, FtpUser, FtpPwd, FtpPortNo, "
                        "LandCode, LineAreaCd, LineLongCd FROM TB_BRANCH WHERE BranchID = '0001'"),
         {&Session::BranchName, &Session::BranchIP, &Session::BranchDBName, &Session::FtpIP,
          &Session::FtpUser, &Session::FtpPwd, &Session::FtpPortNo, &Session::LandCode,
          &Session::LineAreaCd, &Session::LineLongCd});
    fill(DemoFolder::kBranchDb,
         QStringLiteral("SELECT TeamID, UserName, Agent_Privilege, Agent_Local_PhoneNO FROM "
                        "AgentLogin WHERE AgentID = '%1'")
             .arg(agentId),
         {&Session::TeamID, &Session::UserName, &Session::AgentPrivilege,
          &Session::AgentLocalPhoneNO});
}

bool ProgramFolderFixture::onServer(const QString& databaseFile) const
{
    return m_server && databaseFile != QLatin1String(DemoFolder::kLocalDb);
}

bool ProgramFolderFixture::answered() const
{
    return QTest::qWaitFor([this] { return db.link().reading() == 0; }, 30000);
}

QStringList ProgramFolderFixture::rows(const QString& databaseFile, const QString& sql) const
{
    // What the desk's link still has on its way belongs to what a test reads.
    static_cast<void>(
        QTest::qWaitFor([this] { return db.link().pending() == 0 || db.link().down(); }, 30000));
    QStringList out;
    if (onServer(databaseFile)) {
        Recordset rs;
        QString error;
        if (!m_server->openRecordset(sql, &rs, &error))
            out << QStringLiteral("SQL ERROR: ") + error;
        for (const QVector<QVariant>& row : rs.rows())
            out << joined(row.size(), [&row](qsizetype i) { return row.at(i); });
        return out;
    }
    onSqliteFile(path(databaseFile), [&](QSqlDatabase& sqlite) {
        QSqlQuery q(sqlite);
        if (!q.exec(SqlDialect::toSqlite(sql)))
            out << QStringLiteral("SQL ERROR: ") + q.lastError().text();
        while (q.next())
            out << joined(q.record().count(), [&q](qsizetype i) { return q.value(int(i)); });
    });
    return out;
}

bool ProgramFolderFixture::exec(const QString& databaseFile, const QString& sql) const
{
    if (onServer(databaseFile))
        return m_server->execute(sql, nullptr);
    bool ok = false;
    onSqliteFile(path(databaseFile), [&](QSqlDatabase& sqlite) {
        ok = QSqlQuery(sqlite).exec(SqlDialect::toSqlite(sql));
    });
    return ok;
}

bool ProgramFolderFixture::write(const QString& relative, const QByteArray& bytes) const
{
    QFile file(path(relative));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool ProgramFolderFixture::fragment(const QString& localFile, int keep) const
{
    return exec(localFile, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                          "FROM n WHERE i < 2000) INSERT INTO recfile (R_Path, "
                                          "tMemo) SELECT i, printf('%.300c', 'x') FROM n")) &&
           exec(localFile, QStringLiteral("DELETE FROM recfile WHERE ID > %1").arg(keep));
}

void ProgramFolderFixture::takeDirectoryDown()
{
    if (m_backend == Backend::Sqlite) {
        QFile::remove(path(QLatin1String(DemoFolder::kDirectoryDb)));
        return;
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const int nowhere = probe.serverPort();
    probe.close();
    DemoFolder::useSqlServer(dir.path(), {.port = nowhere}, &m_error);
}

int ProgramFolderFixture::declaredLength(const QString& table, const QString& column)
{
    QFile schema(QStringLiteral(":/schema/mssql.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        return 0;
    // The table's statement ends at its semicolon.
    const QRegularExpression declared(
        QStringLiteral(R"(CREATE TABLE %1 \([^;]*?\b%2\s+n?(?:var)?char\((\d+)\))")
            .arg(table, column),
        QRegularExpression::CaseInsensitiveOption);
    return declared.match(QString::fromUtf8(schema.readAll())).captured(1).toInt();
}
