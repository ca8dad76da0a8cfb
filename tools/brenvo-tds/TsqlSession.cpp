#include "TsqlSession.h"

#include "SqliteValue.h"
#include "TdsCatalog.h"
#include "TdsWire.h"
#include "TsqlFunctions.h"
#include "TsqlTranslator.h"

#include <QtEndian>

#include <sqlite3.h>

#include <limits>

namespace {

enum Isolation
{
    ReadCommitted = 2,
    RepeatableRead = 3,
};

// SET TEXTSIZE 0 and a fresh session.
constexpr int DefaultTextSize = 4096;

// Errors after which SQL Server goes on with the batch's next statement;
// every other error ends the batch.
bool endsStatementOnly(int number)
{
    return number == 2627 || number == 2601 || number == 515 || number == 8152 || number == 547 ||
           number == 1222 || number == 3902 || number == 3903;
}

QByteArray descriptorBytes(quint64 descriptor)
{
    QByteArray out(8, Qt::Uninitialized);
    qToLittleEndian(descriptor, out.data());
    return out;
}

QString parameterName(const QString& name)
{
    return name.startsWith(u'@') ? name.toLower() : u'@' + name.toLower();
}

// A procedure's argument by name (@Resource) or by position.
QVariant argument(const QList<TdsParameter>& parameters, int position, const char* name)
{
    for (const TdsParameter& p : parameters) {
        if (!p.name.isEmpty() && parameterName(p.name) == parameterName(QLatin1String(name)))
            return p.value;
    }
    if (position < parameters.size() && parameters.at(position).name.isEmpty())
        return parameters.at(position).value;
    return {};
}

} // namespace

TsqlSession::TsqlSession(TdsServerState& state, int sessionId)
    : m_state(state), m_sessionId(sessionId)
{
}

TsqlSession::~TsqlSession()
{
    closeDatabase();
}

const TdsCollation& TsqlSession::collation() const
{
    static const TdsCollation fallback =
        *TdsCollation::fromName(QLatin1String(TdsCollation::DefaultName));
    return m_database ? m_database->collation : fallback;
}

bool TsqlSession::prepareFile(const TdsDatabase& database, const TdsSchema& schema, QString* error)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.file.toUtf8().constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        *error = QStringLiteral("%1: %2").arg(database.file, QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close_v2(db);
        return false;
    }
    // WAL: readers never wait for a writer, as under read committed.
    QStringList statements{QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("BEGIN")};
    for (const TdsTableDef& table : schema.tables()) {
        sqlite3_stmt* exists = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 "
                           "COLLATE NOCASE",
                           -1, &exists, nullptr);
        const QByteArray name = table.name.toUtf8();
        sqlite3_bind_text(exists, 1, name.constData(), -1, SQLITE_TRANSIENT);
        const bool present = sqlite3_step(exists) == SQLITE_ROW;
        sqlite3_finalize(exists);
        if (present)
            continue;
        statements << table.sqliteCreate(database.collation.isCaseInsensitive()) << table.indexes;
    }
    statements << QStringLiteral("COMMIT");
    for (const QString& sql : statements) {
        char* message = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            *error = QStringLiteral("%1: %2").arg(database.file, QString::fromUtf8(message));
            sqlite3_free(message);
            sqlite3_close_v2(db);
            return false;
        }
    }
    sqlite3_close_v2(db);
    return true;
}

std::optional<TdsMessage> TsqlSession::open(const QString& name)
{
    const TdsDatabase* database = m_state.database(
        name.isEmpty() && !m_state.databases.isEmpty() ? m_state.databases.first().name : name);
    const TdsMessage refused = tdsMessage(
        4060, 11, 1,
        QStringLiteral("Cannot open database \"%1\" requested by the login. The login failed.")
            .arg(name));
    if (!database)
        return refused;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database->file.toUtf8().constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return refused;
    }
    closeDatabase();
    m_db = db;
    m_database = database;
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, m_state.lockTimeoutMs);
    m_functions = std::make_unique<TsqlFunctions>(m_state, database->collation);
    m_functions->install(m_db);
    m_catalog = std::make_unique<TdsCatalog>(m_db, m_state.schema, *database);
    m_catalog->refresh();
    return std::nullopt;
}

void TsqlSession::closeDatabase()
{
    if (!m_db)
        return;
    if (!sqlite3_get_autocommit(m_db))
        exec(QStringLiteral("ROLLBACK"));
    m_catalog.reset();
    m_functions.reset();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_sqliteBegun = false;
}

bool TsqlSession::exec(const QString& sql, QString* error)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK && error)
        *error = QString::fromUtf8(message);
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

QList<TdsResult> TsqlSession::execute(const QString& batch, const QList<TdsParameter>& parameters)
{
    QList<TdsResult> results;
    for (TsqlTokens statement : Tsql::statements(Tsql::tokens(batch))) {
        // A batch may start with a procedure's name alone: "sp_datatype_info_100 11".
        const TsqlToken& first = Tsql::withoutSpace(statement).first();
        if (results.isEmpty() && first.isName() &&
            first.value().startsWith(QLatin1String("sp_"), Qt::CaseInsensitive))
            statement.prepend(TsqlToken{TsqlToken::Word, QStringLiteral("EXEC")});
        results << runStatement(statement, parameters);
        if (results.last().abortsBatch)
            break;
    }
    return results;
}

TdsResult TsqlSession::runStatement(const TsqlTokens& statement,
                                    const QList<TdsParameter>& parameters)
{
    const TsqlTokens words = Tsql::withoutSpace(statement);
    const TsqlToken& verb = words.first();
    const TsqlToken* second = words.size() > 1 ? &words.at(1) : nullptr;
    TdsResult r;
    if (verb.is("SET")) {
        r = runSet(words);
    } else if (verb.is("BEGIN") && second && (second->is("TRAN") || second->is("TRANSACTION"))) {
        beginTran(r);
    } else if (verb.is("COMMIT") || verb.is("ROLLBACK")) {
        const bool commit = verb.is("COMMIT");
        if (m_tranCount == 0) {
            r.error = true;
            r.messages << tdsMessage(
                commit ? 3902 : 3903, 16, 1,
                QStringLiteral("The %1 TRANSACTION request has no corresponding "
                               "BEGIN TRANSACTION.")
                    .arg(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")));
        } else {
            finishTran(commit, r);
        }
    } else if (verb.is("SAVE")) {
        // Savepoints are accepted but a ROLLBACK always ends the transaction.
    } else if (verb.is("USE")) {
        r = runUse(words);
    } else if (verb.is("EXEC") || verb.is("EXECUTE")) {
        r = runExec(words);
    } else if (verb.is("PRINT") && second) {
        r.messages << tdsMessage(0, 0, 1, second->isLiteral() ? second->value() : second->text);
    } else if (verb.is("CREATE") && second && second->is("TABLE")) {
        r = runCreateTable(words);
    } else if (verb.is("CREATE") &&
               std::any_of(words.begin(), words.begin() + qMin(4, int(words.size())),
                           [](const TsqlToken& t) { return t.is("INDEX"); })) {
        QString error;
        const auto index = TdsSchema::parseIndex(words, &error);
        if (!index)
            r.messages << tdsMessage(102, 15, 1, error);
        else if (ensureSqliteTransaction(false, r) && !exec(index->sqlite, &error))
            r.messages << sqliteError(sqlite3_extended_errcode(m_db), error);
        r.error = !r.messages.isEmpty();
        r.abortsBatch = r.error;
    } else {
        r = runSql(statement, words, parameters);
    }
    if (r.error)
        m_lastError = r.messages.isEmpty() ? 0 : r.messages.first().number;
    return r;
}

TdsResult TsqlSession::runSet(const TsqlTokens& words)
{
    TdsResult r;
    const QString option = words.size() > 1 ? words.at(1).text.toUpper() : QString();
    const QString value = Tsql::join(words.mid(2)).toUpper();
    if (option == u"NOCOUNT") {
        m_noCount = value == u"ON";
    } else if (option == u"IMPLICIT_TRANSACTIONS") {
        m_implicitTransactions = value == u"ON";
    } else if (option == u"TEXTSIZE") {
        // 0 restores the default, -1 the largest size.
        const int size = value.toInt();
        m_textSize = size == 0  ? DefaultTextSize
                     : size < 0 ? std::numeric_limits<int>::max()
                                : size;
    } else if (option == u"LOCK_TIMEOUT") {
        const int ms = value.toInt();
        sqlite3_busy_timeout(m_db, ms < 0 ? m_state.lockTimeoutMs : ms);
    } else if (option == u"TRANSACTION") {
        // SET TRANSACTION ISOLATION LEVEL <level>: REPEATABLE READ and above
        // take the write lock at the transaction's first statement.
        const QString level = Tsql::join(words.mid(4)).toUpper();
        m_isolation = level.startsWith(u"READUNCOMMITTED")  ? 1
                      : level.startsWith(u"READCOMMITTED")  ? 2
                      : level.startsWith(u"REPEATABLEREAD") ? 3
                      : level.startsWith(u"SERIALIZABLE")   ? 4
                      : level.startsWith(u"SNAPSHOT")       ? 5
                                                            : m_isolation;
    }
    return r;
}

TdsResult TsqlSession::runUse(const TsqlTokens& words)
{
    TdsResult r;
    const QString name = words.size() > 1 ? words.at(1).value() : QString();
    const TdsDatabase* target = m_state.database(name);
    if (!target) {
        r.error = true;
        r.abortsBatch = true;
        r.messages << tdsMessage(
            911, 16, 1,
            QStringLiteral("Database '%1' does not exist. Make sure that the name "
                           "is entered correctly.")
                .arg(name));
        return r;
    }
    const QString old = database();
    if (m_tranCount > 0)
        finishTran(false, r);
    open(target->name);
    r.envChanges << TdsEnvChange{Tds::DatabaseChange, target->name, old};
    r.messages << tdsMessage(5701, 0, 1,
                             QStringLiteral("Changed database context to '%1'.").arg(target->name));
    return r;
}

TdsResult TsqlSession::runCreateTable(const TsqlTokens& words)
{
    TdsResult r;
    QString error;
    const auto def = TdsSchema::parseTable(words, &error);
    if (!def) {
        r.messages << tdsMessage(error.startsWith(u"Column") ? 2715 : 102, 16, 1, error);
    } else if (def->name.startsWith(u'#')) {
        // SQLite would keep it in the file for every session.
        r.messages << tdsMessage(
            50000, 16, 1, QStringLiteral("Temporary tables are not supported by this stand-in."));
    } else if (ensureSqliteTransaction(false, r) &&
               !exec(def->sqliteCreate(collation().isCaseInsensitive()), &error)) {
        r.messages << sqliteError(sqlite3_extended_errcode(m_db), error);
    }
    r.error = !r.messages.isEmpty();
    r.abortsBatch = r.error;
    return r;
}

TdsResult TsqlSession::runExec(const TsqlTokens& words)
{
    qsizetype i = 1;
    if (i + 1 < words.size() && words.at(i).kind == TsqlToken::Variable &&
        words.at(i + 1).isSymbol('='))
        i += 2;
    const QString name = TdsSchema::objectName(words, &i);
    QList<TdsParameter> parameters;
    for (const TsqlTokens& item : Tsql::commaList(words, i, words.size())) {
        if (item.isEmpty())
            continue;
        TdsParameter p;
        qsizetype at = 0;
        if (item.size() > 2 && item.at(0).kind == TsqlToken::Variable && item.at(1).isSymbol('=')) {
            p.name = item.at(0).text;
            at = 2;
        }
        const TsqlToken& v = item.at(at);
        if (v.kind == TsqlToken::String)
            p.value = collation().narrow(v.value());
        else if (v.kind == TsqlToken::NString)
            p.value = v.value();
        else if (v.kind == TsqlToken::Number)
            p.value =
                v.text.contains(u'.') ? QVariant(v.text.toDouble()) : QVariant(v.text.toLongLong());
        else if (v.isSymbol('-') && at + 1 < item.size())
            p.value = -item.at(at + 1).text.toLongLong();
        parameters << p;
    }
    QList<TdsResult> results = executeProcedure(name, parameters);
    // One statement, one result: a text EXEC shows the procedure's last one.
    TdsResult last = results.isEmpty() ? TdsResult() : results.takeLast();
    for (const TdsResult& earlier : results) {
        last.envChanges = earlier.envChanges + last.envChanges;
        last.messages = earlier.messages + last.messages;
        if (!last.hasRows && earlier.hasRows) {
            last.hasRows = true;
            last.columns = earlier.columns;
            last.rows = earlier.rows;
            last.rowCount = earlier.rowCount;
        }
    }
    return last;
}

QList<TdsResult> TsqlSession::executeProcedure(const QString& name,
                                               const QList<TdsParameter>& parameters)
{
    const QString procedure = name.toLower();
    if (procedure == u"sp_executesql") {
        QList<TdsResult> results = execute(parameters.value(0).value.toString(),
                                           parameters.mid(qMin(2, int(parameters.size()))));
        if (results.isEmpty())
            results << TdsResult();
        results.last().returnStatus = 0;
        return results;
    }
    TdsResult r;
    if (procedure == u"sp_getapplock") {
        r = getAppLock(parameters);
    } else if (procedure == u"sp_releaseapplock") {
        r.returnStatus = 0;
    } else if (procedure.startsWith(u"sp_datatype_info")) {
        r = typeInfo(parameters);
    } else if (procedure == u"sp_reset_connection") {
        reset();
        r.returnStatus = 0;
    } else {
        r.error = true;
        r.abortsBatch = true;
        r.messages << tdsMessage(2812, 16, 62,
                                 QStringLiteral("Could not find stored procedure '%1'.").arg(name));
    }
    return {r};
}

QList<TdsParameter> TsqlSession::named(const QString& declaration, QList<TdsParameter> values)
{
    const TsqlTokens words = Tsql::words(declaration);
    const QList<TsqlTokens> declared = Tsql::commaList(words, 0, words.size());
    for (qsizetype i = 0; i < values.size() && i < declared.size(); ++i) {
        if (values.at(i).name.isEmpty() && !declared.at(i).isEmpty())
            values[i].name = declared.at(i).first().text;
    }
    return values;
}

// Every application lock maps onto the database's write lock: taken at the
// transaction's first statement, it serialises the sessions that ask for it
// until they commit or roll back.
TdsResult TsqlSession::getAppLock(const QList<TdsParameter>& parameters)
{
    TdsResult r;
    const QString owner = argument(parameters, 2, "@LockOwner").toString();
    if (owner.compare(u"Session", Qt::CaseInsensitive) != 0 && m_tranCount == 0) {
        r.returnStatus = -999;
        r.messages << tdsMessage(
            1223, 16, 1,
            QStringLiteral("You attempted to acquire a transactional application "
                           "lock without an active transaction."));
        return r;
    }
    if (m_tranCount == 0) {
        r.returnStatus = 0;
        return r;
    }
    if (!ensureSqliteTransaction(true, r)) {
        r.messages.clear();
        r.error = false;
        r.returnStatus = -1;
        return r;
    }
    r.returnStatus = 0;
    return r;
}

// SQLGetTypeInfo: the types this server sends, in ODBC 3 terms.
TdsResult TsqlSession::typeInfo(const QList<TdsParameter>& parameters)
{
    struct Row
    {
        const char* name;
        int dataType;
        int precision;
        const char* prefix;
        const char* createParams;
        int searchable;
        int sqlDataType;
        int subType;
        int radix;
        int autoIncrement;
    };
    static const Row rows[] = {
        {"bit", -7, 1, nullptr, nullptr, 2, -7, 0, 0, 0},
        {"tinyint", -6, 3, nullptr, nullptr, 2, -6, 0, 10, 0},
        {"bigint", -5, 19, nullptr, nullptr, 2, -5, 0, 10, 0},
        {"varbinary", -3, 8000, "0x", "max length", 2, -3, 0, 0, 0},
        {"nvarchar", -9, 4000, "N'", "max length", 3, -9, 0, 0, 0},
        {"nchar", -8, 4000, "N'", "length", 3, -8, 0, 0, 0},
        {"char", 1, 8000, "'", "length", 3, 1, 0, 0, 0},
        {"int", 4, 10, nullptr, nullptr, 2, 4, 0, 10, 0},
        {"int identity", 4, 10, nullptr, nullptr, 2, 4, 0, 10, 1},
        {"smallint", 5, 5, nullptr, nullptr, 2, 5, 0, 10, 0},
        {"float", 6, 53, nullptr, nullptr, 2, 6, 0, 2, 0},
        {"varchar", 12, 8000, "'", "max length", 3, 12, 0, 0, 0},
        {"datetime", 93, 23, "'", nullptr, 3, 9, 3, 0, 0},
    };
    const int wanted = argument(parameters, 0, "@data_type").toInt();
    TdsResult r;
    r.hasRows = true;
    const TdsType smallInt{TdsType::SmallInt, 0};
    const TdsType integer{TdsType::Int, 0};
    const TdsType sysname{TdsType::NVarChar, 128};
    const TdsType shortText{TdsType::VarChar, 32};
    const QList<QPair<const char*, TdsType>> columns{{"TYPE_NAME", sysname},
                                                     {"DATA_TYPE", smallInt},
                                                     {"PRECISION", integer},
                                                     {"LITERAL_PREFIX", shortText},
                                                     {"LITERAL_SUFFIX", shortText},
                                                     {"CREATE_PARAMS", shortText},
                                                     {"NULLABLE", smallInt},
                                                     {"CASE_SENSITIVE", smallInt},
                                                     {"SEARCHABLE", smallInt},
                                                     {"UNSIGNED_ATTRIBUTE", smallInt},
                                                     {"MONEY", smallInt},
                                                     {"AUTO_INCREMENT", smallInt},
                                                     {"LOCAL_TYPE_NAME", sysname},
                                                     {"MINIMUM_SCALE", smallInt},
                                                     {"MAXIMUM_SCALE", smallInt},
                                                     {"SQL_DATA_TYPE", smallInt},
                                                     {"SQL_DATETIME_SUB", smallInt},
                                                     {"NUM_PREC_RADIX", integer},
                                                     {"INTERVAL_PRECISION", smallInt},
                                                     {"USERTYPE", smallInt}};
    for (const auto& [name, type] : columns)
        r.columns << TdsColumn{QLatin1String(name), type};
    for (const Row& row : rows) {
        if (wanted != 0 && row.dataType != wanted)
            continue;
        const bool numeric = row.radix != 0;
        const QVariant prefix = row.prefix ? QVariant(QLatin1String(row.prefix)) : QVariant();
        const QVariant suffix =
            row.prefix && row.prefix[0] != '0' ? QVariant(QStringLiteral("'")) : QVariant();
        r.rows << QVariantList{QLatin1String(row.name),
                               row.dataType,
                               row.precision,
                               prefix,
                               suffix,
                               row.createParams ? QVariant(QLatin1String(row.createParams))
                                                : QVariant(),
                               row.autoIncrement ? 0 : 1,
                               0,
                               row.searchable,
                               numeric ? QVariant(0) : QVariant(),
                               0,
                               numeric ? QVariant(row.autoIncrement) : QVariant(),
                               QLatin1String(row.name),
                               row.dataType == 93 ? QVariant(3)
                               : numeric          ? QVariant(0)
                                                  : QVariant(),
                               row.dataType == 93 ? QVariant(3)
                               : numeric          ? QVariant(0)
                                                  : QVariant(),
                               row.sqlDataType,
                               row.subType ? QVariant(row.subType) : QVariant(),
                               numeric ? QVariant(row.radix) : QVariant(),
                               QVariant(),
                               0};
    }
    r.rowCount = r.rows.size();
    r.command = Tds::SelectCommand;
    r.returnStatus = 0;
    return r;
}

void TsqlSession::reset()
{
    if (m_tranCount > 0) {
        TdsResult ignored;
        m_tranCount = 1;
        finishTran(false, ignored);
    }
    m_noCount = false;
    m_implicitTransactions = false;
    m_isolation = ReadCommitted;
    m_textSize = DefaultTextSize;
    if (m_db)
        sqlite3_busy_timeout(m_db, m_state.lockTimeoutMs);
}

TdsResult TsqlSession::beginTransaction(int isolationLevel)
{
    TdsResult r;
    if (isolationLevel > 0)
        m_isolation = isolationLevel;
    beginTran(r);
    return r;
}

TdsResult TsqlSession::endTransaction(bool commit, bool beginNew, int isolationLevel)
{
    TdsResult r;
    if (m_tranCount > 0) {
        m_tranCount = 1;
        finishTran(commit, r);
    }
    if (beginNew) {
        if (isolationLevel > 0)
            m_isolation = isolationLevel;
        beginTran(r);
    }
    return r;
}

void TsqlSession::beginTran(TdsResult& result)
{
    if (m_tranCount++ > 0)
        return;
    m_descriptor = quint64(m_sessionId) << 32 | m_nextDescriptor++;
    result.envChanges << TdsEnvChange{Tds::BeginTransaction, descriptorBytes(m_descriptor),
                                      QByteArray()};
}

bool TsqlSession::ensureSqliteTransaction(bool writeLock, TdsResult& result)
{
    if (m_tranCount == 0 || !sqlite3_get_autocommit(m_db))
        return true;
    const bool immediate = writeLock || m_isolation >= RepeatableRead;
    QString error;
    if (!exec(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"), &error)) {
        result.error = true;
        result.messages << sqliteError(sqlite3_extended_errcode(m_db), error);
        return false;
    }
    m_sqliteBegun = true;
    return true;
}

void TsqlSession::finishTran(bool commit, TdsResult& result)
{
    if (commit && m_tranCount > 1) {
        --m_tranCount;
        return;
    }
    const quint64 old = m_descriptor;
    if (m_db && !sqlite3_get_autocommit(m_db)) {
        QString error;
        if (!exec(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"), &error)) {
            result.error = true;
            result.messages << sqliteError(sqlite3_extended_errcode(m_db), error);
            exec(QStringLiteral("ROLLBACK"));
            commit = false;
        }
    }
    m_sqliteBegun = false;
    m_tranCount = 0;
    m_descriptor = 0;
    result.envChanges << TdsEnvChange{commit ? Tds::CommitTransaction : Tds::RollbackTransaction,
                                      QByteArray(), descriptorBytes(old)};
}

void TsqlSession::noticeLostTransaction(TdsResult& result)
{
    const bool deadlock = std::any_of(result.messages.begin(), result.messages.end(),
                                      [](const TdsMessage& m) { return m.number == 1205; });
    if (m_tranCount == 0 || !(deadlock || (m_sqliteBegun && sqlite3_get_autocommit(m_db))))
        return;
    // SQL Server ends the transaction of a deadlock victim; SQLite ends it
    // itself after some errors.
    m_tranCount = 1;
    finishTran(false, result);
}

TdsMessage TsqlSession::sqliteError(int code, const QString& text) const
{
    if (auto own = TdsMessage::fromSqliteError(text))
        return *own;
    const int primary = code & 0xFF;
    if (code == SQLITE_BUSY_SNAPSHOT || primary == SQLITE_LOCKED)
        return tdsMessage(
            1205, 13, 51,
            QStringLiteral("Transaction (Process ID %1) was deadlocked on lock resources "
                           "with another process and has been chosen as the deadlock "
                           "victim. Rerun the transaction.")
                .arg(m_sessionId));
    if (primary == SQLITE_BUSY)
        return tdsMessage(1222, 16, 56, QStringLiteral("Lock request time out period exceeded."));
    if (primary == SQLITE_FULL)
        return tdsMessage(1105, 17, 2,
                          QStringLiteral("Could not allocate space for object in database '%1' "
                                         "because the 'PRIMARY' filegroup is full.")
                              .arg(database()));
    struct Pattern
    {
        const char* regex;
        int number;
        int severity;
        int state;
        const char* text;
    };
    static const Pattern patterns[] = {
        {R"re(^no such table: (?:\w+\.)?(.+)$)re", 208, 16, 1, "Invalid object name '%1'."},
        {R"re(^no such column: (?:.*\.)?(.+)$)re", 207, 16, 1, "Invalid column name '%1'."},
        {R"re(^near "(.*)": syntax error$)re", 102, 15, 1, "Incorrect syntax near '%1'."},
        {R"re(^unrecognized token: "(.*)"$)re", 102, 15, 1, "Incorrect syntax near '%1'."},
        {R"re(^incomplete input$)re", 102, 15, 1,
         "Incorrect syntax near the end of the statement."},
        {R"re(^ambiguous column name: (?:.*\.)?(.+)$)re", 209, 16, 1,
         "Ambiguous column name '%1'."},
        {R"re(^no such function: (.+)$)re", 195, 15, 10,
         "'%1' is not a recognized built-in function name."},
        {R"re(^table "?([^"]+)"? already exists$)re", 2714, 16, 6,
         "There is already an object named '%1' in the database."},
        {R"re(^table \S+ has \d+ columns but \d+ values were supplied$|^\d+ values for \d+ columns$)re",
         213, 16, 1, "Column name or number of supplied values does not match table definition."},
        {R"re(^NOT NULL constraint failed: [^.]+\.(.+)$)re", 515, 16, 2,
         "Cannot insert the value NULL into column '%1'; column does not allow nulls."},
        {R"re(^UNIQUE constraint failed: ([^.]+)\.)re", 2601, 14, 1,
         "Cannot insert duplicate key row in object 'dbo.%1'."},
    };
    for (const Pattern& p : patterns) {
        const QRegularExpression re(QLatin1String(p.regex));
        const auto m = re.match(text);
        if (m.hasMatch()) {
            const QString text = QLatin1String(p.text);
            return tdsMessage(p.number, p.severity, p.state,
                              text.contains(u"%1") ? text.arg(m.captured(1)) : text);
        }
    }
    return tdsMessage(50000, 16, 1, text);
}

TdsColumn TsqlSession::describeColumn(sqlite3_stmt* stmt, int column,
                                      const TsqlTranslator::SelectItem& item,
                                      const QList<QVariantList>& rows) const
{
    TdsColumn out;
    if (item.named)
        out.name = QString::fromUtf8(sqlite3_column_name(stmt, column));
    const char* tableName = sqlite3_column_table_name(stmt, column);
    const char* origin = sqlite3_column_origin_name(stmt, column);
    if (tableName && origin) {
        const TdsTableDef* def = m_catalog->table(QString::fromUtf8(tableName));
        if (const TdsColumnDef* c = def ? def->column(QString::fromUtf8(origin)) : nullptr) {
            out.type = c->type;
            out.nullable = !c->notNull;
            out.identity = c->identity;
            out.fromTable = true;
            return out;
        }
    }
    if (item.type) {
        out.type = *item.type;
        return out;
    }
    // An expression we do not type: the narrowest type its values fit.
    bool text = false, real = false, blob = false, wide = false;
    qsizetype longest = 0;
    for (const QVariantList& row : rows) {
        const QVariant& v = row.at(column);
        switch (v.metaType().id()) {
        case QMetaType::QString:
            text = true;
            longest = qMax(longest, v.toString().size());
            break;
        case QMetaType::Double:
            real = true;
            break;
        case QMetaType::QByteArray:
            blob = true;
            break;
        case QMetaType::LongLong:
            wide = wide || qAbs(v.toLongLong()) > 2147483647;
            break;
        default:
            break;
        }
    }
    out.type = blob   ? TdsType{TdsType::VarBinary, TdsType::Max}
               : text ? TdsType{TdsType::NVarChar, longest > 4000 ? TdsType::Max : 4000}
               : real ? TdsType{TdsType::Float, 0}
               : wide ? TdsType{TdsType::BigInt, 0}
                      : TdsType{TdsType::Int, 0};
    return out;
}

TsqlTranslator TsqlSession::translator() const
{
    return TsqlTranslator(collation(), database(), m_state.user,
                          {{QStringLiteral("TRANCOUNT"), QString::number(m_tranCount)},
                           {QStringLiteral("SPID"), QString::number(m_sessionId)},
                           {QStringLiteral("ROWCOUNT"), QString::number(m_lastRowCount)},
                           {QStringLiteral("ERROR"), QString::number(m_lastError)},
                           {QStringLiteral("TEXTSIZE"), QString::number(m_textSize)}});
}

QList<TdsColumn> TsqlSession::describe(const QString& sql)
{
    QList<TdsColumn> columns;
    const QList<TsqlTokens> statements = Tsql::statements(Tsql::tokens(sql));
    if (statements.isEmpty() || !m_catalog->refresh())
        return columns;
    const TsqlTranslator translator = this->translator();
    const TsqlTranslator::Result rewritten = translator.toSqlite(statements.first());
    const QByteArray text = rewritten.sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (rewritten.error ||
        sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return columns;
    }
    const int count = stmt ? sqlite3_column_count(stmt) : 0;
    const auto items = translator.selectList(Tsql::withoutSpace(statements.first()));
    for (int c = 0; c < count; ++c)
        columns << describeColumn(
            stmt, c, items.size() == count ? items.at(c) : TsqlTranslator::SelectItem(), {});
    sqlite3_finalize(stmt);
    return columns;
}

TdsResult TsqlSession::runSql(const TsqlTokens& statement, const TsqlTokens& words,
                              const QList<TdsParameter>& parameters)
{
    TdsResult r;
    auto fail = [&](const TdsMessage& m) {
        r.error = true;
        r.messages << m;
        if (endsStatementOnly(m.number))
            r.messages << tdsMessage(3621, 0, 0,
                                     QStringLiteral("The statement has been terminated."));
        else
            r.abortsBatch = true;
        noticeLostTransaction(r);
        m_lastError = m.number;
        return r;
    };
    const QString verb = words.first().text.toUpper();
    static const QSet<QString> transactional{QStringLiteral("SELECT"), QStringLiteral("INSERT"),
                                             QStringLiteral("UPDATE"), QStringLiteral("DELETE"),
                                             QStringLiteral("DROP"),   QStringLiteral("TRUNCATE")};
    const bool touchesTables =
        std::any_of(words.begin(), words.end(), [](const TsqlToken& t) { return t.is("FROM"); }) ||
        verb != u"SELECT";
    if (m_implicitTransactions && m_tranCount == 0 && transactional.contains(verb) && touchesTables)
        beginTran(r);
    m_catalog->refresh();
    const TsqlTranslator translator = this->translator();
    const TsqlTranslator::Result rewritten = translator.toSqlite(statement);
    if (rewritten.error)
        return fail(*rewritten.error);
    if (!ensureSqliteTransaction(rewritten.wantsWriteLock, r))
        return fail(r.messages.takeLast());
    const QByteArray sql = rewritten.sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
        return fail(
            sqliteError(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db))));
    if (!stmt)
        return r;
    for (int k = 1; k <= sqlite3_bind_parameter_count(stmt); ++k) {
        const QString name = QString::fromUtf8(sqlite3_bind_parameter_name(stmt, k));
        const auto p =
            std::find_if(parameters.begin(), parameters.end(), [&](const TdsParameter& p) {
                return parameterName(p.name) == name.toLower();
            });
        if (p == parameters.end()) {
            sqlite3_finalize(stmt);
            return fail(tdsMessage(
                137, 15, 2, QStringLiteral("Must declare the scalar variable \"%1\".").arg(name)));
        }
        SqliteValue::bind(stmt, k, p->value);
    }
    const int columns = sqlite3_column_count(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << SqliteValue::column(stmt, c);
        r.rows << row;
    }
    if (rc != SQLITE_DONE) {
        const TdsMessage m =
            sqliteError(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_finalize(stmt);
        r.rows.clear();
        return fail(m);
    }
    if (columns > 0) {
        r.hasRows = true;
        const auto items = translator.selectList(words);
        for (int c = 0; c < columns; ++c)
            r.columns << describeColumn(
                stmt, c, items.size() == columns ? items.at(c) : TsqlTranslator::SelectItem(),
                r.rows);
    }
    // SQL Server cuts (max) values at TEXTSIZE bytes; Microsoft's drivers
    // raise it at connect, FreeTDS leaves the 4 KB default.
    for (int c = 0; c < r.columns.size(); ++c) {
        const TdsType& type = r.columns.at(c).type;
        if (!type.isMax() || !(type.isText() || type.kind == TdsType::VarBinary))
            continue;
        for (QVariantList& row : r.rows) {
            QVariant& v = row[c];
            if (v.metaType().id() == QMetaType::QByteArray)
                v = v.toByteArray().left(m_textSize);
            else if (!v.isNull() && type.isUnicode())
                v = v.toString().left(m_textSize / 2);
            else if (!v.isNull())
                v = collation().decode(collation().encode(v.toString()).left(m_textSize));
        }
    }
    qint64 count = -1;
    if (columns > 0) {
        r.command = Tds::SelectCommand;
        count = r.rows.size();
    } else if (verb == u"INSERT" || verb == u"UPDATE" || verb == u"DELETE") {
        r.command = verb == u"INSERT"   ? Tds::InsertCommand
                    : verb == u"UPDATE" ? Tds::UpdateCommand
                                        : Tds::DeleteCommand;
        count = sqlite3_changes64(m_db);
    }
    sqlite3_finalize(stmt);
    m_lastRowCount = qMax<qint64>(count, 0);
    m_lastError = 0;
    if (!m_noCount)
        r.rowCount = count;
    return r;
}
