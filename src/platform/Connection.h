#pragma once

#include "platform/OdbcConnection.h"
#include "platform/Recordset.h"

#include <QHash>
#include <QString>

// A database connection opened from an ADO-style connection string.
//
// "Provider=SQLOLEDB.1;...;Data Source= host;Network Address= host,port;..."
// opens SQL Server through OdbcConnection and FreeTDS, unless the address has
// the form "sqlite:NAME", which opens the SQLite file NAME in the program
// folder (the embedded default). "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH"
// opens the SQLite file PATH read-write without creating it.
//
// Statements are always written in SQL Server's dialect; on SQLite they are
// rewritten by SqlDialect just before they run. When BRENVO_SQL_JOURNAL names
// a file, every statement sent to a SQL Server slot is appended to it as it
// was written, with whether the database took it, one JSON object per line,
// so a test run can check them.
class Connection
{
public:
    enum class Kind
    {
        SqlServer,
        Sqlite,
        LocalFile
    };

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open(const QString& connectionString, const QString& programFolder, QString* error);
    void close();
    bool isOpen() const;
    Kind kind() const { return m_kind; }

    bool execute(const QString& sql, QString* error, int* rowsAffected = nullptr);
    bool openRecordset(const QString& sql, Recordset* result, QString* error);

    bool beginTransaction(QString* error);
    bool commit(QString* error);
    void rollback();

    // Parses "key=value;..." into lower-case keys with trimmed values.
    static QHash<QString, QString> parseConnectionString(const QString& connectionString);
    // The ODBC connection string for FreeTDS, from the ADO keys.
    static QString odbcConnectionString(const QHash<QString, QString>& keys);

    // Milliseconds SQLite waits on a locked database before it gives up.
    static constexpr int kSqliteBusyTimeoutMs = 5000;
    // Seconds SQL Server has to answer a login, and any later request.
    static constexpr int kLoginTimeoutSeconds = 10;
    static constexpr int kConnectionTimeoutSeconds = 30;

private:
    bool reportClosed(QString* error) const;
    void journal(const QString& sql, bool accepted) const;

    QString m_name;
    Kind m_kind = Kind::SqlServer;
    OdbcConnection m_odbc;
};
