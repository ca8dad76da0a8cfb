#pragma once

#include <QString>

#include <functional>

class Database;
class MessageSink;
class QObject;
class Recordset;

// The agent's login and busy flags in AgentLogin, and today's statistics
// line for the main window's title.
class AgentStatus
{
public:
    AgentStatus(Database& db, MessageSink& messages);

    bool SetLoginANDStatus(const QString& login, const QString& status);
    // Today's statistics line ('' after a failure), handed to `done` unless
    // `context` is gone by then.
    using Line = std::function<void(const QString& line)>;
    void GetAgentStatistics(QObject* context, const Line& done);
    // "Brenvo-<name>-(<id>)-<statistics line>", handed on the same way.
    void windowTitle(QObject* context, const Line& done);

    static QString statisticsLine(qint64 inbound, qint64 outbound, double inboundSeconds,
                                  double outboundSeconds);

private:
    QString statistics(Recordset rs, const QString& sql);

    Database& m_db;
    MessageSink& m_messages;
};
