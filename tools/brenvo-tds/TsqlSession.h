#pragma once

#include "TdsMessage.h"
#include "TdsSchema.h"
#include "TdsServerState.h"
#include "TdsType.h"
#include "TsqlLexer.h"
#include "TsqlTranslator.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class TdsCatalog;
class TsqlFunctions;
struct sqlite3;
struct sqlite3_stmt;

struct TdsEnvChange
{
    quint8 type = 0;
    // QString for names, QByteArray for collations and transaction descriptors.
    QVariant newValue;
    QVariant oldValue;
};

struct TdsColumn
{
    QString name;
    TdsType type;
    bool nullable = true;
    bool identity = false;
    bool fromTable = false;
};

// What one statement produced, in the order the tokens go out: environment
// changes, messages, the result set, then DONE with the row count.
struct TdsResult
{
    QList<TdsEnvChange> envChanges;
    QList<TdsMessage> messages;
    bool hasRows = false;
    QList<TdsColumn> columns;
    QList<QVariantList> rows;
    // Sent with DONE_COUNT when not negative.
    qint64 rowCount = -1;
    quint16 command = 0;
    bool error = false;
    // The rest of the batch is not run.
    bool abortsBatch = false;
    std::optional<int> returnStatus;
};

// One client's work on its database: T-SQL in, results out. Statements go
// to SQLite through TsqlTranslator, rows are checked by TdsCatalog as SQL
// Server would check them; this class keeps the session: transactions,
// SET options, procedures, errors with SQL Server's numbers.
class TsqlSession
{
public:
    TsqlSession(TdsServerState& state, int sessionId);
    ~TsqlSession();
    TsqlSession(const TsqlSession&) = delete;
    TsqlSession& operator=(const TsqlSession&) = delete;

    // Opens the database for a login; the 4060 message when it does not exist.
    std::optional<TdsMessage> open(const QString& database);
    QString database() const { return m_database ? m_database->name : QString(); }
    const TdsCollation& collation() const;

    // Runs a batch; parameters (@name) are bound where statements name them.
    QList<TdsResult> execute(const QString& batch, const QList<TdsParameter>& parameters = {});
    // The result columns a statement would have, without running it.
    QList<TdsColumn> describe(const QString& sql);
    // A stored procedure called by name (from EXEC or an RPC request).
    QList<TdsResult> executeProcedure(const QString& name, const QList<TdsParameter>& parameters);

    // Names values sent by position after the declaration that came with
    // them ("@P1 varchar(2),@P2 int").
    static QList<TdsParameter> named(const QString& declaration, QList<TdsParameter> values);

    // Transaction-manager requests.
    TdsResult beginTransaction(int isolationLevel);
    TdsResult endTransaction(bool commit, bool beginNew, int isolationLevel);
    // sp_reset_connection: rolls back and forgets the session's options.
    void reset();

    // Prepares the database files: WAL journal, and the tables and indexes
    // of the schema that a file does not hold yet.
    static bool prepareFile(const TdsDatabase& database, const TdsSchema& schema, QString* error);

private:
    TdsResult runStatement(const TsqlTokens& statement, const QList<TdsParameter>& parameters);
    TdsResult runSql(const TsqlTokens& statement, const TsqlTokens& words,
                     const QList<TdsParameter>& parameters);
    TdsResult runSet(const TsqlTokens& words);
    TdsResult runUse(const TsqlTokens& words);
    TdsResult runCreateTable(const TsqlTokens& words);
    TdsResult runExec(const TsqlTokens& words);
    TdsResult typeInfo(const QList<TdsParameter>& parameters);
    TdsResult getAppLock(const QList<TdsParameter>& parameters);

    TsqlTranslator translator() const;
    TdsColumn describeColumn(sqlite3_stmt* stmt, int column, const TsqlTranslator::SelectItem& item,
                             const QList<QVariantList>& rows) const;

    // BEGIN TRAN: opens the transaction; SQLite's begins with the first
    // statement that touches the file.
    void beginTran(TdsResult& result);
    bool ensureSqliteTransaction(bool writeLock, TdsResult& result);
    void finishTran(bool commit, TdsResult& result);
    // After an error: SQLite may have rolled the whole transaction back.
    void noticeLostTransaction(TdsResult& result);

    TdsMessage sqliteError(int code, const QString& message) const;
    bool exec(const QString& sql, QString* error = nullptr);
    void closeDatabase();

    TdsServerState& m_state;
    const int m_sessionId;
    const TdsDatabase* m_database = nullptr;
    sqlite3* m_db = nullptr;
    std::unique_ptr<TsqlFunctions> m_functions;
    std::unique_ptr<TdsCatalog> m_catalog;

    int m_tranCount = 0;
    quint64 m_descriptor = 0;
    quint64 m_nextDescriptor = 1;
    bool m_sqliteBegun = false;
    int m_isolation = 2; // read committed
    bool m_noCount = false;
    bool m_implicitTransactions = false;
    int m_textSize = 4096; // bytes of a (max) value sent
    qint64 m_lastRowCount = 0;
    int m_lastError = 0;
};
