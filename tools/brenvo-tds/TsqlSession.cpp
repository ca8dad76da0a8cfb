#include "TsqlSession.h"

#include "platform/SqlDialect.h"
#include "TdsWire.h"

#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include <sqlite3.h>

#include <limits>

namespace {

enum Isolation
{
    ReadCommitted = 2,
    RepeatableRead = 3,
};

// Errors raised inside SQLite (by the row checks and conversions below)
// travel as "tds:number:state:severity:text".
const QString ErrorPrefix = QStringLiteral("tds:");

// SET TEXTSIZE 0 and a fresh session.
constexpr int DefaultTextSize = 4096;

const QString VersionText = QStringLiteral(
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)\n\tbrenvo-tds: a TDS stand-in "
    "answering from SQLite files");

TdsMessage message(int number, int severity, int state, const QString& text)
{
    return TdsMessage{number, state, severity, text};
}

QString payload(const TdsMessage& m)
{
    return ErrorPrefix +
           QStringLiteral("%1:%2:%3:%4").arg(m.number).arg(m.state).arg(m.severity).arg(m.text);
}

std::optional<TdsMessage> fromPayload(const QString& text)
{
    if (!text.startsWith(ErrorPrefix))
        return std::nullopt;
    const QStringList parts = text.mid(ErrorPrefix.size()).split(u':');
    if (parts.size() < 4)
        return std::nullopt;
    return message(parts.at(0).toInt(), parts.at(2).toInt(), parts.at(1).toInt(),
                   parts.mid(3).join(u':'));
}

// Errors after which SQL Server goes on with the batch's next statement;
// every other error ends the batch.
bool endsStatementOnly(int number)
{
    return number == 2627 || number == 2601 || number == 515 || number == 8152 || number == 547 ||
           number == 1222 || number == 3902 || number == 3903;
}

QVariant sqliteValue(sqlite3_value* v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                 sqlite3_value_bytes(v));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
    default:
        return {};
    }
}

QVariant columnValue(sqlite3_stmt* stmt, int i)
{
    return sqliteValue(sqlite3_column_value(stmt, i));
}

void bindValue(sqlite3_stmt* stmt, int index, const QVariant& value)
{
    if (value.isNull()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
        return;
    case QMetaType::Double:
        sqlite3_bind_double(stmt, index, value.toDouble());
        return;
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        sqlite3_bind_blob(stmt, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        return;
    }
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return;
    }
    }
}

void resultValue(sqlite3_context* ctx, const QVariant& value)
{
    if (value.isNull()) {
        sqlite3_result_null(ctx);
    } else if (value.metaType().id() == QMetaType::LongLong) {
        sqlite3_result_int64(ctx, value.toLongLong());
    } else if (value.metaType().id() == QMetaType::Double) {
        sqlite3_result_double(ctx, value.toDouble());
    } else {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
}

void resultError(sqlite3_context* ctx, const TdsMessage& m)
{
    sqlite3_result_error(ctx, payload(m).toUtf8().constData(), -1);
}

QByteArray descriptorBytes(quint64 descriptor)
{
    QByteArray out(8, Qt::Uninitialized);
    qToLittleEndian(descriptor, out.data());
    return out;
}

// A date and time as this server keeps them in SQLite.
const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QDateTime storedDateTime(const QString& text)
{
    static const QRegularExpression shape(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d( \d\d:\d\d(:\d\d(\.\d{1,3})?)?)?$)"));
    const QString t = text.trimmed();
    if (!shape.match(t).hasMatch())
        return {};
    for (const char* format : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss.z",
                               "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        const QDateTime dt = QDateTime::fromString(t, QLatin1String(format));
        if (dt.isValid())
            return dt;
    }
    return {};
}

// CONVERT(varchar, datetime, style) for the styles programs use.
QString dateTimeStyle(const QDateTime& dt, int style)
{
    switch (style) {
    case 20:
    case 120:
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case 21:
    case 121:
        return dt.toString(DateTimeFormat);
    case 23:
        return dt.toString(QStringLiteral("yyyy-MM-dd"));
    case 101:
        return dt.toString(QStringLiteral("MM/dd/yyyy"));
    case 102:
        return dt.toString(QStringLiteral("yyyy.MM.dd"));
    case 103:
        return dt.toString(QStringLiteral("dd/MM/yyyy"));
    case 111:
        return dt.toString(QStringLiteral("yyyy/MM/dd"));
    case 112:
        return dt.toString(QStringLiteral("yyyyMMdd"));
    case 8:
    case 108:
        return dt.toString(QStringLiteral("HH:mm:ss"));
    case 126:
        return dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    default: {
        // Style 0: "Jan  1 2024 10:00AM".
        static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const int hour12 = dt.time().hour() % 12 == 0 ? 12 : dt.time().hour() % 12;
        return QStringLiteral("%1 %2 %3 %4:%5%6")
            .arg(QLatin1String(months[dt.date().month() - 1]))
            .arg(dt.date().day(), 2)
            .arg(dt.date().year())
            .arg(hour12, 2)
            .arg(dt.time().minute(), 2, 10, QLatin1Char('0'))
            .arg(dt.time().hour() < 12 ? QLatin1String("AM") : QLatin1String("PM"));
    }
    }
}

std::optional<qint64> integerOf(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::LongLong)
        return v.toLongLong();
    if (v.metaType().id() == QMetaType::Double)
        return qint64(v.toDouble());
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

TdsMessage conversionFailed(const QVariant& value, const TdsType& type)
{
    return message(245, 16, 1,
                   QStringLiteral("Conversion failed when converting the varchar value '%1' to "
                                  "data type %2.")
                       .arg(value.toString(), type.name()));
}

const TsqlToken* wordAt(const TsqlTokens& t, qsizetype i)
{
    return i >= 0 && i < t.size() ? &t.at(i) : nullptr;
}

// Index of the next token that is not a blank or comment.
qsizetype nextWord(const TsqlTokens& t, qsizetype i)
{
    for (++i; i < t.size(); ++i) {
        if (t.at(i).kind != TsqlToken::Space)
            return i;
    }
    return t.size();
}

TsqlTokens withoutSpace(const TsqlTokens& t)
{
    TsqlTokens out;
    for (const TsqlToken& token : t) {
        if (token.kind != TsqlToken::Space)
            out << token;
    }
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

const QSet<QString>& lockHints()
{
    static const QSet<QString> hints{
        QStringLiteral("NOLOCK"),        QStringLiteral("READUNCOMMITTED"),
        QStringLiteral("READCOMMITTED"), QStringLiteral("ROWLOCK"),
        QStringLiteral("PAGLOCK"),       QStringLiteral("READPAST"),
        QStringLiteral("UPDLOCK"),       QStringLiteral("HOLDLOCK"),
        QStringLiteral("XLOCK"),         QStringLiteral("TABLOCK"),
        QStringLiteral("TABLOCKX"),      QStringLiteral("SERIALIZABLE"),
        QStringLiteral("REPEATABLEREAD")};
    return hints;
}

bool isWriteLockHint(const QString& hint)
{
    static const QSet<QString> strong{
        QStringLiteral("UPDLOCK"),       QStringLiteral("HOLDLOCK"), QStringLiteral("XLOCK"),
        QStringLiteral("TABLOCK"),       QStringLiteral("TABLOCKX"), QStringLiteral("SERIALIZABLE"),
        QStringLiteral("REPEATABLEREAD")};
    return strong.contains(hint);
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
    const TdsMessage refused = message(
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
    m_schemaVersion = -1;
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, m_state.lockTimeoutMs);
    const int deterministic = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(m_db, "tds_check", -1, SQLITE_UTF8, this,
                            &TsqlSession::checkRowCallback, nullptr, nullptr);
    sqlite3_create_function(m_db, "tds_narrow", 1, deterministic, this, &TsqlSession::narrowText,
                            nullptr, nullptr);
    sqlite3_create_function(m_db, "tds_convert", 3, deterministic, this, &TsqlSession::convertValue,
                            nullptr, nullptr);
    sqlite3_create_function(m_db, "tds_getdate", 1, SQLITE_UTF8, this, &TsqlSession::getDate,
                            nullptr, nullptr);
    sqlite3_create_function(m_db, "tds_len", 1, deterministic, this, &TsqlSession::textLength,
                            nullptr, nullptr);
    refreshCatalog();
    return std::nullopt;
}

void TsqlSession::closeDatabase()
{
    if (!m_db)
        return;
    if (!sqlite3_get_autocommit(m_db))
        exec(QStringLiteral("ROLLBACK"));
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_tables.clear();
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

const TdsTableDef* TsqlSession::table(const QString& name) const
{
    const auto it = m_tables.constFind(name.toLower());
    return it == m_tables.constEnd() ? nullptr : &*it;
}

// The catalog: every table of the file with the type SQL Server would give
// each column (from the schema script where it names the table, otherwise
// from the declared type the file keeps), and the temporary triggers that
// check rows against it.
bool TsqlSession::refreshCatalog()
{
    auto query = [this](const QString& sql) {
        QList<QVariantList> rows;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QVariantList row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                row << columnValue(stmt, i);
            rows << row;
        }
        sqlite3_finalize(stmt);
        return rows;
    };
    const auto version = query(QStringLiteral("PRAGMA main.schema_version"));
    if (version.isEmpty())
        return false;
    if (version.first().first().toInt() == m_schemaVersion)
        return true;

    m_tables.clear();
    for (const QVariantList& t :
         query(QStringLiteral("SELECT name FROM main.sqlite_master WHERE type = 'table' AND name "
                              "NOT LIKE 'sqlite\\_%' ESCAPE '\\'"))) {
        const QString name = t.first().toString();
        const TdsTableDef* declared = m_state.schema.table(name);
        TdsTableDef def;
        def.name = name;
        const auto info =
            query(QStringLiteral("PRAGMA main.table_info(%1)").arg(Tsql::quoteName(name)));
        for (const QVariantList& c : info) {
            // cid, name, type, notnull, dflt_value, pk
            const QString columnName = c.at(1).toString();
            if (const TdsColumnDef* known = declared ? declared->column(columnName) : nullptr) {
                def.columns << *known;
                continue;
            }
            TdsColumnDef column;
            column.name = columnName;
            const QString type = c.at(2).toString();
            column.identity =
                c.at(5).toInt() == 1 && type.compare(u"INTEGER", Qt::CaseInsensitive) == 0;
            column.type =
                TdsType::parse(type).value_or(type.contains(u"INT", Qt::CaseInsensitive)
                                                  ? TdsType{TdsType::Int, 0}
                                                  : TdsType{TdsType::NVarChar, TdsType::Max});
            column.notNull = c.at(3).toInt() != 0;
            column.primaryKey = c.at(5).toInt() != 0;
            def.columns << column;
        }
        if (declared) {
            def.keys = declared->keys;
        } else {
            for (const QVariantList& index :
                 query(QStringLiteral("PRAGMA main.index_list(%1)").arg(Tsql::quoteName(name)))) {
                // seq, name, unique, origin, partial
                if (index.at(2).toInt() == 0)
                    continue;
                TdsKeyDef key;
                const QString origin = index.at(3).toString();
                key.kind = origin == u"pk"  ? TdsKeyDef::PrimaryKey
                           : origin == u"u" ? TdsKeyDef::UniqueConstraint
                                            : TdsKeyDef::UniqueIndex;
                key.name = index.at(1).toString();
                for (const QVariantList& part : query(QStringLiteral("PRAGMA main.index_info(%1)")
                                                          .arg(Tsql::quoteName(key.name))))
                    key.columns << part.at(2).toString();
                def.keys << key;
            }
        }
        m_tables.insert(name.toLower(), def);
    }

    for (const QVariantList& trigger :
         query(QStringLiteral("SELECT name FROM temp.sqlite_master WHERE type = 'trigger'")))
        exec(QStringLiteral("DROP TRIGGER temp.%1")
                 .arg(Tsql::quoteName(trigger.first().toString())));
    for (const TdsTableDef& def : std::as_const(m_tables)) {
        QStringList values;
        QStringList narrowed;
        for (const TdsColumnDef& c : def.columns) {
            values << QStringLiteral("NEW.") + Tsql::quoteName(c.name);
            if (c.type.isText() && !c.type.isUnicode())
                narrowed << QStringLiteral("%1 = tds_narrow(%1)").arg(Tsql::quoteName(c.name));
        }
        const QString target = QStringLiteral("main.") + Tsql::quoteName(def.name);
        const QString check =
            QStringLiteral("SELECT tds_check(%1, %2, %3, %4);").arg(Tsql::quote(def.name));
        exec(QStringLiteral("CREATE TEMP TRIGGER %1 BEFORE INSERT ON %2 BEGIN %3 END")
                 .arg(Tsql::quoteName(QStringLiteral("tds_insert_") + def.name), target,
                      check.arg(0).arg(QStringLiteral("NULL"), values.join(u", "))));
        exec(QStringLiteral("CREATE TEMP TRIGGER %1 BEFORE UPDATE ON %2 BEGIN %3 END")
                 .arg(Tsql::quoteName(QStringLiteral("tds_update_") + def.name), target,
                      check.arg(1).arg(QStringLiteral("OLD.rowid"), values.join(u", "))));
        if (narrowed.isEmpty())
            continue;
        for (const char* when : {"INSERT", "UPDATE"}) {
            exec(QStringLiteral("CREATE TEMP TRIGGER %1 AFTER %2 ON %3 BEGIN UPDATE %3 SET %4 "
                                "WHERE rowid = NEW.rowid; END")
                     .arg(Tsql::quoteName(QStringLiteral("tds_narrow_%1_%2")
                                              .arg(QString::fromLatin1(when).toLower(), def.name)),
                          QLatin1String(when), target, narrowed.join(u", ")));
        }
    }
    m_schemaVersion = version.first().first().toInt();
    return true;
}

void TsqlSession::checkRowCallback(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlSession*>(sqlite3_user_data(ctx));
    const QString tableName = sqliteValue(argv[0]).toString();
    const TdsTableDef* def = self->table(tableName);
    if (!def || argc - 3 != def->columns.size()) {
        sqlite3_result_null(ctx);
        return;
    }
    QVariantList values;
    for (int i = 3; i < argc; ++i)
        values << sqliteValue(argv[i]);
    const QVariant rowid = sqliteValue(argv[2]);
    const QString error = self->checkRow(*def, sqlite3_value_int(argv[1]) == 1,
                                         rowid.isNull() ? -1 : rowid.toLongLong(), values);
    if (error.isEmpty())
        sqlite3_result_null(ctx);
    else
        sqlite3_result_error(ctx, error.toUtf8().constData(), -1);
}

// What SQL Server checks on a row that SQLite would let through, in the
// order it checks: conversions, lengths, NULLs, then duplicate keys (NULLs
// compare equal in a SQL Server key).
QString TsqlSession::checkRow(const TdsTableDef& def, bool update, qint64 rowid,
                              const QVariantList& values)
{
    for (qsizetype i = 0; i < def.columns.size(); ++i) {
        const TdsColumnDef& c = def.columns.at(i);
        const QVariant& v = values.at(i);
        if (v.isNull()) {
            if (c.notNull && !c.identity)
                return payload(message(
                    515, 16, 2,
                    QStringLiteral("Cannot insert the value NULL into column '%1', table "
                                   "'%2.dbo.%3'; column does not allow nulls. %4 fails.")
                        .arg(c.name, database(), def.name,
                             update ? QStringLiteral("UPDATE") : QStringLiteral("INSERT"))));
            continue;
        }
        if (c.type.isInteger() && !integerOf(v))
            return payload(conversionFailed(v, c.type));
        if (c.type.isText() && !c.type.isMax()) {
            const QString text = v.toString();
            const qsizetype length =
                c.type.isUnicode() ? text.size() : collation().encode(text).size();
            if (length > c.type.length)
                return payload(message(
                    8152, 16, 30, QStringLiteral("String or binary data would be truncated.")));
        }
    }
    for (const TdsKeyDef& key : def.keys) {
        QStringList conditions;
        QVariantList keyValues;
        bool identityOnly = key.columns.size() == 1;
        for (const QString& name : key.columns) {
            const TdsColumnDef* c = def.column(name);
            const qsizetype at = c ? c - def.columns.constData() : -1;
            if (at < 0)
                return {};
            identityOnly = identityOnly && c->identity;
            conditions
                << QStringLiteral("%1 IS ?%2").arg(Tsql::quoteName(name)).arg(keyValues.size() + 1);
            keyValues << values.at(at);
        }
        if (identityOnly)
            continue;
        const QString sql =
            QStringLiteral("SELECT 1 FROM main.%1 WHERE %2 AND rowid IS NOT ?%3 LIMIT 1")
                .arg(Tsql::quoteName(def.name), conditions.join(QStringLiteral(" AND ")))
                .arg(keyValues.size() + 1);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            continue;
        }
        for (int i = 0; i < keyValues.size(); ++i)
            bindValue(stmt, i + 1, keyValues.at(i));
        bindValue(stmt, int(keyValues.size()) + 1, update ? QVariant(rowid) : QVariant());
        const bool duplicate = sqlite3_step(stmt) == SQLITE_ROW;
        sqlite3_finalize(stmt);
        if (!duplicate)
            continue;
        QStringList shown;
        for (const QVariant& v : keyValues)
            shown << (v.isNull() ? QStringLiteral("<NULL>") : v.toString());
        const QString valueText = shown.join(QStringLiteral(", "));
        if (key.kind == TdsKeyDef::UniqueIndex)
            return payload(message(2601, 14, 1,
                                   QStringLiteral("Cannot insert duplicate key row in object "
                                                  "'dbo.%1' with unique index '%2'. The duplicate "
                                                  "key value is (%3).")
                                       .arg(def.name, key.name, valueText)));
        return payload(message(
            2627, 14, 1,
            QStringLiteral("Violation of %1 constraint '%2'. Cannot insert duplicate key in object "
                           "'dbo.%3'. The duplicate key value is (%4).")
                .arg(key.kind == TdsKeyDef::PrimaryKey ? QStringLiteral("PRIMARY KEY")
                                                       : QStringLiteral("UNIQUE KEY"),
                     key.name, def.name, valueText)));
    }
    return {};
}

void TsqlSession::narrowText(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlSession*>(sqlite3_user_data(ctx));
    const QVariant v = sqliteValue(argv[0]);
    if (v.metaType().id() == QMetaType::QString)
        resultValue(ctx, self->collation().narrow(v.toString()));
    else
        resultValue(ctx, v);
}

void TsqlSession::getDate(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlSession*>(sqlite3_user_data(ctx));
    QDateTime now = self->m_state.now();
    if (sqlite3_value_int(argv[0]) != 0)
        now = now.toUTC();
    resultValue(ctx, now.toString(DateTimeFormat));
}

void TsqlSession::textLength(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const QVariant v = sqliteValue(argv[0]);
    if (v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    QString text = v.toString();
    while (text.endsWith(u' '))
        text.chop(1);
    sqlite3_result_int64(ctx, text.size());
}

// CONVERT(type, value, style) and CAST(value AS type).
void TsqlSession::convertValue(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlSession*>(sqlite3_user_data(ctx));
    const QString typeText = sqliteValue(argv[0]).toString();
    const auto type = TdsType::parse(typeText);
    if (!type) {
        resultError(ctx,
                    message(243, 16, 1,
                            QStringLiteral("Type %1 is not a defined system type.").arg(typeText)));
        return;
    }
    const QVariant value = sqliteValue(argv[1]);
    const QVariant style = sqliteValue(argv[2]);
    if (value.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    if (type->isInteger() || type->kind == TdsType::Bit) {
        const auto n = integerOf(value);
        if (!n)
            resultError(ctx, conversionFailed(value, *type));
        else
            sqlite3_result_int64(ctx, type->kind == TdsType::Bit ? (*n != 0) : *n);
        return;
    }
    if (type->kind == TdsType::Float) {
        bool ok = true;
        const double d = value.metaType().id() == QMetaType::QString
                             ? value.toString().trimmed().toDouble(&ok)
                             : value.toDouble();
        if (!ok)
            resultError(ctx,
                        message(8114, 16, 5,
                                QStringLiteral("Error converting data type varchar to float.")));
        else
            sqlite3_result_double(ctx, d);
        return;
    }
    if (type->kind == TdsType::DateTime) {
        const QDateTime dt = storedDateTime(value.toString());
        if (!dt.isValid())
            resultError(ctx, message(241, 16, 1,
                                     QStringLiteral("Conversion failed when converting date and/or "
                                                    "time from character string.")));
        else
            resultValue(ctx, dt.toString(DateTimeFormat));
        return;
    }
    QString text = value.toString();
    static const QRegularExpression stored(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)"));
    if (stored.match(text).hasMatch())
        text = dateTimeStyle(storedDateTime(text), style.toInt());
    if (type->isText() && !type->isUnicode())
        text = self->collation().narrow(text);
    if (!type->isMax()) {
        if (type->isUnicode())
            text.truncate(type->length);
        else
            while (self->collation().encode(text).size() > type->length)
                text.chop(1);
    }
    resultValue(ctx, text);
}

QList<TdsResult> TsqlSession::execute(const QString& batch, const QList<TdsParameter>& parameters)
{
    QList<TdsResult> results;
    for (TsqlTokens statement : Tsql::statements(Tsql::tokens(batch))) {
        // A batch may start with a procedure's name alone: "sp_datatype_info_100 11".
        const TsqlToken& first = withoutSpace(statement).first();
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
    const TsqlTokens words = withoutSpace(statement);
    const TsqlToken& verb = words.first();
    const TsqlToken* second = wordAt(words, 1);
    TdsResult r;
    if (verb.is("SET")) {
        r = runSet(words);
    } else if (verb.is("BEGIN") && second && (second->is("TRAN") || second->is("TRANSACTION"))) {
        beginTran(r);
    } else if (verb.is("COMMIT") || verb.is("ROLLBACK")) {
        const bool commit = verb.is("COMMIT");
        if (m_tranCount == 0) {
            r.error = true;
            r.messages << message(
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
        r.messages << message(0, 0, 1, second->isLiteral() ? second->value() : second->text);
    } else if (verb.is("CREATE") && second && second->is("TABLE")) {
        r = runCreateTable(words);
    } else if (verb.is("CREATE") &&
               std::any_of(words.begin(), words.begin() + qMin(4, int(words.size())),
                           [](const TsqlToken& t) { return t.is("INDEX"); })) {
        QString error;
        const auto index = TdsSchema::parseIndex(words, &error);
        if (!index)
            r.messages << message(102, 15, 1, error);
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
        r.messages << message(
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
    r.messages << message(5701, 0, 1,
                          QStringLiteral("Changed database context to '%1'.").arg(target->name));
    return r;
}

TdsResult TsqlSession::runCreateTable(const TsqlTokens& words)
{
    TdsResult r;
    QString error;
    const auto def = TdsSchema::parseTable(words, &error);
    if (!def) {
        r.messages << message(error.startsWith(u"Column") ? 2715 : 102, 16, 1, error);
    } else if (def->name.startsWith(u'#')) {
        // SQLite would keep it in the file for every session.
        r.messages << message(
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
        r.messages << message(2812, 16, 62,
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
        r.messages << message(1223, 16, 1,
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
    if (auto own = fromPayload(text))
        return *own;
    const int primary = code & 0xFF;
    if (code == SQLITE_BUSY_SNAPSHOT || primary == SQLITE_LOCKED)
        return message(
            1205, 13, 51,
            QStringLiteral("Transaction (Process ID %1) was deadlocked on lock resources "
                           "with another process and has been chosen as the deadlock "
                           "victim. Rerun the transaction.")
                .arg(m_sessionId));
    if (primary == SQLITE_BUSY)
        return message(1222, 16, 56, QStringLiteral("Lock request time out period exceeded."));
    if (primary == SQLITE_FULL)
        return message(1105, 17, 2,
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
            return message(p.number, p.severity, p.state,
                           text.contains(u"%1") ? text.arg(m.captured(1)) : text);
        }
    }
    return message(50000, 16, 1, text);
}

TsqlSession::Rewritten TsqlSession::rewrite(const TsqlTokens& t) const
{
    Rewritten out;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const TsqlToken& tok = t.at(i);
        const qsizetype n1 = nextWord(t, i);
        const TsqlToken* next = wordAt(t, n1);
        // Schema and database qualifiers: dbo.x, db.dbo.x and db..x name x.
        if (tok.isName() && next && next->isSymbol('.')) {
            const qsizetype n2 = nextWord(t, n1);
            const TsqlToken* after = wordAt(t, n2);
            const bool thisDatabase = tok.value().compare(database(), Qt::CaseInsensitive) == 0;
            if (thisDatabase && after && after->isSymbol('.')) {
                i = n2;
                continue;
            }
            const qsizetype n3 = nextWord(t, n2);
            if (thisDatabase && after && after->isName() && wordAt(t, n3) &&
                wordAt(t, n3)->isSymbol('.')) {
                i = n3;
                continue;
            }
            if (tok.value().compare(u"dbo", Qt::CaseInsensitive) == 0 && after && after->isName()) {
                i = n1;
                continue;
            }
        }
        switch (tok.kind) {
        case TsqlToken::String:
            out.sql += Tsql::quote(collation().narrow(tok.value()));
            continue;
        case TsqlToken::NString:
            out.sql += Tsql::quote(tok.value());
            continue;
        case TsqlToken::SystemVariable: {
            const QString name = tok.text.mid(2).toUpper();
            const QHash<QString, QString> values{
                {QStringLiteral("TRANCOUNT"), QString::number(m_tranCount)},
                {QStringLiteral("SPID"), QString::number(m_sessionId)},
                {QStringLiteral("VERSION"), Tsql::quote(VersionText)},
                {QStringLiteral("SERVERNAME"), QStringLiteral("'BRENVO-TDS'")},
                {QStringLiteral("SERVICENAME"), QStringLiteral("'MSSQLSERVER'")},
                {QStringLiteral("LANGUAGE"), QStringLiteral("'us_english'")},
                {QStringLiteral("ROWCOUNT"), QString::number(m_lastRowCount)},
                {QStringLiteral("ERROR"), QString::number(m_lastError)},
                {QStringLiteral("IDENTITY"), QStringLiteral("last_insert_rowid()")},
                {QStringLiteral("TEXTSIZE"), QString::number(m_textSize)},
                {QStringLiteral("MAX_PRECISION"), QStringLiteral("38")},
                {QStringLiteral("DATEFIRST"), QStringLiteral("7")},
                {QStringLiteral("LOCK_TIMEOUT"), QStringLiteral("-1")},
                {QStringLiteral("MICROSOFTVERSION"), QStringLiteral("251660240")},
                {QStringLiteral("OPTIONS"), QStringLiteral("5496")},
            };
            if (!values.contains(name)) {
                out.error = message(
                    137, 15, 2,
                    QStringLiteral("Must declare the scalar variable \"%1\".").arg(tok.text));
                return out;
            }
            out.sql += values.value(name);
            continue;
        }
        case TsqlToken::Word:
            break;
        default:
            out.sql += tok.text;
            continue;
        }
        const QString word = tok.text.toUpper();
        if (word == u"CURRENT_TIMESTAMP") {
            out.sql += QStringLiteral("tds_getdate(0)");
            continue;
        }
        // WITH (UPDLOCK, ...): SQLite has no table hints; the locking ones
        // take the write lock for the transaction instead.
        if (word == u"WITH" && next && next->isSymbol('(')) {
            const qsizetype close = Tsql::closingParen(t, n1);
            bool allHints = close > 0;
            bool writeLock = false;
            for (qsizetype k = n1 + 1; allHints && k < close; ++k) {
                const TsqlToken& h = t.at(k);
                if (h.kind == TsqlToken::Word) {
                    allHints = lockHints().contains(h.text.toUpper());
                    writeLock = writeLock || isWriteLockHint(h.text.toUpper());
                } else if (h.kind != TsqlToken::Space && !h.isSymbol(',')) {
                    allHints = false;
                }
            }
            if (allHints) {
                out.wantsWriteLock = out.wantsWriteLock || writeLock;
                out.sql += u' ';
                i = close;
                continue;
            }
        }
        if (word == u"TOP" && next && next->isSymbol('(')) {
            const qsizetype close = Tsql::closingParen(t, n1);
            if (close > 0) {
                out.sql +=
                    QStringLiteral("TOP ") + Tsql::join(t.mid(n1 + 1, close - n1 - 1)).trimmed();
                i = close;
                continue;
            }
        }
        if (!next || !next->isSymbol('(')) {
            out.sql += tok.text;
            continue;
        }
        const qsizetype close = Tsql::closingParen(t, n1);
        if (close < 0) {
            out.sql += tok.text;
            continue;
        }
        const TsqlTokens inner = t.mid(n1 + 1, close - n1 - 1);
        const bool noArguments = withoutSpace(inner).isEmpty();
        auto simple = [&](const QString& replacement) {
            out.sql += replacement;
            i = close;
        };
        auto nested = [&](const TsqlTokens& part) {
            const Rewritten r = rewrite(part);
            if (r.error)
                out.error = r.error;
            out.wantsWriteLock = out.wantsWriteLock || r.wantsWriteLock;
            return r.sql;
        };
        if (noArguments && (word == u"GETDATE" || word == u"SYSDATETIME")) {
            simple(QStringLiteral("tds_getdate(0)"));
        } else if (noArguments && (word == u"GETUTCDATE" || word == u"SYSUTCDATETIME")) {
            simple(QStringLiteral("tds_getdate(1)"));
        } else if (noArguments && word == u"SCOPE_IDENTITY") {
            simple(QStringLiteral("last_insert_rowid()"));
        } else if (noArguments && word == u"DB_NAME") {
            simple(Tsql::quote(database()));
        } else if (noArguments && (word == u"SUSER_SNAME" || word == u"SUSER_NAME")) {
            simple(Tsql::quote(m_state.user));
        } else if (noArguments && word == u"USER_NAME") {
            simple(QStringLiteral("'dbo'"));
        } else if (word == u"LEN") {
            out.sql += QStringLiteral("tds_len(") + nested(inner) + u')';
            i = close;
        } else if (word == u"CONVERT") {
            const QList<TsqlTokens> args = Tsql::commaList(t, n1 + 1, close);
            if (args.size() < 2) {
                out.sql += tok.text;
                continue;
            }
            out.sql +=
                QStringLiteral("tds_convert(%1, %2, %3)")
                    .arg(Tsql::quote(Tsql::join(withoutSpace(args.at(0)))), nested(args.at(1)),
                         args.size() > 2 ? nested(args.at(2)) : QStringLiteral("NULL"));
            i = close;
        } else if (word == u"CAST") {
            qsizetype as = -1;
            int depth = 0;
            for (qsizetype k = 0; k < inner.size(); ++k) {
                if (inner.at(k).isSymbol('('))
                    ++depth;
                else if (inner.at(k).isSymbol(')'))
                    --depth;
                else if (depth == 0 && inner.at(k).is("AS"))
                    as = k;
            }
            if (as < 0) {
                out.sql += tok.text;
                continue;
            }
            out.sql += QStringLiteral("tds_convert(%1, %2, NULL)")
                           .arg(Tsql::quote(Tsql::join(withoutSpace(inner.mid(as + 1)))),
                                nested(inner.mid(0, as)));
            i = close;
        } else {
            out.sql += tok.text;
        }
        if (out.error)
            return out;
    }
    return out;
}

QList<TsqlSession::SelectItem> TsqlSession::selectList(const TsqlTokens& words) const
{
    qsizetype start = -1;
    int depth = 0;
    for (qsizetype i = 0; i < words.size() && start < 0; ++i) {
        if (words.at(i).isSymbol('('))
            ++depth;
        else if (words.at(i).isSymbol(')'))
            --depth;
        else if (depth == 0 && words.at(i).is("SELECT"))
            start = i + 1;
    }
    if (start < 0)
        return {};
    qsizetype i = start;
    if (i < words.size() && (words.at(i).is("DISTINCT") || words.at(i).is("ALL")))
        ++i;
    if (i < words.size() && words.at(i).is("TOP")) {
        ++i;
        if (i < words.size() && words.at(i).isSymbol('('))
            i = Tsql::closingParen(words, i);
        ++i;
        while (i < words.size() &&
               (words.at(i).is("PERCENT") || words.at(i).is("WITH") || words.at(i).is("TIES")))
            ++i;
    }
    static const char* const ends[] = {"FROM",  "INTO",   "WHERE",  "GROUP",  "ORDER",
                                       "UNION", "HAVING", "OPTION", "EXCEPT", "INTERSECT"};
    qsizetype end = i;
    for (depth = 0; end < words.size(); ++end) {
        const TsqlToken& w = words.at(end);
        if (w.isSymbol('('))
            ++depth;
        else if (w.isSymbol(')'))
            --depth;
        else if (depth == 0 && std::any_of(std::begin(ends), std::end(ends),
                                           [&](const char* e) { return w.is(e); }))
            break;
    }
    QList<SelectItem> items;
    for (TsqlTokens item : Tsql::commaList(words, i, end)) {
        // Drop the alias: "expr AS name" or "expr name".
        bool aliased = true;
        if (item.size() > 2 && item.at(item.size() - 2).is("AS"))
            item.resize(item.size() - 2);
        else if (item.size() > 1 && item.last().isName() &&
                 (item.at(item.size() - 2).isSymbol(')') || item.at(item.size() - 2).isLiteral() ||
                  item.at(item.size() - 2).kind == TsqlToken::Number))
            item.removeLast();
        else
            aliased = false;
        if (item.isEmpty() || item.last().isSymbol('*'))
            return {};
        const bool columnReference =
            item.last().isName() && std::all_of(item.begin(), item.end(), [](const TsqlToken& t) {
                return t.isName() || t.isSymbol('.');
            });
        std::optional<TdsType> type;
        const TsqlToken& head = item.first();
        if (item.size() == 1) {
            if (head.kind == TsqlToken::Number)
                type = head.text.contains(u'.') || head.text.contains(u'e', Qt::CaseInsensitive)
                           ? TdsType{TdsType::Float, 0}
                       : qAbs(head.text.toLongLong()) > 2147483647 ? TdsType{TdsType::BigInt, 0}
                                                                   : TdsType{TdsType::Int, 0};
            else if (head.kind == TsqlToken::String)
                type = TdsType{TdsType::VarChar,
                               int(qMax<qsizetype>(1, collation().encode(head.value()).size()))};
            else if (head.kind == TsqlToken::NString)
                type = TdsType{TdsType::NVarChar, int(qMax<qsizetype>(1, head.value().size()))};
            else if (head.kind == TsqlToken::SystemVariable)
                type = QStringList{QStringLiteral("@@VERSION"), QStringLiteral("@@SERVERNAME"),
                                   QStringLiteral("@@SERVICENAME"), QStringLiteral("@@LANGUAGE")}
                               .contains(head.text.toUpper())
                           ? TdsType{TdsType::NVarChar, 300}
                       : head.text.compare(u"@@IDENTITY", Qt::CaseInsensitive) == 0
                           ? TdsType{TdsType::BigInt, 0}
                           : TdsType{TdsType::Int, 0};
            else if (head.is("CURRENT_TIMESTAMP"))
                type = TdsType{TdsType::DateTime, 0};
            else if (head.is("NULL"))
                type = TdsType{TdsType::Int, 0};
        } else if (head.kind == TsqlToken::Word && item.at(1).isSymbol('(') &&
                   Tsql::closingParen(item, 1) == item.size() - 1) {
            const QString fn = head.text.toUpper();
            const QList<TsqlTokens> args = Tsql::commaList(item, 2, item.size() - 1);
            if (fn == u"COUNT" || fn == u"LEN" || fn == u"DATALENGTH" || fn == u"CHARINDEX")
                type = TdsType{TdsType::Int, 0};
            else if (fn == u"COUNT_BIG" || fn == u"SCOPE_IDENTITY")
                type = TdsType{TdsType::BigInt, 0};
            else if (fn == u"GETDATE" || fn == u"SYSDATETIME" || fn == u"GETUTCDATE" ||
                     fn == u"SYSUTCDATETIME")
                type = TdsType{TdsType::DateTime, 0};
            else if (fn == u"DB_NAME" || fn == u"USER_NAME" || fn == u"SUSER_SNAME" ||
                     fn == u"SUSER_NAME")
                type = TdsType{TdsType::NVarChar, 128};
            else if (fn == u"CONVERT" && !args.isEmpty())
                type = TdsType::parse(Tsql::join(args.first()));
            else if (fn == u"CAST" && !args.isEmpty()) {
                const TsqlTokens& inner = args.first();
                for (qsizetype k = inner.size() - 1; k >= 0; --k) {
                    if (inner.at(k).is("AS")) {
                        type = TdsType::parse(Tsql::join(inner.mid(k + 1)));
                        break;
                    }
                }
            }
        } else if (item.size() == 2 && head.isSymbol('-') && item.at(1).kind == TsqlToken::Number) {
            type = TdsType{TdsType::Int, 0};
        }
        items << SelectItem{type, aliased || columnReference};
    }
    return items;
}

TdsColumn TsqlSession::describeColumn(sqlite3_stmt* stmt, int column, const SelectItem& item,
                                      const QList<QVariantList>& rows) const
{
    TdsColumn out;
    if (item.named)
        out.name = QString::fromUtf8(sqlite3_column_name(stmt, column));
    const char* tableName = sqlite3_column_table_name(stmt, column);
    const char* origin = sqlite3_column_origin_name(stmt, column);
    if (tableName && origin) {
        const TdsTableDef* def = table(QString::fromUtf8(tableName));
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

QList<TdsColumn> TsqlSession::describe(const QString& sql)
{
    QList<TdsColumn> columns;
    const QList<TsqlTokens> statements = Tsql::statements(Tsql::tokens(sql));
    if (statements.isEmpty() || !refreshCatalog())
        return columns;
    const Rewritten rewritten = rewrite(statements.first());
    const QByteArray text = SqlDialect::toSqlite(rewritten.sql).toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (rewritten.error ||
        sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return columns;
    }
    const int count = stmt ? sqlite3_column_count(stmt) : 0;
    const QList<SelectItem> items = selectList(withoutSpace(statements.first()));
    for (int c = 0; c < count; ++c)
        columns << describeColumn(stmt, c, items.size() == count ? items.at(c) : SelectItem(), {});
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
            r.messages << message(3621, 0, 0, QStringLiteral("The statement has been terminated."));
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
    refreshCatalog();
    const Rewritten rewritten = rewrite(statement);
    if (rewritten.error)
        return fail(*rewritten.error);
    if (!ensureSqliteTransaction(rewritten.wantsWriteLock, r))
        return fail(r.messages.takeLast());
    const QByteArray sql = SqlDialect::toSqlite(rewritten.sql).toUtf8();
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
            return fail(message(
                137, 15, 2, QStringLiteral("Must declare the scalar variable \"%1\".").arg(name)));
        }
        bindValue(stmt, k, p->value);
    }
    const int columns = sqlite3_column_count(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << columnValue(stmt, c);
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
        const QList<SelectItem> items = selectList(words);
        for (int c = 0; c < columns; ++c)
            r.columns << describeColumn(
                stmt, c, items.size() == columns ? items.at(c) : SelectItem(), r.rows);
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
