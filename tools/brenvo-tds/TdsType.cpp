#include "TdsType.h"

#include "TdsCollation.h"
#include "TdsWire.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtEndian>
#include <QUuid>

#include <cstring>

namespace {

enum WireType : quint8
{
    NullType = 0x1F,
    Int1 = 0x30,
    Bit = 0x32,
    Int2 = 0x34,
    Int4 = 0x38,
    DateTim4 = 0x3A,
    Flt4 = 0x3B,
    Money = 0x3C,
    DateTime = 0x3D,
    Flt8 = 0x3E,
    Money4 = 0x7A,
    Int8 = 0x7F,
    Guid = 0x24,
    IntN = 0x26,
    Date = 0x28,
    Time = 0x29,
    DateTime2 = 0x2A,
    BitN = 0x68,
    DecimalN = 0x6A,
    NumericN = 0x6C,
    FltN = 0x6D,
    MoneyN = 0x6E,
    DateTimN = 0x6F,
    Image = 0x22,
    Text = 0x23,
    NText = 0x63,
    BigVarBinary = 0xA5,
    BigVarChar = 0xA7,
    BigBinary = 0xAD,
    BigChar = 0xAF,
    NVarChar = 0xE7,
    NChar = 0xEF,
};

constexpr quint16 MaxLength = 0xFFFF;
constexpr quint64 PlpNull = ~quint64(0);
// SQL Server sends (max) values in chunks of this size.
constexpr qsizetype PlpChunk = 8000;

const QDate& epoch1900()
{
    static const QDate d(1900, 1, 1);
    return d;
}

QDateTime parseDateTime(const QVariant& value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    QString text = value.toString().trimmed();
    text.replace(u'T', u' ');
    for (const char* format : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd"}) {
        const QDateTime dt =
            QDateTime::fromString(text.left(qstrlen(format)), QLatin1String(format));
        if (dt.isValid())
            return dt;
    }
    return {};
}

void writePlp(TdsWriter& out, const QByteArray& bytes)
{
    out.u64(quint64(bytes.size()));
    for (qsizetype at = 0; at < bytes.size(); at += PlpChunk) {
        const QByteArray chunk = bytes.mid(at, PlpChunk);
        out.u32(quint32(chunk.size()));
        out.bytes(chunk);
    }
    out.u32(0);
}

QByteArray readPlp(TdsReader& in, bool* isNull)
{
    const quint64 total = in.u64();
    *isNull = total == PlpNull;
    QByteArray out;
    if (*isNull)
        return out;
    for (quint32 chunk = in.u32(); chunk != 0 && in.ok(); chunk = in.u32())
        out.append(in.bytes(chunk));
    return out;
}

qint64 littleEndianInt(const QByteArray& raw)
{
    qint64 v = 0;
    switch (raw.size()) {
    case 1:
        return quint8(raw.at(0));
    case 2:
        return qFromLittleEndian<qint16>(raw.constData());
    case 4:
        return qFromLittleEndian<qint32>(raw.constData());
    case 8:
        return qFromLittleEndian<qint64>(raw.constData());
    default:
        return v;
    }
}

QString dateTimeText(qint32 days, double secondsOfDay)
{
    const QDateTime dt(epoch1900().addDays(days),
                       QTime(0, 0).addMSecs(qRound(secondsOfDay * 1000)));
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

// Days since 0001-01-01 in three bytes.
QDate dateFrom3(const QByteArray& raw)
{
    const quint32 days = quint8(raw.at(0)) | quint8(raw.at(1)) << 8 | quint8(raw.at(2)) << 16;
    return QDate(1, 1, 1).addDays(days);
}

// Time of day in units of 10^-scale seconds, in 3 to 5 bytes.
QTime timeFrom(const QByteArray& raw, int scale)
{
    quint64 units = 0;
    for (qsizetype i = raw.size() - 1; i >= 0; --i)
        units = units << 8 | quint8(raw.at(i));
    double seconds = double(units);
    for (int i = 0; i < scale; ++i)
        seconds /= 10;
    return QTime(0, 0).addMSecs(qint64(seconds * 1000 + 0.5));
}

int timeBytes(int scale)
{
    return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

QVariant decimalValue(const QByteArray& raw, int scale)
{
    if (raw.isEmpty())
        return {};
    const bool positive = raw.at(0) == 1;
    long double magnitude = 0;
    for (qsizetype i = raw.size() - 1; i >= 1; --i)
        magnitude = magnitude * 256 + quint8(raw.at(i));
    if (scale == 0 && magnitude < 9.2e18L)
        return qlonglong(positive ? qint64(magnitude) : -qint64(magnitude));
    for (int i = 0; i < scale; ++i)
        magnitude /= 10;
    return double(positive ? magnitude : -magnitude);
}

// A value of one of the nullable fixed-size families, from its bytes.
QVariant fixedValue(quint8 family, const QByteArray& raw)
{
    const char* d = raw.constData();
    switch (family) {
    case FltN:
        return raw.size() == 8 ? qFromLittleEndian<double>(d) : double(qFromLittleEndian<float>(d));
    case MoneyN:
        return raw.size() == 8 ? double(qint64(qFromLittleEndian<quint32>(d)) << 32 |
                                        qFromLittleEndian<quint32>(d + 4)) /
                                     10000
                               : double(qFromLittleEndian<qint32>(d)) / 10000;
    case DateTimN:
        return raw.size() == 8 ? dateTimeText(qFromLittleEndian<qint32>(d),
                                              qFromLittleEndian<quint32>(d + 4) / 300.0)
                               : dateTimeText(qFromLittleEndian<quint16>(d),
                                              qFromLittleEndian<quint16>(d + 2) * 60.0);
    case Guid:
        return QUuid::fromRfc4122(raw).toString(QUuid::WithoutBraces).toUpper();
    default:
        return qlonglong(littleEndianInt(raw));
    }
}

} // namespace

std::optional<TdsType> TdsType::parse(const QString& declared)
{
    static const QRegularExpression shape(
        QStringLiteral(R"(^\s*\[?(\w+)\]?\s*(?:\(\s*(max|-?\d+)\s*(?:,\s*\d+\s*)?\))?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = shape.match(declared);
    if (!m.hasMatch())
        return std::nullopt;
    const QString name = m.captured(1).toLower();
    const QString size = m.captured(2).toLower();
    const int length = size.isEmpty() ? 1 : size == u"max" ? Max : size.toInt();
    struct Entry
    {
        const char* name;
        Kind kind;
        bool sized;
    };
    static constexpr Entry entries[] = {
        {"int", Int, false},
        {"integer", Int, false},
        {"bigint", BigInt, false},
        {"smallint", SmallInt, false},
        {"tinyint", TinyInt, false},
        {"bit", Bit, false},
        {"float", Float, false},
        {"real", Float, false},
        {"decimal", Float, false},
        {"numeric", Float, false},
        {"money", Float, false},
        {"datetime", DateTime, false},
        {"smalldatetime", DateTime, false},
        {"nvarchar", NVarChar, true},
        {"nchar", NChar, true},
        {"varchar", VarChar, true},
        {"char", Char, true},
        {"varbinary", VarBinary, true},
        {"binary", VarBinary, true},
    };
    for (const Entry& e : entries) {
        if (name == QLatin1String(e.name))
            return TdsType{e.kind, e.sized ? length : 0};
    }
    if (name == u"ntext")
        return TdsType{NVarChar, Max};
    return std::nullopt;
}

QString TdsType::name() const
{
    static const char* const names[] = {"int",   "bigint",  "smallint", "tinyint",
                                        "bit",   "float",   "datetime", "nvarchar",
                                        "nchar", "varchar", "char",     "varbinary"};
    const QString base = QLatin1String(names[kind]);
    if (kind < NVarChar)
        return base;
    return base + u'(' + (isMax() ? QStringLiteral("max") : QString::number(length)) + u')';
}

void TdsType::writeTypeInfo(TdsWriter& out, const TdsCollation& collation) const
{
    switch (kind) {
    case Int:
    case BigInt:
    case SmallInt:
    case TinyInt:
        out.u8(IntN);
        out.u8(kind == Int ? 4 : kind == BigInt ? 8 : kind == SmallInt ? 2 : 1);
        return;
    case Bit:
        out.u8(BitN);
        out.u8(1);
        return;
    case Float:
        out.u8(FltN);
        out.u8(8);
        return;
    case DateTime:
        out.u8(DateTimN);
        out.u8(8);
        return;
    case NVarChar:
    case NChar:
        out.u8(kind == NVarChar ? WireType::NVarChar : WireType::NChar);
        out.u16(isMax() ? MaxLength : quint16(2 * length));
        out.bytes(collation.wire());
        return;
    case VarChar:
    case Char:
        out.u8(kind == VarChar ? BigVarChar : BigChar);
        out.u16(isMax() ? MaxLength : quint16(length));
        out.bytes(collation.wire());
        return;
    case VarBinary:
        out.u8(BigVarBinary);
        out.u16(isMax() ? MaxLength : quint16(length));
        return;
    }
}

void TdsType::writeValue(TdsWriter& out, const QVariant& value, const TdsCollation& collation) const
{
    const bool null = value.isNull();
    switch (kind) {
    case Int:
    case BigInt:
    case SmallInt:
    case TinyInt: {
        if (null) {
            out.u8(0);
            return;
        }
        const qint64 v = value.toLongLong();
        if (kind == BigInt) {
            out.u8(8);
            out.u64(quint64(v));
        } else if (kind == Int) {
            out.u8(4);
            out.u32(quint32(qint32(v)));
        } else if (kind == SmallInt) {
            out.u8(2);
            out.u16(quint16(qint16(v)));
        } else {
            out.u8(1);
            out.u8(quint8(v));
        }
        return;
    }
    case Bit:
        if (null) {
            out.u8(0);
        } else {
            out.u8(1);
            out.u8(value.toLongLong() != 0 ? 1 : 0);
        }
        return;
    case Float: {
        if (null) {
            out.u8(0);
            return;
        }
        const double d = value.toDouble();
        quint64 bits = 0;
        memcpy(&bits, &d, 8);
        out.u8(8);
        out.u64(bits);
        return;
    }
    case DateTime: {
        const QDateTime dt = null ? QDateTime() : parseDateTime(value);
        if (!dt.isValid()) {
            out.u8(0);
            return;
        }
        out.u8(8);
        out.u32(quint32(qint32(epoch1900().daysTo(dt.date()))));
        out.u32(quint32(qRound64(dt.time().msecsSinceStartOfDay() * 0.3)));
        return;
    }
    case VarBinary: {
        const QByteArray bytes = value.toByteArray();
        if (isMax()) {
            if (null)
                out.u64(PlpNull);
            else
                writePlp(out, bytes);
            return;
        }
        if (null) {
            out.u16(MaxLength);
            return;
        }
        const QByteArray cut = bytes.left(length);
        out.u16(quint16(cut.size()));
        out.bytes(cut);
        return;
    }
    case NVarChar:
    case NChar:
    case VarChar:
    case Char:
        break;
    }
    if (null) {
        if (isMax())
            out.u64(PlpNull);
        else
            out.u16(MaxLength);
        return;
    }
    QString text = value.toString();
    if (isUnicode() && !isMax()) {
        // A value longer than its column cannot come from SQL Server.
        text.truncate(length);
        if (isFixedText())
            text = text.leftJustified(length, u' ');
    }
    QByteArray bytes = isUnicode() ? Tds::utf16le(text) : collation.encode(text);
    if (!isUnicode() && !isMax()) {
        bytes.truncate(length);
        if (isFixedText() && bytes.size() < length)
            bytes.append(QByteArray(length - bytes.size(), ' '));
    }
    if (isMax()) {
        writePlp(out, bytes);
        return;
    }
    out.u16(quint16(bytes.size()));
    out.bytes(bytes);
}

std::optional<TdsParameter> readTdsParameter(TdsReader& in)
{
    TdsParameter p;
    p.name = in.bVarchar();
    p.output = in.u8() & 0x01;
    const quint8 wire = in.u8();
    // Fixed-size types read as their nullable family with a known size.
    struct Fixed
    {
        quint8 wire;
        quint8 family;
        quint8 size;
    };
    static constexpr Fixed fixedTypes[] = {
        {NullType, IntN, 0}, {Int1, IntN, 1},     {Bit, BitN, 1},          {Int2, IntN, 2},
        {Int4, IntN, 4},     {Int8, IntN, 8},     {Flt4, FltN, 4},         {Flt8, FltN, 8},
        {Money, MoneyN, 8},  {Money4, MoneyN, 4}, {DateTime, DateTimN, 8}, {DateTim4, DateTimN, 4},
    };
    const auto fixed = std::find_if(std::begin(fixedTypes), std::end(fixedTypes),
                                    [&](const Fixed& f) { return f.wire == wire; });
    if (fixed != std::end(fixedTypes) || wire == IntN || wire == BitN || wire == FltN ||
        wire == MoneyN || wire == DateTimN || wire == Guid) {
        const bool isFixed = fixed != std::end(fixedTypes);
        const quint8 family = isFixed ? fixed->family : wire;
        const quint8 maxSize = isFixed ? fixed->size : in.u8();
        const QByteArray raw = in.bytes(isFixed ? fixed->size : in.u8());
        p.type = family == IntN ? TdsType{maxSize == 8   ? TdsType::BigInt
                                          : maxSize == 2 ? TdsType::SmallInt
                                          : maxSize == 1 ? TdsType::TinyInt
                                                         : TdsType::Int,
                                          0}
                 : family == BitN     ? TdsType{TdsType::Bit, 0}
                 : family == DateTimN ? TdsType{TdsType::DateTime, 0}
                 : family == Guid     ? TdsType{TdsType::NVarChar, 36}
                                      : TdsType{TdsType::Float, 0};
        if (!raw.isEmpty())
            p.value = fixedValue(family, raw);
        return in.ok() ? std::optional(p) : std::nullopt;
    }
    switch (wire) {
    case DecimalN:
    case NumericN: {
        in.u8(); // maximum size
        in.u8(); // precision
        const int scale = in.u8();
        p.type = {TdsType::Float, 0};
        p.value = decimalValue(in.bytes(in.u8()), scale);
        return in.ok() ? std::optional(p) : std::nullopt;
    }
    case Date: {
        p.type = {TdsType::DateTime, 0};
        const QByteArray raw = in.bytes(in.u8());
        if (raw.size() == 3)
            p.value = dateFrom3(raw).toString(Qt::ISODate);
        return in.ok() ? std::optional(p) : std::nullopt;
    }
    case Time:
    case DateTime2: {
        const int scale = in.u8();
        p.type = {TdsType::DateTime, 0};
        const QByteArray raw = in.bytes(in.u8());
        const int tb = timeBytes(scale);
        if (wire == Time && raw.size() == tb)
            p.value = timeFrom(raw, scale).toString(QStringLiteral("HH:mm:ss.zzz"));
        else if (raw.size() == tb + 3)
            p.value = QDateTime(dateFrom3(raw.mid(tb)), timeFrom(raw.left(tb), scale))
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        return in.ok() ? std::optional(p) : std::nullopt;
    }
    case BigVarChar:
    case BigChar:
    case NVarChar:
    case NChar:
    case BigVarBinary:
    case BigBinary: {
        const quint16 maxLength = in.u16();
        const bool text = wire != BigVarBinary && wire != BigBinary;
        const bool unicode = wire == NVarChar || wire == NChar;
        const QByteArray collation = text ? in.bytes(5) : QByteArray();
        QByteArray raw;
        bool null = false;
        if (maxLength == MaxLength) {
            raw = readPlp(in, &null);
        } else {
            const quint16 size = in.u16();
            null = size == MaxLength;
            if (!null)
                raw = in.bytes(size);
        }
        const int length = maxLength == MaxLength ? TdsType::Max
                           : unicode              ? maxLength / 2
                                                  : maxLength;
        p.type = {unicode ? TdsType::NVarChar
                  : text  ? TdsType::VarChar
                          : TdsType::VarBinary,
                  length};
        if (!null) {
            if (unicode)
                p.value = Tds::fromUtf16le(raw);
            else if (text)
                p.value = TdsCollation::fromWire(collation).decode(raw);
            else
                p.value = raw;
        }
        return in.ok() ? std::optional(p) : std::nullopt;
    }
    case Text:
    case NText:
    case Image: {
        in.u32(); // maximum length
        const QByteArray collation = wire == Image ? QByteArray() : in.bytes(5);
        const quint32 size = in.u32();
        p.type = {wire == NText  ? TdsType::NVarChar
                  : wire == Text ? TdsType::VarChar
                                 : TdsType::VarBinary,
                  TdsType::Max};
        if (size != 0xFFFFFFFF) {
            const QByteArray raw = in.bytes(size);
            if (wire == NText)
                p.value = Tds::fromUtf16le(raw);
            else if (wire == Text)
                p.value = TdsCollation::fromWire(collation).decode(raw);
            else
                p.value = raw;
        }
        return in.ok() ? std::optional(p) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}
