#pragma once

#include <QString>

class AgentStatus;
class Database;
class MessageSink;

// The login decision: the branch in the directory database, the agent in
// the branch database, the session values, and the agent marked logged in.
class LoginProcedure
{
public:
    enum class Outcome
    {
        IdMissing,     // id and password boxes to be emptied
        BranchRefused, // all boxes keep their text
        AgentRefused,  // id and password boxes to be emptied
        LoggedIn,      // bulk upload, then the main window
    };

    // The declared lengths of TB_BRANCH.BranchID, AgentLogin.AgentID and
    // AgentLogin.Agent_Passwd: the login boxes hold no more than these.
    static constexpr int kBranchIdLength = 10;
    static constexpr int kLoginIdLength = 20;
    static constexpr int kPasswordLength = 50;

    LoginProcedure(Database& db, AgentStatus& status, MessageSink& messages);

    // One press of the login button with the three boxes' texts.
    Outcome attempt(const QString& branchText, const QString& loginIdText,
                    const QString& passwordText);

    bool CheckBranch(const QString& branchId);
    bool LoginProcess(const QString& branchId, const QString& agentId, const QString& password);

    QString settingsFile() const;
    // The branch proposed by the settings file when the window loads.
    QString proposedBranch() const;

private:
    Database& m_db;
    AgentStatus& m_status;
    MessageSink& m_messages;
};
