#include "TsqlTranslator.h"

#include "platform/SqlDialect.h"
#include "TdsCollation.h"

#include <QSet>

namespace {

constexpr const char* VersionText =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)\n\tbrenvo-tds: a TDS stand-in "
    "answering from SQLite files";

const TsqlToken* wordAt(const TsqlTokens& t, qsizetype i)
{
    return i >= 0 && i < t.size() ? &t.at(i) : nullptr;
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

TsqlTranslator::TsqlTranslator(const TdsCollation& collation, const QString& database,
                               const QString& user, const QHash<QString, QString>& variables)
    : m_collation(collation), m_database(database), m_user(user), m_variables(variables)
{
}

TsqlTranslator::Result TsqlTranslator::toSqlite(const TsqlTokens& statement) const
{
    Result out = rewrite(statement);
    out.sql = SqlDialect::toSqlite(out.sql);
    return out;
}

TsqlTranslator::Result TsqlTranslator::rewrite(const TsqlTokens& t) const
{
    Result out;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const TsqlToken& tok = t.at(i);
        const qsizetype n1 = Tsql::nextWord(t, i);
        const TsqlToken* next = wordAt(t, n1);
        // Schema and database qualifiers: dbo.x, db.dbo.x and db..x name x.
        if (tok.isName() && next && next->isSymbol('.')) {
            const qsizetype n2 = Tsql::nextWord(t, n1);
            const TsqlToken* after = wordAt(t, n2);
            const bool thisDatabase = tok.value().compare(m_database, Qt::CaseInsensitive) == 0;
            if (thisDatabase && after && after->isSymbol('.')) {
                i = n2;
                continue;
            }
            const qsizetype n3 = Tsql::nextWord(t, n2);
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
            out.sql += Tsql::quote(m_collation.narrow(tok.value()));
            continue;
        case TsqlToken::NString:
            out.sql += Tsql::quote(tok.value());
            continue;
        case TsqlToken::SystemVariable: {
            const QString name = tok.text.mid(2).toUpper();
            QHash<QString, QString> values = m_variables;
            values.insert({
                {QStringLiteral("VERSION"), Tsql::quote(QLatin1String(VersionText))},
                {QStringLiteral("SERVERNAME"), QStringLiteral("'BRENVO-TDS'")},
                {QStringLiteral("SERVICENAME"), QStringLiteral("'MSSQLSERVER'")},
                {QStringLiteral("LANGUAGE"), QStringLiteral("'us_english'")},
                {QStringLiteral("IDENTITY"), QStringLiteral("last_insert_rowid()")},
                {QStringLiteral("MAX_PRECISION"), QStringLiteral("38")},
                {QStringLiteral("DATEFIRST"), QStringLiteral("7")},
                {QStringLiteral("LOCK_TIMEOUT"), QStringLiteral("-1")},
                {QStringLiteral("MICROSOFTVERSION"), QStringLiteral("251660240")},
                {QStringLiteral("OPTIONS"), QStringLiteral("5496")},
            });
            if (!values.contains(name)) {
                out.error = tdsMessage(
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
        const bool noArguments = Tsql::withoutSpace(inner).isEmpty();
        auto simple = [&](const QString& replacement) {
            out.sql += replacement;
            i = close;
        };
        auto nested = [&](const TsqlTokens& part) {
            const Result r = rewrite(part);
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
            simple(Tsql::quote(m_database));
        } else if (noArguments && (word == u"SUSER_SNAME" || word == u"SUSER_NAME")) {
            simple(Tsql::quote(m_user));
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
            out.sql += QStringLiteral("tds_convert(%1, %2, %3)")
                           .arg(Tsql::quote(Tsql::join(Tsql::withoutSpace(args.at(0)))),
                                nested(args.at(1)),
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
                           .arg(Tsql::quote(Tsql::join(Tsql::withoutSpace(inner.mid(as + 1)))),
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

QList<TsqlTranslator::SelectItem> TsqlTranslator::selectList(const TsqlTokens& words) const
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
                               int(qMax<qsizetype>(1, m_collation.encode(head.value()).size()))};
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
