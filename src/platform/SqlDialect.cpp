#include "platform/SqlDialect.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// Splits a statement into code and string-literal pieces (literals keep
// their quotes), so the rewrites below only ever see code.
QStringList splitLiterals(const QString& sql)
{
    QStringList pieces;
    QString current;
    bool inLiteral = false;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!inLiteral && c == u'\'') {
            pieces << current;
            current = c;
            inLiteral = true;
        } else if (inLiteral && c == u'\'') {
            current += c;
            if (i + 1 < sql.size() && sql.at(i + 1) == u'\'') {
                current += sql.at(++i);
            } else {
                pieces << current;
                current.clear();
                inLiteral = false;
            }
        } else {
            current += c;
        }
    }
    pieces << current;
    return pieces;
}

// Finds the closing parenthesis matching the one at `open`, skipping literals.
int matchingParen(const QString& code, int open)
{
    int depth = 0;
    bool inLiteral = false;
    for (int i = open; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == u'\'')
            inLiteral = !inLiteral;
        if (inLiteral)
            continue;
        if (c == u'(')
            ++depth;
        else if (c == u')' && --depth == 0)
            return i;
    }
    return -1;
}

// CONVERT(varchar(n), expr, 20) is style 20, "yyyy-mm-dd hh:mm:ss", which is
// what SQLite's datetime() already gives: keep only the expression.
QString rewriteConvert(QString sql)
{
    static const QRegularExpression head(
        QStringLiteral(R"(\bCONVERT\s*\(\s*n?varchar\s*\(\s*\d+\s*\)\s*,)"),
        QRegularExpression::CaseInsensitiveOption);
    qsizetype from = 0;
    for (;;) {
        const auto match = head.match(sql, from);
        if (!match.hasMatch())
            return sql;
        const int open = sql.indexOf(u'(', match.capturedStart());
        const int close = matchingParen(sql, open);
        if (close < 0)
            return sql;
        const QString inner = sql.mid(match.capturedEnd(), close - match.capturedEnd());
        const int lastComma = inner.lastIndexOf(u',');
        const QString expr = (lastComma >= 0 ? inner.left(lastComma) : inner).trimmed();
        sql.replace(match.capturedStart(), close + 1 - match.capturedStart(), expr);
        from = match.capturedStart() + expr.size();
    }
}

// SQLite ends a statement's text at a NUL, which would cut a typed value
// short: a literal holding one is rebuilt around char(0) so it is stored whole.
QString withNul(const QString& literal)
{
    if (!literal.contains(QChar(u'\0')))
        return literal;
    QString out = literal;
    out.replace(QChar(u'\0'), QStringLiteral("'||char(0)||'"));
    return u'(' + out + u')';
}

} // namespace

QString SqlDialect::toSqlite(const QString& tsql)
{
    static const QRegularExpression getdate(QStringLiteral(R"(\bGETDATE\s*\(\s*\))"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression isnull(QStringLiteral(R"(\bISNULL\s*\()"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression top(QStringLiteral(R"(^(\s*select\s+)top\s+(\d+)\s+)"),
                                        QRegularExpression::CaseInsensitiveOption);

    // Rewrites work on the code with each literal replaced by a placeholder,
    // then the literals go back in unchanged.
    QStringList pieces = splitLiterals(tsql);
    QString code;
    QStringList literals;
    for (int i = 0; i < pieces.size(); ++i) {
        if (i % 2 == 0) {
            code += pieces.at(i);
        } else {
            code += QStringLiteral("'%1'").arg(literals.size());
            literals << pieces.at(i);
        }
    }

    code.replace(getdate, QStringLiteral("datetime('now','localtime')"));
    code.replace(isnull, QStringLiteral("IFNULL("));
    code = rewriteConvert(code);
    QString limit;
    const auto topMatch = top.match(code);
    if (topMatch.hasMatch()) {
        limit = QStringLiteral(" LIMIT ") + topMatch.captured(2);
        code.replace(topMatch.capturedStart(), topMatch.capturedLength(), topMatch.captured(1));
    }

    QString out;
    int literal = 0;
    for (const QString& piece : splitLiterals(code)) {
        if (piece.startsWith(u'\'')) {
            // The placeholder we put in, or a literal the rewrite produced.
            bool isIndex = false;
            const int index = piece.mid(1, piece.size() - 2).toInt(&isIndex);
            out += (isIndex && index == literal) ? withNul(literals.at(literal++)) : piece;
        } else {
            out += piece;
        }
    }
    return out + limit;
}

QString SqlDialect::quoted(const QString& value)
{
    QString out = value;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

QString SqlDialect::quotedList(const QStringList& values)
{
    QStringList quotedValues;
    quotedValues.reserve(values.size());
    for (const QString& v : values)
        quotedValues << u'\'' + quoted(v) + u'\'';
    return quotedValues.join(u',');
}
