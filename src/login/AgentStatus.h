#pragma once

#include <QString>

class Database;
class MessageSink;

// The agent's login and busy flags in AgentLogin, and today's statistics
// line for the main window's title.
class AgentStatus
{
public:
    AgentStatus(Database& db, MessageSink& messages);

    bool SetLoginANDStatus(const QString& login, const QString& status);
    QString GetAgentStatistics();
    // "Brenvo-<name>-(<id>)-<statistics line>"
    QString windowTitle();

    static QString statisticsLine(qint64 inbound, qint64 outbound, double inboundSeconds,
                                  double outboundSeconds);

private:
    Database& m_db;
    MessageSink& m_messages;
};
