#pragma once

#include <QString>

#include "platform/Recordset.h"

// One SQL Server session through the ODBC driver manager (unixODBC with the
// FreeTDS driver here), in place of Qt's QODBC driver.
//
// Qt 6.4's QODBC reads text with SQL_C_CHAR into a buffer of the column's
// declared size + 1. FreeTDS hands that text over as UTF-8, three bytes for a
// Hangul syllable: when it does not fit, FreeTDS answers SQL_NO_TOTAL and
// QODBC returns an empty string, and where a length is given QODBC decodes
// each chunk on its own, so a syllable split between two chunks is garbled.
// QODBC's default scrollable statements also become server cursors, one round
// trip per row, whose affected-row counts are -1.
//
// Here every statement runs once with SQLExecDirectW on a forward-only,
// read-only statement, which FreeTDS sends as a plain batch, so SQLRowCount is
// exact; text is read as UTF-16 (SQL_C_WCHAR) in as many chunks as it takes,
// so no declared size limits it.
class OdbcConnection
{
public:
    OdbcConnection() = default;
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    bool open(const QString& connectionString, int loginTimeoutSeconds,
              int connectionTimeoutSeconds, QString* error);
    void close();
    bool isOpen() const { return m_dbc != nullptr; }

    // Whether the session may serve another operation: open, no transaction
    // left open, and no failure of the connection itself seen (a
    // communication-link SQLSTATE, class 08, a time-out, or the driver
    // counting the connection dead). Asks the server nothing.
    bool isReusable() const;
    // Not open, or a failure of the connection itself was seen since it opened.
    bool sessionLost() const;
    // Whether the session's socket is still open with nothing unasked for on
    // it; asks the server nothing. False also when the socket is not known.
    bool looksAlive() const;
    // Whether looksAlive() can tell at all.
    bool socketKnown() const { return m_socket >= 0; }
    // One round trip: true when the server still answers on this session.
    bool ping();

    // Seconds a statement may take before it fails as a lost session; 0: no limit.
    void setQueryTimeout(int seconds) { m_queryTimeout = seconds; }

    bool execute(const QString& sql, QString* error, int* rowsAffected);
    bool query(const QString& sql, Recordset* result, QString* error);

    // BEGIN TRANSACTION as text, with `then` (a statement, or '') in the
    // same request; COMMIT or ROLLBACK TRANSACTION end it. One round trip each,
    // where the driver's autocommit switch costs two to begin and two to end.
    bool beginTransaction(const QString& then, QString* error);
    bool endTransaction(bool commit, QString* error);

private:
    // SQLHENV and SQLHDBC, kept opaque so that the driver manager's headers
    // stay out of the program's.
    void* m_env = nullptr;
    void* m_dbc = nullptr;
    bool m_lost = false;
    int m_queryTimeout = 0;
    // A transaction is open on the server; nested levels are counted by Connection.
    bool m_inTransaction = false;
    qintptr m_socket = -1; // the session's TCP socket, -1 when not known
};
