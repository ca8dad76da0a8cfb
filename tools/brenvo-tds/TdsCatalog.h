#pragma once

#include "TdsSchema.h"

#include <QHash>
#include <QString>
#include <QVariantList>

struct TdsDatabase;
struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

// The tables of one database file as SQL Server would describe them: each
// column with the type the schema script declares (or, for a table the
// script does not name, the type the file keeps), and the keys SQL Server
// checks. SQLite asks it to check every inserted or updated row through
// temporary triggers calling tds_check, so the rules SQL Server enforces and
// SQLite does not (declared lengths, NOT NULL and keys as declared,
// conversions into int columns) hold for every session.
class TdsCatalog
{
public:
    TdsCatalog(sqlite3* db, const TdsSchema& schema, const TdsDatabase& database);

    // Rereads the tables and remakes the triggers when the file's schema
    // changed since the last call; false when the file cannot be read.
    bool refresh();
    const TdsTableDef* table(const QString& name) const;

private:
    static void checkRowCallback(sqlite3_context* ctx, int argc, sqlite3_value** argv);
    // Empty when the row passes, else the error for SQLite to raise.
    QString checkRow(const TdsTableDef& def, bool update, qint64 rowid, const QVariantList& values);
    QList<QVariantList> query(const QString& sql);
    void makeTriggers();

    sqlite3* m_db;
    const TdsSchema& m_schema;
    const TdsDatabase& m_database;
    int m_schemaVersion = -1;
    QHash<QString, TdsTableDef> m_tables; // by lower-case name
};
