#include "foundation/Database.h"

#include <QDateTime>

#include "foundation/ErrorLog.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "platform/ProgramFolder.h"

Database::Database(Session& session, ErrorLog& errors, MessageSink& messages)
    : m_session(session), m_errors(errors), m_messages(messages)
{
    // The branch database is opened a dozen times a call: its session
    // outlives each close. The directory is asked once per login, and the
    // local file is a file.
    m_sqlConn.setKeepSessions(true);
}

QString Database::sqlServerConnectionString(const QString& password, const QString& user,
                                            const QString& database, const QString& address,
                                            const QString& port)
{
    return QStringLiteral("Provider=SQLOLEDB.1") + QStringLiteral(";Password=") + password +
           QStringLiteral(";Persist Security Info=True") + QStringLiteral(";User ID=") + user +
           QStringLiteral(";Initial Catalog=") + database + QStringLiteral(";Data Source= ") +
           address + QStringLiteral(";Network Address= ") + address + u',' + port +
           QStringLiteral(";Network Library=dbmssocn");
}

QString Database::branchConnectionString() const
{
    return sqlServerConnectionString(m_session.CfgDBPass, m_session.CfgDBUser, m_session.CfgDBName,
                                     m_session.CfgDBIp, m_session.CfgDBPort);
}

QString Database::mainConnectionString() const
{
    return sqlServerConnectionString(m_session.BranchDBPass, m_session.BranchDBUser,
                                     m_session.BranchDBName, m_session.BranchIP,
                                     m_session.BranchDBPort);
}

QString Database::localConnectionString() const
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           ProgramFolder::path(m_session.programFolder, QStringLiteral("\\Brenvo.mdb")) +
           QStringLiteral(";Persist Security Info=False;");
}

bool Database::openSqlServer(Connection& connection, const QString& connectionString,
                             const QString& function, Slot slot)
{
    QString error;
    connection.setEncryption(SqlServerEncryption::fromSettings(
        m_session.CfgDBEncrypt, m_session.CfgDBCaFile, m_session.programFolder));
    connection.setQueryTimeout(m_session.CfgDBQueryTimeout);
    if (connection.open(connectionString, m_session.programFolder, &error)) {
        // A login is the server's answer; an opened file says nothing yet.
        if (connection.kind() == Connection::Kind::SqlServer)
            away(slot) = false;
        return true;
    }
    connectFailed(slot, connectionString, function, error);
    return false;
}

void Database::connectFailed(Slot slot, const QString& connectionString, const QString& function,
                             const QString& error)
{
    bool& told = away(slot);
    const QString message = QStringLiteral("데이터베이스 연결을 실패했습니다.") +
                            QStringLiteral("\r\n") + connectionString;
    if (!told)
        m_messages.showMessage(ErrorLog::masked(message), QString(), MessageIcon::None);
    report(told, message + error, QStringLiteral("MDatabaseProcedure"), function, connectionString);
    told = true;
}

void Database::connectFailed(const QString& error)
{
    connectFailed(Slot::Main, mainConnectionString(), QStringLiteral("SQLDBConnect"), error);
}

bool Database::crossesNetwork() const
{
    return !m_session.BranchIP.trimmed().startsWith(QStringLiteral("sqlite:"), Qt::CaseInsensitive);
}

CentralLink::Target Database::centralTarget() const
{
    return {mainConnectionString(), m_session.programFolder,
            SqlServerEncryption::fromSettings(m_session.CfgDBEncrypt, m_session.CfgDBCaFile,
                                              m_session.programFolder),
            m_session.CfgDBQueryTimeout};
}

QString Database::transactionLock(const Connection& connection)
{
    // SQL Server reads under read committed, so two agents would read the same
    // counts: every transaction takes one exclusive application lock first,
    // held until it ends, as SQLite's BEGIN IMMEDIATE takes the write lock.
    // Taken first by all, it waits but cannot deadlock.
    if (connection.kind() != Connection::Kind::SqlServer)
        return QString();
    return QStringLiteral("EXEC sp_getapplock @Resource = 'brenvo-write', @LockMode = "
                          "'Exclusive', @LockOwner = 'Transaction'");
}

void Database::report(bool away, const QString& error, const QString& location,
                      const QString& function, const QString& sql)
{
    // While a server is away the agent was told once; every failure still
    // goes into the file.
    if (away)
        m_errors.appendErrorLog(error, location, function, sql);
    else
        m_errors.WriteErrorLog(error, location, function, sql);
}

void Database::BranchSQLDBConnect()
{
    m_branchConnected = false;
    m_branchConnected = openSqlServer(m_branchConn, branchConnectionString(),
                                      QStringLiteral("BranchSQLDBConnect"), Slot::Directory);
}

void Database::BranchSQLDBClose()
{
    m_branchConn.close();
    m_branchConnected = false;
}

void Database::SQLDBConnect()
{
    m_sqlConnected = false;
    // A server that failed the link, or keeps a write of it waiting, is not
    // waited on here as well: the link tells when it answers again.
    if (crossesNetwork() && (m_link.down() || m_link.stuck())) {
        connectFailed(QStringLiteral("\r\nThe server is not answering the desk's link."));
        return;
    }
    m_sqlConnected = openSqlServer(m_sqlConn, mainConnectionString(),
                                   QStringLiteral("SQLDBConnect"), Slot::Main);
    if (!m_sqlConnected && crossesNetwork())
        m_link.suspect(centralTarget());
    if (m_sqlConnected && !crossesNetwork() && m_journal.waiting() > 0)
        m_journal.deliver();
}

void Database::SQLDBClose()
{
    m_sqlConn.close();
    m_sqlConnected = false;
}

bool Database::MDBConnection()
{
    m_mdbConnected = false;
    const QString connectionString = localConnectionString();
    QString error;
    if (m_mdbConn.open(connectionString, m_session.programFolder, &error)) {
        m_mdbConnected = true;
        return true;
    }
    m_messages.showMessage(QStringLiteral("database 경로가 틀립니다.") +
                               QStringLiteral("\r\n\r\n") +
                               QStringLiteral(" 경로 확인 후 다시 시도하세요. ") +
                               QStringLiteral("\r\n") + connectionString,
                           QString(), MessageIcon::Information);
    m_errors.WriteErrorLog(error, QStringLiteral("modDBProcedure()"),
                           QStringLiteral("MDBConnection()"), connectionString);
    return false;
}

void Database::MDBClose()
{
    m_mdbConnected = false;
    m_mdbConn.close();
}

QString Database::field(const Recordset& rs, const char* name)
{
    return GetFieldValue(rs.value(QLatin1String(name)));
}

QString Database::GetFieldValue(const QVariant& value)
{
    if (value.isNull())
        return QString();
    return value.toString().trimmed();
}

QString Database::GetNowDate()
{
    static const QString sql =
        QStringLiteral("SELECT CONVERT(varchar(20), GETDATE(), 20)  AS NOWDATE");
    static const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    if (m_serverLeadMs && (crossesNetwork() || holdingOff()))
        return QDateTime::currentDateTime().addMSecs(*m_serverLeadMs).toString(format);
    // Without a lead the workstation's clock stands in, as for any failure.
    if (holdingOff())
        return QString();
    Use use(*this, Slot::Main);
    Recordset rs;
    QString error;
    if (!m_sqlConn.openRecordset(sql, &rs, &error)) {
        report(away(Slot::Main), error, QStringLiteral("MuserFuncNProc"),
               QStringLiteral("GetNowDate()"), QStringLiteral("USP_NOW_DATE"));
        return QString();
    }
    away(Slot::Main) = false;
    if (rs.isEof() || rs.isBof())
        return QString();
    const QString now = rs.value(QStringLiteral("NOWDATE")).toString();
    if (const QDateTime server = QDateTime::fromString(now, format); server.isValid())
        m_serverLeadMs = QDateTime::currentDateTime().msecsTo(server);
    return now;
}

Connection& Database::connection(Slot slot)
{
    switch (slot) {
    case Slot::Directory:
        return m_branchConn;
    case Slot::Local:
        return m_mdbConn;
    case Slot::Main:
        break;
    }
    return m_sqlConn;
}

bool Database::isConnected(Slot slot) const
{
    switch (slot) {
    case Slot::Directory:
        return m_branchConnected;
    case Slot::Local:
        return m_mdbConnected;
    case Slot::Main:
        break;
    }
    return m_sqlConnected;
}

void Database::open(Slot slot)
{
    switch (slot) {
    case Slot::Directory:
        BranchSQLDBConnect();
        break;
    case Slot::Local:
        MDBConnection();
        break;
    case Slot::Main:
        SQLDBConnect();
        break;
    }
}

void Database::close(Slot slot)
{
    switch (slot) {
    case Slot::Directory:
        BranchSQLDBClose();
        break;
    case Slot::Local:
        MDBClose();
        break;
    case Slot::Main:
        SQLDBClose();
        break;
    }
}

bool Database::execute(Slot slot, const QString& sql, const QString& location,
                       const QString& function, int* rowsAffected)
{
    if (heldOff(slot, location, function, sql))
        return false;
    QString error;
    if (connection(slot).execute(sql, &error, rowsAffected)) {
        away(slot) = false;
        return true;
    }
    statementFailed(slot, error, location, function, sql, connection(slot).linkFailed());
    return false;
}

bool Database::holdingOff() const
{
    return m_away[int(Slot::Main)] && !crossesNetwork() &&
           QDateTime::currentMSecsSinceEpoch() - m_branchLostAt < CentralLink::kRetryMs;
}

bool Database::heldOff(Slot slot, const QString& location, const QString& function,
                       const QString& sql)
{
    if (slot != Slot::Main || !holdingOff())
        return false;
    report(true, QStringLiteral("Held by another writer a moment ago: not asked again yet."),
           location, function, sql);
    return true;
}

void Database::statementFailed(Slot slot, const QString& error, const QString& location,
                               const QString& function, const QString& sql, bool linkFailed)
{
    report(away(slot), error, location, function, sql);
    // The local file has no outage to wait out: its failures are always shown.
    if (slot == Slot::Local || !linkFailed)
        return;
    away(slot) = true;
    if (slot == Slot::Main)
        m_branchLostAt = QDateTime::currentMSecsSinceEpoch();
    if (slot == Slot::Main && crossesNetwork() && !m_link.down())
        m_link.suspect(centralTarget());
}

bool Database::query(Slot slot, const QString& sql, Recordset* result, const QString& location,
                     const QString& function)
{
    if (heldOff(slot, location, function, sql))
        return false;
    QString error;
    if (connection(slot).openRecordset(sql, result, &error)) {
        away(slot) = false;
        return true;
    }
    statementFailed(slot, error, location, function, sql, connection(slot).linkFailed());
    return false;
}

void Database::read(Slot slot, const QString& sql, QObject* context, const QString& location,
                    const QString& function, const std::function<void(const Recordset*)>& done,
                    Closing closing)
{
    if (slot == Slot::Main && crossesNetwork()) {
        m_link.read(centralTarget(), sql, context,
                    [this, sql, location, function, done](const Recordset* rows,
                                                          const QString& error, bool lost) {
                        if (!rows)
                            statementFailed(Slot::Main, error, location, function, sql, lost);
                        done(rows);
                    });
        return;
    }
    Recordset rows;
    bool ok = false;
    {
        Use connection(*this, slot, closing);
        ok = connection.connected() && query(slot, sql, &rows, location, function);
    }
    done(ok ? &rows : nullptr);
}

bool Database::inTransaction(const QString& location, const QString& function,
                             const std::function<bool()>& steps, Slot slot)
{
    if (heldOff(slot, location, function, QStringLiteral("BEGIN TRANSACTION")))
        return false;
    Connection& conn = connection(slot);
    const QString first = transactionLock(conn);
    const bool told = away(slot);
    QString error;
    if (!conn.beginTransaction(&error, first)) {
        conn.rollback();
        report(told, error, location, function,
               first.isEmpty() ? QStringLiteral("BEGIN TRANSACTION") : first);
        return false;
    }
    if (!steps()) {
        conn.rollback();
        return false;
    }
    if (!conn.commit(&error)) {
        conn.rollback();
        report(told, error, location, function, QStringLiteral("COMMIT TRANSACTION"));
        return false;
    }
    return true;
}

Database::Use::Use(Database& db, Slot slot, Closing closing)
    : m_db(db), m_slot(slot), m_closing(closing)
{
    if (!m_db.isConnected(slot)) {
        m_db.open(slot);
        m_opened = true;
    }
}

Database::Use::~Use()
{
    const bool close =
        m_closing == Closing::Always || (m_closing == Closing::IfOpenedHere && m_opened);
    if (close && m_db.isConnected(m_slot))
        m_db.close(m_slot);
}
