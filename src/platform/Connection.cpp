#include "platform/Connection.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include "platform/SqlDialect.h"

namespace {

QAtomicInt connectionCounter;

QString describe(const QSqlError& error)
{
    QString text = error.databaseText();
    if (!error.driverText().isEmpty() && !text.contains(error.driverText()))
        text = text.isEmpty() ? error.driverText()
                              : text + QStringLiteral(" (") + error.driverText() + u')';
    return text.isEmpty() ? error.text() : text;
}

// ODBC values with separators or braces go between braces, with '}' doubled.
QString odbcValue(const QString& value)
{
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') &&
        value.trimmed() == value)
        return value;
    QString escaped = value;
    escaped.replace(u'}', QStringLiteral("}}"));
    return u'{' + escaped + u'}';
}

} // namespace

Connection::Connection()
    : m_name(QStringLiteral("brenvo-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    m_odbc.close();
    closeQtDatabase();
}

QHash<QString, QString> Connection::parseConnectionString(const QString& connectionString)
{
    QHash<QString, QString> keys;
    for (const QString& part : connectionString.split(u';')) {
        const int eq = part.indexOf(u'=');
        if (eq < 0)
            continue;
        keys.insert(part.left(eq).trimmed().toLower(), part.mid(eq + 1).trimmed());
    }
    return keys;
}

QPair<QString, QString> Connection::serverAndPort(const QHash<QString, QString>& keys)
{
    QString server = keys.value(QStringLiteral("data source"));
    QString port;
    const QString network = keys.value(QStringLiteral("network address"));
    const int comma = network.lastIndexOf(u',');
    if (comma >= 0) {
        port = network.mid(comma + 1).trimmed();
        if (server.isEmpty())
            server = network.left(comma).trimmed();
    }
    return {server, port};
}

QString Connection::odbcConnectionString(const QHash<QString, QString>& keys,
                                         const SqlServerEncryption& encryption, QString* error)
{
    const auto [server, port] = serverAndPort(keys);
    QString target = QStringLiteral("SERVER=%1;PORT=%2").arg(odbcValue(server), odbcValue(port));
    if (encryption.verifiesServer()) {
        QString ignored;
        const QString section = encryption.freeTdsSection(server, port, error ? error : &ignored);
        if (section.isEmpty())
            return QString();
        target = QStringLiteral("SERVERNAME=") + section;
    }
    return QStringLiteral("DRIVER=FreeTDS;%1;DATABASE=%2;UID=%3;PWD=%4;"
                          "TDS_Version=7.4;ClientCharset=UTF-8;Encryption=%5")
        .arg(target, odbcValue(keys.value(QStringLiteral("initial catalog"))),
             odbcValue(keys.value(QStringLiteral("user id"))),
             odbcValue(keys.value(QStringLiteral("password"))), encryption.level());
}

bool Connection::open(const QString& connectionString, const QString& programFolder, QString* error)
{
    closeQtDatabase();
    const QHash<QString, QString> keys = parseConnectionString(connectionString);
    const QString provider = keys.value(QStringLiteral("provider")).toLower();
    const QString source = keys.value(QStringLiteral("data source"));
    const bool localFile = provider.startsWith(QStringLiteral("microsoft.jet"));
    if (!localFile && !source.startsWith(QStringLiteral("sqlite:"), Qt::CaseInsensitive)) {
        m_kind = Kind::SqlServer;
        const QString odbc = odbcConnectionString(keys, m_encryption, error);
        if (odbc.isEmpty() || openSqlServer(odbc, error))
            return !odbc.isEmpty();
        // The driver's message for a refused TLS connection says nothing of TLS.
        if (error && error->contains(u"(20002)")) {
            const auto [server, port] = serverAndPort(keys);
            if (const QString why = m_encryption.refusal(server, port, kLoginTimeoutSeconds * 1000);
                !why.isEmpty())
                *error += u' ' + why;
        }
        return false;
    }
    m_odbc.close(); // a session kept from a SQL Server string before
    m_kept = false;

    // mode=rw: a missing file is an error, as the Jet provider and a missing
    // server have it.
    m_kind = localFile ? Kind::LocalFile : Kind::Sqlite;
    const QString file = localFile ? source : QDir(programFolder).filePath(source.mid(7).trimmed());
    if (!QFileInfo::exists(file)) {
        if (error)
            *error = (localFile ? QStringLiteral("Could not find file '%1'.")
                                : QStringLiteral("[DBNETLIB][ConnectionOpen (Connect()).]SQL "
                                                 "Server does not exist or access denied. (%1)"))
                         .arg(QDir::toNativeSeparators(file));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kSqliteBusyTimeoutMs));
    db.setDatabaseName(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    if (!db.open()) {
        if (error)
            *error = describe(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        return false;
    }
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    return true;
}

bool Connection::openSqlServer(const QString& odbcConnectionString, QString* error)
{
    // A kept session is taken up only while it is known to be alive: its
    // socket still open with nothing unasked for on it (no round trip), or,
    // where the socket is not known, one round trip once it has idled.
    const bool alive = m_odbc.socketKnown() ? m_odbc.looksAlive()
                                            : m_idle.elapsed() < kCheckAfterIdleMs || m_odbc.ping();
    if (m_kept && odbcConnectionString == m_odbcString && m_odbc.isReusable() && alive) {
        m_kept = false;
        return true;
    }
    m_kept = false;
    m_odbcString = odbcConnectionString;
    if (!m_odbc.open(odbcConnectionString, kLoginTimeoutSeconds, kConnectionTimeoutSeconds, error))
        return false;
    ++m_sessionsOpened;
    return true;
}

void Connection::setKeepSessions(bool keep)
{
    m_keepSessions = keep;
    if (!keep && m_kept) {
        m_kept = false;
        m_odbc.close();
    }
}

void Connection::close()
{
    // Never left open behind the slot's back, least of all on a kept session.
    if (m_transactions > 0) {
        m_transactions = 1;
        rollback();
    }
    if (m_keepSessions && m_kind == Kind::SqlServer && m_odbc.isReusable()) {
        m_kept = true;
        m_idle.start();
    } else {
        m_kept = false;
        m_odbc.close();
    }
    closeQtDatabase();
}

void Connection::closeQtDatabase()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool Connection::isOpen() const
{
    if (m_kind == Kind::SqlServer)
        return m_odbc.isOpen() && !m_kept;
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

void Connection::journal(const QString& sql, bool accepted) const
{
    if (m_kind == Kind::LocalFile)
        return;
    static const QString path = qEnvironmentVariable("BRENVO_SQL_JOURNAL");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::Append | QIODevice::WriteOnly)) {
        const QJsonObject entry{{QStringLiteral("sql"), sql},
                                {QStringLiteral("accepted"), accepted}};
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    }
}

bool Connection::reportClosed(QString* error) const
{
    if (isOpen())
        return false;
    if (error)
        *error = QStringLiteral("Operation is not allowed when the object is closed.");
    return true;
}

bool Connection::execute(const QString& sql, QString* error, int* rowsAffected)
{
    m_linkFailed = true;
    if (reportClosed(error))
        return false;
    if (m_kind == Kind::SqlServer) {
        const bool ok = m_odbc.execute(sql, error, rowsAffected);
        journal(sql, ok);
        m_linkFailed = !ok && m_odbc.sessionLost();
        return ok;
    }
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    const bool ok = query.exec(SqlDialect::toSqlite(sql));
    journal(sql, ok);
    if (!ok) {
        // Busy, locked, an I/O error, a file that cannot be opened: the
        // file's state, not the statement's fault.
        static const QList<int> fileStates{5, 6, 10, 14};
        m_linkFailed = fileStates.contains(query.lastError().nativeErrorCode().toInt() & 0xff);
        if (error)
            *error = describe(query.lastError());
        return false;
    }
    m_linkFailed = false;
    if (rowsAffected)
        *rowsAffected = query.numRowsAffected();
    return true;
}

bool Connection::openRecordset(const QString& sql, Recordset* result, QString* error)
{
    if (reportClosed(error))
        return false;
    if (m_kind == Kind::SqlServer) {
        const bool ok = m_odbc.query(sql, result, error);
        journal(sql, ok);
        return ok;
    }
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    query.setForwardOnly(true);
    const bool ok = query.exec(SqlDialect::toSqlite(sql));
    journal(sql, ok);
    if (!ok) {
        if (error)
            *error = describe(query.lastError());
        return false;
    }
    const QSqlRecord record = query.record();
    QStringList names;
    names.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    QVector<QVector<QVariant>> rows;
    while (query.next()) {
        QVector<QVariant> row(record.count());
        for (int i = 0; i < record.count(); ++i)
            row[i] = query.value(i);
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        if (error)
            *error = describe(query.lastError());
        return false;
    }
    *result = Recordset(std::move(names), std::move(rows));
    return true;
}

bool Connection::beginTransaction(QString* error, const QString& first)
{
    if (reportClosed(error))
        return false;
    // Inside one already open: a part of it, committed or undone with it.
    if (m_transactions > 0) {
        ++m_transactions;
        return first.isEmpty() || execute(first, error);
    }
    ++m_transactions;
    m_doomed = false;
    if (m_kind == Kind::SqlServer) {
        // One request: the transaction and its first statement.
        const bool ok = m_odbc.beginTransaction(first, error);
        if (!first.isEmpty())
            journal(first, ok);
        return ok;
    }
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    // Every transaction of the program writes: take the write lock at the
    // start, so two agents' read-then-write steps run one after the other
    // instead of failing on an upgrade from a read lock.
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (error)
            *error = describe(begin.lastError());
        return false;
    }
    return first.isEmpty() || execute(first, error);
}

bool Connection::commit(QString* error)
{
    if (m_transactions > 1) {
        --m_transactions;
        return true;
    }
    if (m_doomed) {
        rollback();
        if (error)
            *error = QStringLiteral("A part of the transaction failed; all of it was undone.");
        return false;
    }
    bool committed = true;
    if (m_kind == Kind::SqlServer) {
        committed = m_odbc.endTransaction(true, error);
    } else {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        committed = db.commit();
        if (!committed && error)
            *error = describe(db.lastError());
    }
    if (committed)
        m_transactions = 0;
    return committed;
}

void Connection::rollback()
{
    if (m_transactions > 1) {
        // The outer transaction ends undone, whatever else it does.
        --m_transactions;
        m_doomed = true;
        return;
    }
    m_transactions = 0;
    m_doomed = false;
    if (m_kind == Kind::SqlServer) {
        m_odbc.endTransaction(false, nullptr);
        return;
    }
    QSqlDatabase::database(m_name, false).rollback();
}
