#pragma once

#include <QString>
#include <QVariant>

#include <optional>

class TdsCollation;
class TdsReader;
class TdsWriter;

// A SQL Server column type as this server sends it: the kinds the schema
// and the program's expressions use.
struct TdsType
{
    enum Kind
    {
        Int,
        BigInt,
        SmallInt,
        TinyInt,
        Bit,
        Float,
        DateTime,
        NVarChar,
        NChar,
        VarChar,
        Char,
        VarBinary,
    };
    // Length of (max) types; SQLite keeps it in declared types as "(-1)".
    static constexpr int Max = -1;

    Kind kind = NVarChar;
    // Characters for nchar/nvarchar, bytes for char/varchar/varbinary.
    int length = 4000;

    // "int", "nvarchar(100)", "varchar(max)", "nvarchar(-1)", "INTEGER", ...
    static std::optional<TdsType> parse(const QString& declared);
    QString name() const;

    bool isText() const { return kind >= NVarChar && kind <= Char; }
    bool isUnicode() const { return kind == NVarChar || kind == NChar; }
    bool isFixedText() const { return kind == NChar || kind == Char; }
    bool isMax() const { return length == Max; }
    bool isInteger() const { return kind <= TinyInt; }

    // TYPE_INFO of a column or parameter.
    void writeTypeInfo(TdsWriter& out, const TdsCollation& collation) const;
    // One value in this type; a null QVariant is NULL.
    void writeValue(TdsWriter& out, const QVariant& value, const TdsCollation& collation) const;
};

// A parameter of an RPC request as the client sent it.
struct TdsParameter
{
    QString name;
    bool output = false;
    // The type the value came in, for echoing output parameters.
    TdsType type;
    // qlonglong, double, QString, QByteArray or null.
    QVariant value;
};

// Reads one parameter (name, status, TYPE_INFO, value); nullopt for a type
// this server does not read. Character data is decoded with the collation
// the client sent with it.
std::optional<TdsParameter> readTdsParameter(TdsReader& in);
