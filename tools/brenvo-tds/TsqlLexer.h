#pragma once

#include <QList>
#include <QString>

// One token of a T-SQL text. Rewrites work on tokens so that nothing inside
// a string literal, a bracketed name or a comment is ever touched.
struct TsqlToken
{
    enum Kind
    {
        Word,
        QuotedName, // [name] or "name"
        String,     // '...'
        NString,    // N'...'
        Number,
        Variable,       // @name
        SystemVariable, // @@name
        Symbol,
        Space, // blanks and comments
    };

    Kind kind = Space;
    QString text;

    // The literal's content with quotes undone, a quoted name without its
    // brackets, otherwise the text.
    QString value() const;
    bool is(const char* word) const;
    bool isSymbol(char c) const { return kind == Symbol && text.size() == 1 && text.at(0) == c; }
    bool isName() const { return kind == Word || kind == QuotedName; }
    bool isLiteral() const { return kind == String || kind == NString; }
};

using TsqlTokens = QList<TsqlToken>;

namespace Tsql {

TsqlTokens tokens(const QString& sql);
// Tokens without blanks and comments.
TsqlTokens words(const QString& sql);
TsqlTokens withoutSpace(const TsqlTokens& tokens);
// Index of the next token after `i` that is not a blank or comment, or the
// end.
qsizetype nextWord(const TsqlTokens& tokens, qsizetype i);
QString join(const TsqlTokens& tokens);
// Splits a batch into statements: at semicolons outside parentheses and
// before a keyword that starts a new statement; empty ones are dropped.
QList<TsqlTokens> statements(const TsqlTokens& tokens);
// Index of the parenthesis closing the one at `open`, or -1.
qsizetype closingParen(const TsqlTokens& tokens, qsizetype open);
// Splits tokens[from, to) at top-level commas.
QList<TsqlTokens> commaList(const TsqlTokens& tokens, qsizetype from, qsizetype to);
// A literal for SQLite: quotes doubled.
QString quote(const QString& text);
// A name for SQLite: double quotes doubled.
QString quoteName(const QString& name);

} // namespace Tsql
