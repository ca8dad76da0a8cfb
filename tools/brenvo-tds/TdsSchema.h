#pragma once

#include "TdsType.h"
#include "TsqlLexer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct TdsColumnDef
{
    QString name;
    TdsType type;
    bool notNull = false;
    bool identity = false;
    bool primaryKey = false;
    // SQLite text of the default, empty for none.
    QString defaultValue;
};

// A key SQL Server checks for duplicates; the kind decides the error number.
struct TdsKeyDef
{
    enum Kind
    {
        PrimaryKey,
        UniqueConstraint,
        UniqueIndex,
    };
    Kind kind = UniqueConstraint;
    QString name;
    QStringList columns;
};

struct TdsTableDef
{
    QString name;
    QList<TdsColumnDef> columns;
    QList<TdsKeyDef> keys;
    // CREATE INDEX statements for SQLite, in the script's order.
    QStringList indexes;

    const TdsColumnDef* column(const QString& name) const;
    // CREATE TABLE for SQLite. Declared types keep the SQL Server type
    // ("nvarchar(100)", "(max)" as "(-1)") so the file remembers them;
    // text columns compare without case when the collation does.
    QString sqliteCreate(bool caseInsensitive) const;
};

struct TdsIndexDef
{
    QString table;
    QString sqlite;
    // Set for a unique index.
    std::optional<TdsKeyDef> key;
};

// The SQL Server schema script (CREATE TABLE, CREATE INDEX and the
// database's COLLATE clause) read into table definitions.
class TdsSchema
{
public:
    // Batches separated by GO lines, statements by semicolons. Statements
    // other than those above are ignored.
    static std::optional<TdsSchema> parse(const QString& script, QString* error);
    // One CREATE TABLE statement.
    static std::optional<TdsTableDef> parseTable(const TsqlTokens& words, QString* error);
    // One CREATE [UNIQUE] INDEX statement.
    static std::optional<TdsIndexDef> parseIndex(const TsqlTokens& words, QString* error);
    // The last part of a dotted name starting at words[*at]; *at moves past it.
    static QString objectName(const TsqlTokens& words, qsizetype* at);

    const TdsTableDef* table(const QString& name) const;
    const QList<TdsTableDef>& tables() const { return m_tables; }
    // The collation a CREATE/ALTER DATABASE statement gives this database,
    // or empty. ALTER DATABASE CURRENT names every database.
    QString collationFor(const QString& database) const;

private:
    QList<TdsTableDef> m_tables;
    QHash<QString, QString> m_collations; // lower-case database name, "" = current
};
