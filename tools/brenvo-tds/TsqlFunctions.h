#pragma once

#include "TdsMessage.h"
#include "TdsType.h"

#include <QVariant>

#include <optional>

class TdsCollation;
class TdsServerState;
struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

// The SQL Server functions the statements use, as SQLite functions that the
// statement rewrite calls: tds_convert (CONVERT and CAST, with SQL Server's
// conversion errors and date styles), tds_getdate (GETDATE on the server's
// clock), tds_len (LEN) and tds_narrow (a value through the code page).
class TsqlFunctions
{
public:
    // Dates and times as this server keeps them in SQLite.
    static constexpr const char* DateTimeFormat = "yyyy-MM-dd HH:mm:ss.zzz";

    TsqlFunctions(const TdsServerState& state, const TdsCollation& collation);
    void install(sqlite3* db);

    // A whole number read from a value, or nullopt when SQL Server would
    // refuse to convert it.
    static std::optional<qint64> integerOf(const QVariant& value);
    static TdsMessage conversionFailed(const QVariant& value, const TdsType& type);

private:
    static void convertValue(sqlite3_context* ctx, int argc, sqlite3_value** argv);
    static void getDate(sqlite3_context* ctx, int argc, sqlite3_value** argv);
    static void textLength(sqlite3_context* ctx, int argc, sqlite3_value** argv);
    static void narrowText(sqlite3_context* ctx, int argc, sqlite3_value** argv);

    const TdsServerState& m_state;
    const TdsCollation& m_collation;
};
