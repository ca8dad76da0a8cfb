#include "TsqlFunctions.h"

#include "SqliteValue.h"
#include "TdsCollation.h"
#include "TdsServerState.h"

#include <QDateTime>
#include <QRegularExpression>

#include <sqlite3.h>

namespace {

void resultError(sqlite3_context* ctx, const TdsMessage& m)
{
    sqlite3_result_error(ctx, m.toSqliteError().toUtf8().constData(), -1);
}

QDateTime storedDateTime(const QString& text)
{
    static const QRegularExpression shape(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d( \d\d:\d\d(:\d\d(\.\d{1,3})?)?)?$)"));
    const QString t = text.trimmed();
    if (!shape.match(t).hasMatch())
        return {};
    for (const char* format : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss.z",
                               "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        const QDateTime dt = QDateTime::fromString(t, QLatin1String(format));
        if (dt.isValid())
            return dt;
    }
    return {};
}

// CONVERT(varchar, datetime, style) for the styles programs use.
QString dateTimeStyle(const QDateTime& dt, int style)
{
    switch (style) {
    case 20:
    case 120:
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case 21:
    case 121:
        return dt.toString(QLatin1String(TsqlFunctions::DateTimeFormat));
    case 23:
        return dt.toString(QStringLiteral("yyyy-MM-dd"));
    case 101:
        return dt.toString(QStringLiteral("MM/dd/yyyy"));
    case 102:
        return dt.toString(QStringLiteral("yyyy.MM.dd"));
    case 103:
        return dt.toString(QStringLiteral("dd/MM/yyyy"));
    case 111:
        return dt.toString(QStringLiteral("yyyy/MM/dd"));
    case 112:
        return dt.toString(QStringLiteral("yyyyMMdd"));
    case 8:
    case 108:
        return dt.toString(QStringLiteral("HH:mm:ss"));
    case 126:
        return dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    default: {
        // Style 0: "Jan  1 2024 10:00AM".
        static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const int hour12 = dt.time().hour() % 12 == 0 ? 12 : dt.time().hour() % 12;
        return QStringLiteral("%1 %2 %3 %4:%5%6")
            .arg(QLatin1String(months[dt.date().month() - 1]))
            .arg(dt.date().day(), 2)
            .arg(dt.date().year())
            .arg(hour12, 2)
            .arg(dt.time().minute(), 2, 10, QLatin1Char('0'))
            .arg(dt.time().hour() < 12 ? QLatin1String("AM") : QLatin1String("PM"));
    }
    }
}

} // namespace

TsqlFunctions::TsqlFunctions(const TdsServerState& state, const TdsCollation& collation)
    : m_state(state), m_collation(collation)
{
}

void TsqlFunctions::install(sqlite3* db)
{
    const int deterministic = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "tds_narrow", 1, deterministic, this, &narrowText, nullptr,
                            nullptr);
    sqlite3_create_function(db, "tds_convert", 3, deterministic, this, &convertValue, nullptr,
                            nullptr);
    sqlite3_create_function(db, "tds_getdate", 1, SQLITE_UTF8, this, &getDate, nullptr, nullptr);
    sqlite3_create_function(db, "tds_len", 1, deterministic, this, &textLength, nullptr, nullptr);
}

std::optional<qint64> TsqlFunctions::integerOf(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::LongLong)
        return v.toLongLong();
    if (v.metaType().id() == QMetaType::Double)
        return qint64(v.toDouble());
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

TdsMessage TsqlFunctions::conversionFailed(const QVariant& value, const TdsType& type)
{
    return tdsMessage(245, 16, 1,
                      QStringLiteral("Conversion failed when converting the varchar value '%1' to "
                                     "data type %2.")
                          .arg(value.toString(), type.name()));
}

void TsqlFunctions::narrowText(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlFunctions*>(sqlite3_user_data(ctx));
    const QVariant v = SqliteValue::from(argv[0]);
    if (v.metaType().id() == QMetaType::QString)
        SqliteValue::result(ctx, self->m_collation.narrow(v.toString()));
    else
        SqliteValue::result(ctx, v);
}

void TsqlFunctions::getDate(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlFunctions*>(sqlite3_user_data(ctx));
    QDateTime now = self->m_state.now();
    if (sqlite3_value_int(argv[0]) != 0)
        now = now.toUTC();
    SqliteValue::result(ctx, now.toString(QLatin1String(DateTimeFormat)));
}

void TsqlFunctions::textLength(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    const QVariant v = SqliteValue::from(argv[0]);
    if (v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    QString text = v.toString();
    while (text.endsWith(u' '))
        text.chop(1);
    sqlite3_result_int64(ctx, text.size());
}

// CONVERT(type, value, style) and CAST(value AS type).
void TsqlFunctions::convertValue(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    auto* self = static_cast<TsqlFunctions*>(sqlite3_user_data(ctx));
    const QString typeText = SqliteValue::from(argv[0]).toString();
    const auto type = TdsType::parse(typeText);
    if (!type) {
        resultError(
            ctx, tdsMessage(243, 16, 1,
                            QStringLiteral("Type %1 is not a defined system type.").arg(typeText)));
        return;
    }
    const QVariant value = SqliteValue::from(argv[1]);
    const QVariant style = SqliteValue::from(argv[2]);
    if (value.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    if (type->isInteger() || type->kind == TdsType::Bit) {
        const auto n = integerOf(value);
        if (!n)
            resultError(ctx, conversionFailed(value, *type));
        else
            sqlite3_result_int64(ctx, type->kind == TdsType::Bit ? (*n != 0) : *n);
        return;
    }
    if (type->kind == TdsType::Float) {
        bool ok = true;
        const double d = value.metaType().id() == QMetaType::QString
                             ? value.toString().trimmed().toDouble(&ok)
                             : value.toDouble();
        if (!ok)
            resultError(ctx,
                        tdsMessage(8114, 16, 5,
                                   QStringLiteral("Error converting data type varchar to float.")));
        else
            sqlite3_result_double(ctx, d);
        return;
    }
    if (type->kind == TdsType::DateTime) {
        const QDateTime dt = storedDateTime(value.toString());
        if (!dt.isValid())
            resultError(ctx,
                        tdsMessage(241, 16, 1,
                                   QStringLiteral("Conversion failed when converting date and/or "
                                                  "time from character string.")));
        else
            SqliteValue::result(ctx, dt.toString(QLatin1String(DateTimeFormat)));
        return;
    }
    QString text = value.toString();
    static const QRegularExpression stored(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)"));
    if (stored.match(text).hasMatch())
        text = dateTimeStyle(storedDateTime(text), style.toInt());
    if (type->isText() && !type->isUnicode())
        text = self->m_collation.narrow(text);
    if (!type->isMax()) {
        if (type->isUnicode())
            text.truncate(type->length);
        else
            while (self->m_collation.encode(text).size() > type->length)
                text.chop(1);
    }
    SqliteValue::result(ctx, text);
}
