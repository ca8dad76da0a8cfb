#include "platform/OdbcConnection.h"

#include <QRegularExpression>

#include "platform/SocketState.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h> // the driver manager's headers use its types
#endif
#include <sql.h>
#include <sqlext.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide text is UTF-16");

namespace {

const SQLWCHAR* wide(const QString& text)
{
    return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

QString fromWide(const SQLWCHAR* text, qsizetype units)
{
    return QString(reinterpret_cast<const QChar*>(text), units);
}

// Every diagnostic record of a handle as "message (native error)", so the
// error log shows the server's text and number, e.g.
// "[FreeTDS][SQL Server]String or binary data would be truncated. (8152)";
// their SQLSTATEs into *states.
QString diagnostics(SQLSMALLINT type, SQLHANDLE handle, QStringList* states)
{
    QStringList records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6];
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> text(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                                      SQLSMALLINT(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(text.size())) {
            text.resize(length + 1);
            rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                                SQLSMALLINT(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        states->append(fromWide(state, 5));
        const QString message = fromWide(text.data(), qMin<qsizetype>(length, text.size() - 1));
        records << (native != 0 ? QStringLiteral("%1 (%2)").arg(message).arg(native) : message);
    }
    return records.isEmpty()
               ? QStringLiteral("The ODBC driver reported a failure without a message.")
               : records.join(u' ');
}

bool failWith(SQLSMALLINT type, SQLHANDLE handle, QString* error, QStringList* states = nullptr)
{
    QStringList ignored;
    const QString text = diagnostics(type, handle, states ? states : &ignored);
    if (error)
        *error = text;
    return false;
}

bool driverCountsDead(SQLHDBC dbc)
{
    SQLUINTEGER dead = SQL_CD_FALSE;
    return SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
}

// The session itself is gone or in doubt after a failure: the link failed
// (class 08), a request timed out so its answer may still be on its way, or
// the driver saw the socket close (FreeTDS reports a connection closed while
// idle as HY000 "Unknown error", and then counts it dead).
bool connectionFailed(SQLHDBC dbc, const QStringList& states)
{
    return driverCountsDead(dbc) ||
           std::any_of(states.cbegin(), states.cend(), [](const QString& state) {
               return state.startsWith(QStringLiteral("08")) || state == QStringLiteral("HYT00") ||
                      state == QStringLiteral("HYT01");
           });
}

// A statement handle for one statement, freed with its results. A failure
// that takes the session with it sets *lost.
class Statement
{
public:
    Statement(SQLHDBC dbc, bool* lost, int timeoutSeconds) : m_dbc(dbc), m_lost(lost)
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_handle)))
            m_handle = SQL_NULL_HSTMT;
        else if (timeoutSeconds > 0)
            SQLSetStmtAttr(m_handle, SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(std::intptr_t(timeoutSeconds)), 0);
    }
    ~Statement()
    {
        if (m_handle != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return m_handle; }
    bool fail(QString* error)
    {
        QStringList states;
        if (m_handle == SQL_NULL_HSTMT)
            failWith(SQL_HANDLE_DBC, m_dbc, error, &states);
        else
            failWith(SQL_HANDLE_STMT, m_handle, error, &states);
        *m_lost = *m_lost || connectionFailed(m_dbc, states);
        return false;
    }

    // Forward-only and read-only, so the driver sends the text as it is
    // instead of opening a server cursor. SQL_NO_DATA is a searched update or
    // delete that touched no row.
    bool run(const QString& sql, QString* error)
    {
        if (m_handle == SQL_NULL_HSTMT)
            return fail(error);
        SQLSetStmtAttr(m_handle, SQL_ATTR_CURSOR_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
        SQLSetStmtAttr(m_handle, SQL_ATTR_CONCURRENCY,
                       reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
        const SQLRETURN rc = SQLExecDirectW(m_handle, const_cast<SQLWCHAR*>(wide(sql)), SQL_NTS);
        return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA || fail(error);
    }

    // Reads what the batch still holds, so that an error sent after the first
    // result is not lost.
    bool finish(QString* error)
    {
        for (;;) {
            const SQLRETURN rc = SQLMoreResults(m_handle);
            if (rc == SQL_NO_DATA)
                return true;
            if (!SQL_SUCCEEDED(rc))
                return fail(error);
        }
    }

    // Text as UTF-16, whatever its length: the first chunk's indicator gives
    // the whole length, so one more call reads the rest; when the driver
    // cannot tell (SQL_NO_TOTAL), the buffer doubles until the text is in.
    // The chunks are joined as UTF-16 code units, so no character is split.
    bool readText(SQLUSMALLINT column, QVariant* value, QString* error)
    {
        constexpr SQLLEN unit = sizeof(SQLWCHAR);
        std::vector<SQLWCHAR> buffer(256);
        QString text;
        for (;;) {
            SQLLEN indicator = 0;
            const SQLLEN bytes = SQLLEN(buffer.size()) * unit;
            const SQLRETURN rc =
                SQLGetData(m_handle, column, SQL_C_WCHAR, buffer.data(), bytes, &indicator);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                return fail(error);
            if (indicator == SQL_NULL_DATA) {
                *value = QVariant();
                return true;
            }
            // A chunk that did not fit holds the buffer less its terminator.
            const bool whole = indicator != SQL_NO_TOTAL && indicator <= bytes - unit;
            const qsizetype units = whole ? indicator / unit : qsizetype(buffer.size()) - 1;
            text.append(fromWide(buffer.data(), units));
            if (whole)
                break;
            const size_t rest = indicator == SQL_NO_TOTAL ? buffer.size() * 2
                                                          : size_t(indicator / unit - units + 1);
            buffer.resize(std::max(buffer.size(), rest));
        }
        *value = text;
        return true;
    }

    template <typename T>
    bool readNumber(SQLUSMALLINT column, SQLSMALLINT cType, QVariant* value, QString* error)
    {
        T number{};
        SQLLEN indicator = 0;
        if (!SQL_SUCCEEDED(
                SQLGetData(m_handle, column, cType, &number, sizeof(number), &indicator)))
            return fail(error);
        *value = indicator == SQL_NULL_DATA ? QVariant() : QVariant::fromValue(number);
        return true;
    }

private:
    SQLHDBC m_dbc;
    bool* m_lost;
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

} // namespace

OdbcConnection::~OdbcConnection()
{
    close();
}

bool OdbcConnection::open(const QString& connectionString, int loginTimeoutSeconds,
                          int connectionTimeoutSeconds, QString* error)
{
    close();
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        if (error)
            *error = QStringLiteral("The ODBC driver manager could not be started.");
        return false;
    }
    m_env = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        failWith(SQL_HANDLE_ENV, env, error);
        close();
        return false;
    }
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(std::intptr_t(loginTimeoutSeconds)), 0);
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(std::intptr_t(connectionTimeoutSeconds)), 0);
    // FreeTDS keeps its socket to itself: the one that appears to the
    // server's port during the connect is it, watched later without a word
    // to the server.
    static const QRegularExpression portKey(QStringLiteral("(?:^|;)PORT=([0-9]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const int port = portKey.match(connectionString).captured(1).toInt();
    const QList<qintptr> before = SocketState::connectedTo(port);
    const SQLRETURN rc =
        SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(wide(connectionString)), SQL_NTS,
                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        failWith(SQL_HANDLE_DBC, dbc, error);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        close();
        return false;
    }
    m_dbc = dbc;
    QList<qintptr> added = SocketState::connectedTo(port);
    for (const qintptr socket : before)
        added.removeAll(socket);
    m_socket = added.size() == 1 ? added.first() : -1;
    // SQL Server cuts (max) text at the session's TEXTSIZE, a few kilobytes
    // unless the client raises it, as Microsoft's own drivers do at connect.
    if (!execute(QStringLiteral("SET TEXTSIZE 2147483647"), error, nullptr)) {
        close();
        return false;
    }
    return true;
}

void OdbcConnection::close()
{
    m_lost = false;
    m_inTransaction = false;
    m_socket = -1;
    if (m_dbc) {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        m_dbc = nullptr;
    }
    if (m_env) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        m_env = nullptr;
    }
}

bool OdbcConnection::execute(const QString& sql, QString* error, int* rowsAffected)
{
    Statement statement(m_dbc, &m_lost, m_queryTimeout);
    if (!statement.run(sql, error))
        return false;
    SQLLEN count = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(statement.handle(), &count)))
        return statement.fail(error);
    if (!statement.finish(error))
        return false;
    if (rowsAffected)
        *rowsAffected = int(qMax<SQLLEN>(count, 0));
    return true;
}

bool OdbcConnection::query(const QString& sql, Recordset* result, QString* error)
{
    Statement statement(m_dbc, &m_lost, m_queryTimeout);
    if (!statement.run(sql, error))
        return false;
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement.handle(), &columns)))
        return statement.fail(error);
    QStringList names;
    std::vector<SQLSMALLINT> types;
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
        SQLWCHAR name[256];
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(statement.handle(), c, name, 256, &length, &type, &size,
                                           &digits, &nullable)))
            return statement.fail(error);
        names << fromWide(name, qMin<SQLSMALLINT>(length, 255));
        types.push_back(type);
    }
    QVector<QVector<QVariant>> rows;
    while (columns > 0) {
        const SQLRETURN rc = SQLFetch(statement.handle());
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return statement.fail(error);
        QVector<QVariant> row(columns);
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
            bool ok = true;
            switch (types[c - 1]) {
            case SQL_BIT:
            case SQL_TINYINT:
            case SQL_SMALLINT:
            case SQL_INTEGER:
            case SQL_BIGINT:
                ok = statement.readNumber<qlonglong>(c, SQL_C_SBIGINT, &row[c - 1], error);
                break;
            case SQL_REAL:
            case SQL_FLOAT:
            case SQL_DOUBLE:
                ok = statement.readNumber<double>(c, SQL_C_DOUBLE, &row[c - 1], error);
                break;
            default:
                // Text, and what is exact only as text: decimals, dates.
                ok = statement.readText(c, &row[c - 1], error);
            }
            if (!ok)
                return false;
        }
        rows.push_back(std::move(row));
    }
    if (!statement.finish(error))
        return false;
    *result = Recordset(std::move(names), std::move(rows));
    return true;
}

bool OdbcConnection::beginTransaction(const QString& then, QString* error)
{
    // Open until COMMIT or ROLLBACK has gone through, also when a failure
    // here left it open on the server.
    m_inTransaction = true;
    return execute(then.isEmpty() ? QStringLiteral("BEGIN TRANSACTION")
                                  : QStringLiteral("BEGIN TRANSACTION; ") + then,
                   error, nullptr);
}

bool OdbcConnection::endTransaction(bool commit, QString* error)
{
    const bool ended = execute(commit ? QStringLiteral("COMMIT TRANSACTION")
                                      : QStringLiteral("ROLLBACK TRANSACTION"),
                               error, nullptr);
    m_inTransaction = m_inTransaction && !ended;
    return ended;
}

bool OdbcConnection::isReusable() const
{
    return !sessionLost() && !m_inTransaction;
}

bool OdbcConnection::sessionLost() const
{
    return !m_dbc || m_lost || driverCountsDead(m_dbc);
}

bool OdbcConnection::looksAlive() const
{
    return m_socket >= 0 && SocketState::isOpenAndQuiet(m_socket);
}

bool OdbcConnection::ping()
{
    return execute(QStringLiteral("SELECT 1"), nullptr, nullptr);
}
