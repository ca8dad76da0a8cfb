#pragma once

#include <functional>
#include <QDateTime>
#include <QString>

class MessageSink;

// The one failure report of the program: the block is shown to the agent and
// appended to ERRORLOG\ErrYYYYMMDD.log in the program folder. No password
// is shown nor written: the block carries "****" in its place (masked()).
class ErrorLog
{
public:
    ErrorLog(QString programFolder, MessageSink& messages);

    // told: what the agent is shown instead of the block, for a fault that
    // plain words explain better than a system's error text.
    void WriteErrorLog(const QString& description, const QString& location,
                       const QString& functionName, const QString& sqlText,
                       const QString& told = QString());
    // The same block into the day's file only, for faults that a window
    // sums up to the agent itself.
    void appendErrorLog(const QString& description, const QString& location,
                        const QString& functionName, const QString& sqlText);

    // Writes text and CR LF to fileName (a bare name means the program
    // folder); false with *error = "SaveFile: <why> -> <file>" on failure.
    bool SaveFile(const QString& fileName, const QString& text, bool append,
                  QString* error = nullptr) const;

    // text with the value of every password it carries replaced by "****":
    // a password column compared in a statement (Agent_Passwd='…'),
    // Password= and PWD= of a connection string, the password of a URL
    // (ftp://user:…@host) and of an FTP PASS command.
    static QString masked(const QString& text);
    // The block as shown and written, passwords masked.
    static QString block(const QDateTime& when, const QString& description, const QString& location,
                         const QString& functionName, const QString& sqlText);
    QString logFilePath(const QDate& day) const;

    // The workstation clock; tests replace it to cross midnight.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    void append(const QDateTime& when, const QString& text);

    QString m_programFolder;
    MessageSink& m_messages;
    std::function<QDateTime()> m_clock;
};
