#include "TdsCatalog.h"

#include "SqliteValue.h"
#include "TdsServerState.h"
#include "TsqlFunctions.h"

#include <sqlite3.h>

TdsCatalog::TdsCatalog(sqlite3* db, const TdsSchema& schema, const TdsDatabase& database)
    : m_db(db), m_schema(schema), m_database(database)
{
    sqlite3_create_function(m_db, "tds_check", -1, SQLITE_UTF8, this, &checkRowCallback, nullptr,
                            nullptr);
}

const TdsTableDef* TdsCatalog::table(const QString& name) const
{
    const auto it = m_tables.constFind(name.toLower());
    return it == m_tables.constEnd() ? nullptr : &*it;
}

QList<QVariantList> TdsCatalog::query(const QString& sql)
{
    QList<QVariantList> rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QVariantList row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                row << SqliteValue::column(stmt, i);
            rows << row;
        }
    }
    sqlite3_finalize(stmt);
    return rows;
}

// The catalog: every table of the file with the type SQL Server would give
// each column (from the schema script where it names the table, otherwise
// from the declared type the file keeps), and the temporary triggers that
// check rows against it.
bool TdsCatalog::refresh()
{
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
        const TdsTableDef* declared = m_schema.table(name);
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

    makeTriggers();
    m_schemaVersion = version.first().first().toInt();
    return true;
}

// Triggers live in the session's temporary schema: the file stays as the
// program and the demo generator know it.
void TdsCatalog::makeTriggers()
{
    for (const QVariantList& trigger :
         query(QStringLiteral("SELECT name FROM temp.sqlite_master WHERE type = 'trigger'")))
        query(QStringLiteral("DROP TRIGGER temp.%1")
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
        query(QStringLiteral("CREATE TEMP TRIGGER %1 BEFORE INSERT ON %2 BEGIN %3 END")
                  .arg(Tsql::quoteName(QStringLiteral("tds_insert_") + def.name), target,
                       check.arg(0).arg(QStringLiteral("NULL"), values.join(u", "))));
        query(QStringLiteral("CREATE TEMP TRIGGER %1 BEFORE UPDATE ON %2 BEGIN %3 END")
                  .arg(Tsql::quoteName(QStringLiteral("tds_update_") + def.name), target,
                       check.arg(1).arg(QStringLiteral("OLD.rowid"), values.join(u", "))));
        if (narrowed.isEmpty())
            continue;
        for (const char* when : {"INSERT", "UPDATE"}) {
            query(QStringLiteral("CREATE TEMP TRIGGER %1 AFTER %2 ON %3 BEGIN UPDATE %3 SET %4 "
                                 "WHERE rowid = NEW.rowid; END")
                      .arg(Tsql::quoteName(QStringLiteral("tds_narrow_%1_%2")
                                               .arg(QString::fromLatin1(when).toLower(), def.name)),
                           QLatin1String(when), target, narrowed.join(u", ")));
        }
    }
}

void TdsCatalog::checkRowCallback(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    auto* self = static_cast<TdsCatalog*>(sqlite3_user_data(ctx));
    const QString tableName = SqliteValue::from(argv[0]).toString();
    const TdsTableDef* def = self->table(tableName);
    if (!def || argc - 3 != def->columns.size()) {
        sqlite3_result_null(ctx);
        return;
    }
    QVariantList values;
    for (int i = 3; i < argc; ++i)
        values << SqliteValue::from(argv[i]);
    const QVariant rowid = SqliteValue::from(argv[2]);
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
QString TdsCatalog::checkRow(const TdsTableDef& def, bool update, qint64 rowid,
                             const QVariantList& values)
{
    for (qsizetype i = 0; i < def.columns.size(); ++i) {
        const TdsColumnDef& c = def.columns.at(i);
        const QVariant& v = values.at(i);
        if (v.isNull()) {
            if (c.notNull && !c.identity)
                return tdsMessage(
                           515, 16, 2,
                           QStringLiteral("Cannot insert the value NULL into column '%1', table "
                                          "'%2.dbo.%3'; column does not allow nulls. %4 fails.")
                               .arg(c.name, m_database.name, def.name,
                                    update ? QStringLiteral("UPDATE") : QStringLiteral("INSERT")))
                    .toSqliteError();
            continue;
        }
        if (c.type.isInteger() && !TsqlFunctions::integerOf(v))
            return TsqlFunctions::conversionFailed(v, c.type).toSqliteError();
        if (c.type.isText() && !c.type.isMax()) {
            const QString text = v.toString();
            const qsizetype length =
                c.type.isUnicode() ? text.size() : m_database.collation.encode(text).size();
            if (length > c.type.length)
                return tdsMessage(8152, 16, 30,
                                  QStringLiteral("String or binary data would be truncated."))
                    .toSqliteError();
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
            SqliteValue::bind(stmt, i + 1, keyValues.at(i));
        SqliteValue::bind(stmt, int(keyValues.size()) + 1, update ? QVariant(rowid) : QVariant());
        const bool duplicate = sqlite3_step(stmt) == SQLITE_ROW;
        sqlite3_finalize(stmt);
        if (!duplicate)
            continue;
        QStringList shown;
        for (const QVariant& v : keyValues)
            shown << (v.isNull() ? QStringLiteral("<NULL>") : v.toString());
        const QString valueText = shown.join(QStringLiteral(", "));
        if (key.kind == TdsKeyDef::UniqueIndex)
            return tdsMessage(2601, 14, 1,
                              QStringLiteral("Cannot insert duplicate key row in object "
                                             "'dbo.%1' with unique index '%2'. The duplicate "
                                             "key value is (%3).")
                                  .arg(def.name, key.name, valueText))
                .toSqliteError();
        return tdsMessage(
                   2627, 14, 1,
                   QStringLiteral(
                       "Violation of %1 constraint '%2'. Cannot insert duplicate key in object "
                       "'dbo.%3'. The duplicate key value is (%4).")
                       .arg(key.kind == TdsKeyDef::PrimaryKey ? QStringLiteral("PRIMARY KEY")
                                                              : QStringLiteral("UNIQUE KEY"),
                            key.name, def.name, valueText))
            .toSqliteError();
    }
    return {};
}
