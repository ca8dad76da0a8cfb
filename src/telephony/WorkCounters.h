#pragma once

#include <QString>

class Database;

// The branch's monthly work count and the agent's daily statistics, bumped
// once per saved call result.
class WorkCounters
{
public:
    explicit WorkCounters(Database& db);

    void AddToMYSQL4(const QString& strBranchid, const QString& strTeamID,
                     const QString& strAgentID, const QString& tMonth, const QString& tDate,
                     const QString& strStatus, const QString& strDuration,
                     const QString& strRecbound);

private:
    Database& m_db;
};
