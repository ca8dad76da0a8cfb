#pragma once

#include <QString>
#include <QStringList>

// The program writes every statement in SQL Server's dialect. For the
// embedded SQLite default the few SQL Server-only forms it uses are
// rewritten here; text inside string literals is never touched.
namespace SqlDialect {

// GETDATE() -> datetime('now','localtime'); CONVERT(varchar(n), x, 20) -> x;
// ISNULL( -> IFNULL(; SELECT TOP n ... -> SELECT ... LIMIT n.
QString toSqlite(const QString& tsql);

// Doubles single quotes so a value can stand between quotes in a statement.
QString quoted(const QString& value);
// Each value quoted and between single quotes, joined by commas: 'a','b'.
QString quotedList(const QStringList& values);

} // namespace SqlDialect
