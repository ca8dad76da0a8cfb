#include "TsqlLexer.h"

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#';
}

// End of a quoted run starting at `from` (the opening quote), with doubled
// closing quotes inside; the text's end when it is never closed.
qsizetype quotedEnd(const QString& sql, qsizetype from, QChar close)
{
    for (qsizetype i = from + 1; i < sql.size(); ++i) {
        if (sql.at(i) != close)
            continue;
        if (i + 1 < sql.size() && sql.at(i + 1) == close) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return sql.size();
}

} // namespace

QString TsqlToken::value() const
{
    switch (kind) {
    case String:
    case NString: {
        const qsizetype open = text.indexOf(u'\'');
        QString inner = text.mid(open + 1);
        if (inner.endsWith(u'\''))
            inner.chop(1);
        return inner.replace(QStringLiteral("''"), QStringLiteral("'"));
    }
    case QuotedName: {
        QString inner = text.mid(1, text.size() - 2);
        return text.startsWith(u'[') ? inner.replace(QStringLiteral("]]"), QStringLiteral("]"))
                                     : inner.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    }
    default:
        return text;
    }
}

bool TsqlToken::is(const char* word) const
{
    return kind == Word && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

TsqlTokens Tsql::tokens(const QString& sql)
{
    TsqlTokens out;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    auto push = [&](TsqlToken::Kind kind, qsizetype end) {
        out.append({kind, sql.mid(i, end - i)});
        i = end;
    };
    while (i < n) {
        const QChar c = sql.at(i);
        const QChar next = i + 1 < n ? sql.at(i + 1) : QChar();
        if (c.isSpace()) {
            qsizetype end = i;
            while (end < n && sql.at(end).isSpace())
                ++end;
            push(TsqlToken::Space, end);
        } else if (c == u'-' && next == u'-') {
            const qsizetype nl = sql.indexOf(u'\n', i);
            push(TsqlToken::Space, nl < 0 ? n : nl);
        } else if (c == u'/' && next == u'*') {
            const qsizetype close = sql.indexOf(QStringLiteral("*/"), i + 2);
            push(TsqlToken::Space, close < 0 ? n : close + 2);
        } else if (c == u'\'') {
            push(TsqlToken::String, quotedEnd(sql, i, u'\''));
        } else if ((c == u'N' || c == u'n') && next == u'\'') {
            push(TsqlToken::NString, quotedEnd(sql, i + 1, u'\''));
        } else if (c == u'[') {
            push(TsqlToken::QuotedName, quotedEnd(sql, i, u']'));
        } else if (c == u'"') {
            push(TsqlToken::QuotedName, quotedEnd(sql, i, u'"'));
        } else if (c == u'@') {
            const bool system = next == u'@';
            qsizetype end = i + (system ? 2 : 1);
            while (end < n && isWordChar(sql.at(end)))
                ++end;
            push(system ? TsqlToken::SystemVariable : TsqlToken::Variable, end);
        } else if (c.isDigit() || (c == u'.' && next.isDigit())) {
            qsizetype end = i;
            while (end < n && (sql.at(end).isDigit() || sql.at(end) == u'.'))
                ++end;
            if (end < n && (sql.at(end) == u'e' || sql.at(end) == u'E')) {
                qsizetype exp = end + 1;
                if (exp < n && (sql.at(exp) == u'+' || sql.at(exp) == u'-'))
                    ++exp;
                if (exp < n && sql.at(exp).isDigit()) {
                    end = exp;
                    while (end < n && sql.at(end).isDigit())
                        ++end;
                }
            }
            push(TsqlToken::Number, end);
        } else if (isWordChar(c)) {
            qsizetype end = i;
            while (end < n && isWordChar(sql.at(end)))
                ++end;
            push(TsqlToken::Word, end);
        } else {
            static const QString pairs[] = {QStringLiteral("<="), QStringLiteral(">="),
                                            QStringLiteral("<>"), QStringLiteral("!="),
                                            QStringLiteral("!<"), QStringLiteral("!>")};
            qsizetype end = i + 1;
            for (const QString& pair : pairs) {
                if (sql.mid(i, 2) == pair)
                    end = i + 2;
            }
            push(TsqlToken::Symbol, end);
        }
    }
    return out;
}

TsqlTokens Tsql::words(const QString& sql)
{
    return withoutSpace(tokens(sql));
}

TsqlTokens Tsql::withoutSpace(const TsqlTokens& tokens)
{
    TsqlTokens out;
    for (const TsqlToken& t : tokens) {
        if (t.kind != TsqlToken::Space)
            out.append(t);
    }
    return out;
}

qsizetype Tsql::nextWord(const TsqlTokens& tokens, qsizetype i)
{
    for (++i; i < tokens.size(); ++i) {
        if (tokens.at(i).kind != TsqlToken::Space)
            return i;
    }
    return tokens.size();
}

QString Tsql::join(const TsqlTokens& tokens)
{
    QString out;
    for (const TsqlToken& t : tokens)
        out += t.text;
    return out;
}

QList<TsqlTokens> Tsql::statements(const TsqlTokens& tokens)
{
    // T-SQL needs no semicolon between statements: a keyword that starts a
    // statement ends the one before, except SELECT inside INSERT ... SELECT
    // or after UNION, and SET inside UPDATE ... SET.
    static const char* const starters[] = {"SELECT",  "INSERT",   "UPDATE",   "DELETE", "SET",
                                           "BEGIN",   "COMMIT",   "ROLLBACK", "SAVE",   "EXEC",
                                           "EXECUTE", "PRINT",    "USE",      "CREATE", "DROP",
                                           "ALTER",   "TRUNCATE", "DECLARE",  "IF"};
    QList<TsqlTokens> out;
    TsqlTokens current;
    QString verb;
    QString previous;
    bool selected = false;
    bool assigned = false;
    int depth = 0;
    auto flush = [&] {
        if (!verb.isEmpty())
            out.append(current);
        current.clear();
        verb.clear();
        selected = assigned = false;
    };
    for (const TsqlToken& t : tokens) {
        if (t.isSymbol('('))
            ++depth;
        else if (t.isSymbol(')'))
            --depth;
        if (depth <= 0 && t.isSymbol(';')) {
            flush();
            continue;
        }
        if (depth <= 0 && t.kind == TsqlToken::Word && !verb.isEmpty() &&
            std::any_of(std::begin(starters), std::end(starters),
                        [&](const char* s) { return t.is(s); })) {
            const bool continues =
                (t.is("SELECT") &&
                 ((!selected && (verb == u"INSERT" || verb == u"WITH")) || previous == u"UNION" ||
                  previous == u"ALL" || previous == u"EXCEPT" || previous == u"INTERSECT")) ||
                (t.is("SET") && verb == u"UPDATE" && !assigned);
            if (!continues)
                flush();
        }
        if (t.kind != TsqlToken::Space) {
            if (verb.isEmpty())
                verb = t.text.toUpper();
            selected = selected || t.is("SELECT");
            assigned = assigned || t.is("SET");
            previous = t.text.toUpper();
        }
        current.append(t);
    }
    flush();
    return out;
}

qsizetype Tsql::closingParen(const TsqlTokens& tokens, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < tokens.size(); ++i) {
        if (tokens.at(i).isSymbol('('))
            ++depth;
        else if (tokens.at(i).isSymbol(')') && --depth == 0)
            return i;
    }
    return -1;
}

QList<TsqlTokens> Tsql::commaList(const TsqlTokens& tokens, qsizetype from, qsizetype to)
{
    QList<TsqlTokens> out{{}};
    int depth = 0;
    for (qsizetype i = from; i < to; ++i) {
        const TsqlToken& t = tokens.at(i);
        if (t.isSymbol('('))
            ++depth;
        else if (t.isSymbol(')'))
            --depth;
        if (depth == 0 && t.isSymbol(',')) {
            out.append(TsqlTokens());
            continue;
        }
        out.last().append(t);
    }
    return out;
}

QString Tsql::quote(const QString& text)
{
    QString out = text;
    out.replace(u'\'', QStringLiteral("''"));
    return u'\'' + out + u'\'';
}

QString Tsql::quoteName(const QString& name)
{
    QString out = name;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}
