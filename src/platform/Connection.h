#pragma once

#include "platform/OdbcConnection.h"
#include "platform/Recordset.h"
#include "platform/SqlServerEncryption.h"

#include <QElapsedTimer>
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
//
// A connection told to keep its sessions (setKeepSessions) closes only in
// name on SQL Server: the session behind it stays logged in, and the next
// open with the same connection string takes it up again instead of a new
// TCP connection and login. It is taken up only while it is sound: never
// after a failure of the connection itself or with a transaction left open,
// never when the driver counts it dead, and only while its socket is still
// open with nothing unasked for on it (the server's end of a dropped session
// shows there at once, without a round trip; where the socket cannot be
// known, a session idle for kCheckAfterIdleMs is asked one round trip).
// Otherwise the open connects afresh, and reports what that connect reports.
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
    void setKeepSessions(bool keep);
    // How the next SQL Server opens use TLS.
    void setEncryption(const SqlServerEncryption& encryption) { m_encryption = encryption; }
    // Seconds a SQL Server statement may take; the session is then given up.
    void setQueryTimeout(int seconds) { m_odbc.setQueryTimeout(seconds); }
    // SQL Server sessions logged in since construction; a kept session taken
    // up again adds nothing.
    int sessionsOpened() const { return m_sessionsOpened; }
    Kind kind() const { return m_kind; }

    bool execute(const QString& sql, QString* error, int* rowsAffected = nullptr);
    bool openRecordset(const QString& sql, Recordset* result, QString* error);
    // The last execute failed for the connection's sake, not the statement's
    // (the connection closed, the session lost or timed out, the file locked
    // or unreadable): sent again later, it may well succeed.
    bool linkFailed() const { return m_linkFailed; }

    // Starts a transaction and runs `first` in it (on SQL Server in the same
    // request); false when either failed, the transaction then still to be
    // rolled back. Transactions nest by count: one begun inside another is
    // part of it, its commit only counts down, its rollback dooms the outer
    // one. Closing the connection rolls back whatever is still open.
    bool beginTransaction(QString* error, const QString& first = QString());
    bool commit(QString* error);
    void rollback();
    // Transactions begun and not yet ended.
    int openTransactions() const { return m_transactions; }

    // Parses "key=value;..." into lower-case keys with trimmed values.
    static QHash<QString, QString> parseConnectionString(const QString& connectionString);
    // The ODBC connection string for FreeTDS, from the ADO keys; '' with
    // *error when the encryption asked for cannot be set up.
    static QString odbcConnectionString(const QHash<QString, QString>& keys,
                                        const SqlServerEncryption& encryption = {},
                                        QString* error = nullptr);

    // Milliseconds SQLite waits on a locked database before it gives up.
    // Short: a writer holding the branch file longer is taken for a hang,
    // and the desk's writes wait in its journal instead of the window.
    static constexpr int kSqliteBusyTimeoutMs = 1000;
    // Seconds SQL Server has to answer a login, and any later request.
    static constexpr int kLoginTimeoutSeconds = 10;
    static constexpr int kConnectionTimeoutSeconds = 30;
    // The statements of one action follow each other within milliseconds; an
    // agent's next action comes seconds later. A session idle that long is
    // asked whether the server still answers before it is used, so a server
    // restarted meanwhile costs a reconnect, not a failed statement.
    static constexpr int kCheckAfterIdleMs = 1000;

private:
    // The ADO keys' server and port.
    static QPair<QString, QString> serverAndPort(const QHash<QString, QString>& keys);
    bool reportClosed(QString* error) const;
    void journal(const QString& sql, bool accepted) const;
    bool openSqlServer(const QString& odbcConnectionString, QString* error);
    void closeQtDatabase();

    QString m_name;
    Kind m_kind = Kind::SqlServer;
    OdbcConnection m_odbc;
    SqlServerEncryption m_encryption;
    bool m_keepSessions = false;
    bool m_kept = false;  // m_odbc is closed in name, kept for the next open
    QString m_odbcString; // what m_odbc was connected with
    QElapsedTimer m_idle; // since the kept session was last used
    int m_sessionsOpened = 0;
    int m_transactions = 0;
    bool m_doomed = false; // an inner transaction was rolled back
    bool m_linkFailed = false;
};
