#pragma once

#include <QString>

// The result a call was filed with (its status code), and every rule that
// hangs on it, said once.
class ResultCode
{
public:
    explicit ResultCode(QString code = QString()) : m_code(std::move(code)) {}

    const QString& text() const { return m_code; }
    bool isEmpty() const { return m_code.isEmpty(); }
    // The code, trimmed, as a whole number; 0 when it is empty or not a
    // number (a result window closed without saving).
    int number() const
    {
        bool ok = false;
        const int value = m_code.trimmed().toInt(&ok);
        return ok ? value : 0;
    }
    // Recordings of results above 3 are kept in "TEMP" on the FTP server.
    bool filedUnderTemp() const { return number() > 3; }
    // The recording's folder on the FTP server for its day ("yyyymmdd").
    QString serverFolder(const QString& day) const
    {
        return filedUnderTemp() ? QStringLiteral("TEMP/") + day : day;
    }
    // An appointment: its date goes into the customer's row.
    bool isAppointment() const { return m_code == QStringLiteral("5"); }

    // Positions in the result window's list of statuses (every status but
    // the lowest, in order): a reception agent always files the third; the
    // date picker is for the fifth.
    static constexpr int kReceptionItem = 2;
    static constexpr int kAppointmentItem = 4;

private:
    QString m_code;
};
