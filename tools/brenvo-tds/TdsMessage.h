#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// An ERROR (class above 10) or INFO message with SQL Server's number.
struct TdsMessage
{
    int number = 0;
    int state = 1;
    int severity = 16;
    QString text;

    bool isError() const { return severity > 10; }

    // A message raised inside SQLite (by a function or a row check) travels
    // as the error text "tds:number:state:severity:text".
    QString toSqliteError() const
    {
        return QStringLiteral("tds:%1:%2:%3:%4").arg(number).arg(state).arg(severity).arg(text);
    }
    static std::optional<TdsMessage> fromSqliteError(const QString& error)
    {
        if (!error.startsWith(QLatin1String("tds:")))
            return std::nullopt;
        const QStringList parts = error.mid(4).split(u':');
        if (parts.size() < 4)
            return std::nullopt;
        return TdsMessage{parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt(),
                          parts.mid(3).join(u':')};
    }
};

inline TdsMessage tdsMessage(int number, int severity, int state, const QString& text)
{
    return TdsMessage{number, state, severity, text};
}
