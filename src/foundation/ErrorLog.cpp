#include "foundation/ErrorLog.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "foundation/HostUtils.h"
#include "foundation/Seams.h"
#include "platform/PrivateFiles.h"
#include "platform/ProgramFolder.h"

ErrorLog::ErrorLog(QString programFolder, MessageSink& messages)
    : m_programFolder(std::move(programFolder)), m_messages(messages),
      m_clock([] { return QDateTime::currentDateTime(); })
{
}

QString ErrorLog::masked(const QString& text)
{
    // A key naming a password (Agent_Passwd, FtpPwd, DBPass, Password, PWD)
    // given a value: a quoted literal with its quotes doubled inside, an ODBC
    // value in braces, or a connection string's value up to its ';'.
    static const QRegularExpression keyed(
        QStringLiteral(R"((\b\w*(?:pass|pwd)\w*\s*=\s*)()"
                       R"(N?'(?:[^']|'')*'?|\{(?:[^}]|\}\})*\}?|[^;\r\n]*))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression url(
        QStringLiteral(R"((\b[a-z][a-z0-9+.-]*://[^\s/:@]*:)[^\s/]*@)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression pass(QStringLiteral(R"(\bPASS [^\r\n]*)"));
    QString out;
    qsizetype at = 0;
    for (const QRegularExpressionMatch& m : keyed.globalMatch(text)) {
        const QString value = m.captured(2);
        const bool quoted = value.startsWith(u'\'') || value.startsWith(u"N'", Qt::CaseInsensitive);
        out += text.mid(at, m.capturedStart(2) - at) + (quoted ? QStringLiteral("'****'")
                                                        : value.startsWith(u'{')
                                                            ? QStringLiteral("{****}")
                                                            : QStringLiteral("****"));
        at = m.capturedEnd(2);
    }
    out += text.mid(at);
    return out.replace(url, QStringLiteral("\\1****@")).replace(pass, QStringLiteral("PASS ****"));
}

QString ErrorLog::block(const QDateTime& when, const QString& description, const QString& location,
                        const QString& functionName, const QString& sqlText)
{
    const QString crlf = QStringLiteral("\r\n");
    const int hour12 = (when.time().hour() + 11) % 12 + 1;
    const QString stamp =
        QStringLiteral("%1 %2:%3 %4")
            .arg(when.date().toString(QStringLiteral("yyyy/MM/dd")))
            .arg(hour12, 2, 10, QLatin1Char('0'))
            .arg(when.time().minute(), 2, 10, QLatin1Char('0'))
            .arg(when.time().hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
    return masked(crlf + crlf + QStringLiteral("======== ErrorLog Start ===========") + crlf +
                  QStringLiteral("DATE              : ") + stamp + crlf +
                  QStringLiteral("ERROR LOCATION    : ") + location + crlf +
                  QStringLiteral("ERROR FUNCTION    : ") + functionName + crlf +
                  QStringLiteral("ERROR DESCRIPTION : ") + description + crlf +
                  QStringLiteral("ERROR SQL CODE    : ") + sqlText + crlf +
                  QStringLiteral("======== ErrorLog End ==========="));
}

QString ErrorLog::logFilePath(const QDate& day) const
{
    return ProgramFolder::path(m_programFolder, QStringLiteral("\\ERRORLOG\\Err") +
                                                    day.toString(QStringLiteral("yyyyMMdd")) +
                                                    QStringLiteral(".log"));
}

void ErrorLog::WriteErrorLog(const QString& description, const QString& location,
                             const QString& functionName, const QString& sqlText,
                             const QString& told)
{
    m_messages.setBusyCursor(true);
    const QDateTime now = m_clock();
    const QString text = block(now, description, location, functionName, sqlText);
    m_messages.showMessage(told.isEmpty() ? text : told, QString(), MessageIcon::None);
    append(now, text);
    m_messages.setBusyCursor(false);
}

void ErrorLog::appendErrorLog(const QString& description, const QString& location,
                              const QString& functionName, const QString& sqlText)
{
    const QDateTime now = m_clock();
    append(now, block(now, description, location, functionName, sqlText));
}

void ErrorLog::append(const QDateTime& when, const QString& text)
{
    if (HostUtils::MakeDirPath(
            ProgramFolder::path(m_programFolder, QStringLiteral("\\ERRORLOG\\"))))
        SaveFile(logFilePath(when.date()), text, true);
}

bool ErrorLog::SaveFile(const QString& fileName, const QString& text, bool append,
                        QString* error) const
{
    QString path = fileName;
    if (!fileName.contains(u'\\') && !fileName.contains(u'/'))
        path = ProgramFolder::path(m_programFolder, u'\\' + fileName);
    QFile file(path);
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate);
    bool ok = PrivateFiles::open(file, mode);
    if (ok) {
        const QByteArray bytes = (text + QStringLiteral("\r\n")).toUtf8();
        ok = file.write(bytes) == bytes.size();
        ok = file.flush() && ok;
    }
    if (!ok && error)
        *error =
            QStringLiteral("SaveFile: ") + file.errorString() + QStringLiteral(" -> ") + fileName;
    return ok;
}
