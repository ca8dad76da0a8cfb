#pragma once

#include "TdsMessage.h"
#include "TdsType.h"
#include "TsqlLexer.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class TdsCollation;

// Reads one T-SQL statement the way SQL Server would and writes it for
// SQLite: literals through the collation's code page, @@ variables,
// GETDATE/CONVERT/CAST/LEN as the tds_ functions, dbo. and db.dbo.
// qualifiers dropped, table hints taken off (the locking ones ask for the
// write lock), then the program's own SqlDialect for TOP and ISNULL. It
// also reads the select list for the types SQL Server gives expressions.
class TsqlTranslator
{
public:
    struct Result
    {
        QString sql;
        bool wantsWriteLock = false;
        std::optional<TdsMessage> error;
    };
    // What the select list says of a result column.
    struct SelectItem
    {
        std::optional<TdsType> type;
        // SQL Server names an expression's column only after its alias.
        bool named = true;
    };

    // `variables`: the session's @@TRANCOUNT, @@SPID, ... as SQL, by name
    // without the @@.
    TsqlTranslator(const TdsCollation& collation, const QString& database, const QString& user,
                   const QHash<QString, QString>& variables);

    Result toSqlite(const TsqlTokens& statement) const;
    // One item per result column, or none when the list has a * in it.
    QList<SelectItem> selectList(const TsqlTokens& words) const;

private:
    Result rewrite(const TsqlTokens& statement) const;

    const TdsCollation& m_collation;
    const QString m_database;
    const QString m_user;
    QHash<QString, QString> m_variables;
};
