#pragma once

#include <QVariant>

struct sqlite3_context;
struct sqlite3_stmt;
struct sqlite3_value;

// SQLite values as QVariants: qlonglong, double, QString, QByteArray or null.
namespace SqliteValue {

QVariant from(sqlite3_value* value);
QVariant column(sqlite3_stmt* stmt, int column);
void bind(sqlite3_stmt* stmt, int index, const QVariant& value);
void result(sqlite3_context* ctx, const QVariant& value);

} // namespace SqliteValue
