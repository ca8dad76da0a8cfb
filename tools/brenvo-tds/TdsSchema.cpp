#include "TdsSchema.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {

// SQL Server names an unnamed key after its table and a hash, e.g.
// "PK__tb_campa__8A1F4C2B9E3D7F60".
QString generatedKeyName(const char* prefix, const QString& table)
{
    const QByteArray hash =
        QCryptographicHash::hash(table.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper();
    return QLatin1String(prefix) + QStringLiteral("__") + table.left(8) + QStringLiteral("__") +
           QString::fromLatin1(hash.left(16));
}

QStringList nameList(const TsqlTokens& words, qsizetype open, qsizetype* end)
{
    QStringList names;
    const qsizetype close = Tsql::closingParen(words, open);
    *end = close < 0 ? words.size() : close + 1;
    for (const TsqlTokens& item :
         Tsql::commaList(words, open + 1, close < 0 ? words.size() : close)) {
        if (!item.isEmpty())
            names << item.first().value();
    }
    return names;
}

// The SQLite form of a constant default, or nullopt for an expression.
std::optional<QString> defaultValue(const TsqlTokens& words, qsizetype* at)
{
    qsizetype i = *at;
    int parens = 0;
    while (i < words.size() && words.at(i).isSymbol('(')) {
        ++parens;
        ++i;
    }
    if (i >= words.size())
        return std::nullopt;
    QString value;
    const TsqlToken& t = words.at(i);
    if (t.isLiteral()) {
        value = Tsql::quote(t.value());
    } else if (t.kind == TsqlToken::Number) {
        value = t.text;
    } else if (t.isSymbol('-') && i + 1 < words.size() &&
               words.at(i + 1).kind == TsqlToken::Number) {
        value = u'-' + words.at(++i).text;
    } else if (t.is("NULL")) {
        value = QStringLiteral("NULL");
    } else {
        return std::nullopt;
    }
    ++i;
    for (; parens > 0; --parens) {
        if (i >= words.size() || !words.at(i).isSymbol(')'))
            return std::nullopt;
        ++i;
    }
    *at = i;
    return value;
}

} // namespace

const TdsColumnDef* TdsTableDef::column(const QString& name) const
{
    for (const TdsColumnDef& c : columns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

QString TdsTableDef::sqliteCreate(bool caseInsensitive) const
{
    QStringList parts;
    for (const TdsColumnDef& c : columns) {
        QString part = Tsql::quoteName(c.name) + u' ';
        if (c.identity) {
            part += QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        } else {
            part += c.type.name().replace(QLatin1String("(max)"), QLatin1String("(-1)"));
            if (c.primaryKey)
                part += QStringLiteral(" PRIMARY KEY");
        }
        if (c.notNull)
            part += QStringLiteral(" NOT NULL");
        if (!c.defaultValue.isEmpty())
            part += QStringLiteral(" DEFAULT ") + c.defaultValue;
        if (caseInsensitive && c.type.isText())
            part += QStringLiteral(" COLLATE NOCASE");
        parts << part;
    }
    for (const TdsKeyDef& key : keys) {
        const bool onColumn =
            key.columns.size() == 1 && column(key.columns.first()) &&
            (column(key.columns.first())->primaryKey || column(key.columns.first())->identity);
        if (key.kind == TdsKeyDef::UniqueIndex || onColumn)
            continue;
        QStringList names;
        for (const QString& name : key.columns)
            names << Tsql::quoteName(name);
        parts << QStringLiteral("CONSTRAINT %1 %2 (%3)")
                     .arg(Tsql::quoteName(key.name),
                          key.kind == TdsKeyDef::PrimaryKey ? QStringLiteral("PRIMARY KEY")
                                                            : QStringLiteral("UNIQUE"),
                          names.join(u", "));
    }
    return QStringLiteral("CREATE TABLE %1 (\n    %2\n)")
        .arg(Tsql::quoteName(name), parts.join(QStringLiteral(",\n    ")));
}

QString TdsSchema::objectName(const TsqlTokens& words, qsizetype* at)
{
    QString name;
    while (*at < words.size()) {
        const TsqlToken& t = words.at(*at);
        if (t.isName())
            name = t.value();
        else if (!t.isSymbol('.'))
            break;
        ++*at;
        if (t.isName() && !(*at < words.size() && words.at(*at).isSymbol('.')))
            break;
    }
    return name;
}

std::optional<TdsTableDef> TdsSchema::parseTable(const TsqlTokens& words, QString* error)
{
    qsizetype i = 2; // CREATE TABLE
    TdsTableDef table;
    table.name = objectName(words, &i);
    if (table.name.isEmpty() || i >= words.size() || !words.at(i).isSymbol('(')) {
        *error = QStringLiteral("Incorrect syntax near 'TABLE'.");
        return std::nullopt;
    }
    const qsizetype close = Tsql::closingParen(words, i);
    if (close < 0) {
        *error = QStringLiteral("Incorrect syntax near '%1'.").arg(table.name);
        return std::nullopt;
    }
    int columnNumber = 0;
    for (const TsqlTokens& item : Tsql::commaList(words, i + 1, close)) {
        if (item.isEmpty())
            continue;
        qsizetype at = 0;
        QString constraintName;
        if (item.first().is("CONSTRAINT") && item.size() > 1) {
            constraintName = item.at(1).value();
            at = 2;
        }
        if (at < item.size() && (item.at(at).is("PRIMARY") || item.at(at).is("UNIQUE"))) {
            TdsKeyDef key;
            key.kind =
                item.at(at).is("PRIMARY") ? TdsKeyDef::PrimaryKey : TdsKeyDef::UniqueConstraint;
            while (at < item.size() && !item.at(at).isSymbol('('))
                ++at;
            qsizetype end = 0;
            key.columns = nameList(item, at, &end);
            key.name =
                !constraintName.isEmpty()
                    ? constraintName
                    : generatedKeyName(key.kind == TdsKeyDef::PrimaryKey ? "PK" : "UQ", table.name);
            table.keys << key;
            continue;
        }
        if (at > 0 || item.first().is("CHECK") || item.first().is("FOREIGN"))
            continue; // constraints SQL Server would check and we do not
        ++columnNumber;
        TdsColumnDef column;
        column.name = item.first().value();
        at = 2;
        QString typeText = item.size() > 1 ? item.at(1).text : QString();
        if (at < item.size() && item.at(at).isSymbol('(')) {
            const qsizetype typeClose = Tsql::closingParen(item, at);
            typeText += Tsql::join(item.mid(at, typeClose < 0 ? -1 : typeClose - at + 1));
            at = typeClose < 0 ? item.size() : typeClose + 1;
        }
        const auto type = TdsType::parse(typeText);
        if (!type) {
            *error = QStringLiteral("Column, parameter, or variable #%1: Cannot find data type %2.")
                         .arg(columnNumber)
                         .arg(typeText);
            return std::nullopt;
        }
        column.type = *type;
        while (at < item.size()) {
            const TsqlToken& t = item.at(at++);
            if (t.is("IDENTITY")) {
                column.identity = true;
                if (at < item.size() && item.at(at).isSymbol('('))
                    at = Tsql::closingParen(item, at) + 1;
            } else if (t.is("NOT") && at < item.size() && item.at(at).is("NULL")) {
                column.notNull = true;
                ++at;
            } else if (t.is("PRIMARY")) {
                column.primaryKey = true;
                column.notNull = true;
                table.keys << TdsKeyDef{
                    TdsKeyDef::PrimaryKey,
                    constraintName.isEmpty() ? generatedKeyName("PK", table.name) : constraintName,
                    {column.name}};
            } else if (t.is("UNIQUE")) {
                table.keys << TdsKeyDef{TdsKeyDef::UniqueConstraint,
                                        generatedKeyName("UQ", table.name + column.name),
                                        {column.name}};
            } else if (t.is("DEFAULT")) {
                const auto value = defaultValue(item, &at);
                if (!value) {
                    *error = QStringLiteral("Only constant defaults are supported (column '%1').")
                                 .arg(column.name);
                    return std::nullopt;
                }
                column.defaultValue = *value;
            } else if ((t.is("COLLATE") || t.is("CONSTRAINT")) && at < item.size()) {
                if (t.is("CONSTRAINT"))
                    constraintName = item.at(at).value();
                ++at;
            }
        }
        if (column.identity && !column.primaryKey) {
            *error = QStringLiteral("IDENTITY column '%1' must be the table's primary key here.")
                         .arg(column.name);
            return std::nullopt;
        }
        table.columns << column;
    }
    return table;
}

std::optional<TdsIndexDef> TdsSchema::parseIndex(const TsqlTokens& words, QString* error)
{
    qsizetype i = 1; // CREATE
    const bool unique = i < words.size() && words.at(i).is("UNIQUE");
    while (i < words.size() && !words.at(i).is("INDEX"))
        ++i;
    ++i;
    TdsIndexDef index;
    const QString name = i < words.size() ? words.at(i++).value() : QString();
    if (i < words.size() && words.at(i).is("ON"))
        ++i;
    index.table = objectName(words, &i);
    if (name.isEmpty() || index.table.isEmpty() || i >= words.size() ||
        !words.at(i).isSymbol('(')) {
        *error = QStringLiteral("Incorrect syntax near 'INDEX'.");
        return std::nullopt;
    }
    const qsizetype close = Tsql::closingParen(words, i);
    QStringList columns;
    QStringList keyColumns;
    for (const TsqlTokens& item : Tsql::commaList(words, i + 1, close < 0 ? words.size() : close)) {
        if (item.isEmpty())
            continue;
        keyColumns << item.first().value();
        columns << Tsql::quoteName(item.first().value()) + (item.size() > 1 && item.at(1).is("DESC")
                                                                ? QStringLiteral(" DESC")
                                                                : QString());
    }
    index.sqlite = QStringLiteral("CREATE %1INDEX IF NOT EXISTS %2 ON %3 (%4)")
                       .arg(unique ? QStringLiteral("UNIQUE ") : QString(), Tsql::quoteName(name),
                            Tsql::quoteName(index.table), columns.join(u", "));
    if (unique)
        index.key = TdsKeyDef{TdsKeyDef::UniqueIndex, name, keyColumns};
    return index;
}

std::optional<TdsSchema> TdsSchema::parse(const QString& script, QString* error)
{
    static const QRegularExpression go(QStringLiteral(R"(^\s*GO\s*$)"),
                                       QRegularExpression::MultilineOption |
                                           QRegularExpression::CaseInsensitiveOption);
    TdsSchema schema;
    for (const QString& batch : script.split(go)) {
        for (const TsqlTokens& statement : Tsql::statements(Tsql::tokens(batch))) {
            const TsqlTokens words = Tsql::withoutSpace(statement);
            if (words.size() < 3)
                continue;
            const TsqlToken& verb = words.at(0);
            const TsqlToken& what = words.at(1);
            if (verb.is("CREATE") && what.is("TABLE")) {
                auto table = parseTable(words, error);
                if (!table)
                    return std::nullopt;
                schema.m_tables << *table;
            } else if (verb.is("CREATE") &&
                       std::any_of(words.begin(),
                                   words.begin() + std::min<qsizetype>(4, words.size()),
                                   [](const TsqlToken& t) { return t.is("INDEX"); })) {
                auto index = parseIndex(words, error);
                if (!index)
                    return std::nullopt;
                auto table = std::find_if(
                    schema.m_tables.begin(), schema.m_tables.end(), [&](const TdsTableDef& t) {
                        return t.name.compare(index->table, Qt::CaseInsensitive) == 0;
                    });
                if (table == schema.m_tables.end()) {
                    *error = QStringLiteral("Cannot find the object \"%1\".").arg(index->table);
                    return std::nullopt;
                }
                table->indexes << index->sqlite;
                if (index->key)
                    table->keys << *index->key;
            } else if ((verb.is("CREATE") || verb.is("ALTER")) && what.is("DATABASE")) {
                const qsizetype collate =
                    std::find_if(words.begin(), words.end(),
                                 [](const TsqlToken& t) { return t.is("COLLATE"); }) -
                    words.begin();
                if (collate + 1 < words.size()) {
                    const QString database =
                        words.at(2).is("CURRENT") ? QString() : words.at(2).value();
                    schema.m_collations.insert(database.toLower(), words.at(collate + 1).text);
                }
            }
        }
    }
    return schema;
}

const TdsTableDef* TdsSchema::table(const QString& name) const
{
    for (const TdsTableDef& t : m_tables) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

QString TdsSchema::collationFor(const QString& database) const
{
    return m_collations.value(database.toLower(), m_collations.value(QString()));
}
