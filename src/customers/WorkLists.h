#pragma once

#include "platform/SpreadModel.h"

class Database;

// The two work lists of the main window's last tabs: the agent's untouched
// customers per campaign, and the agent's central recordings that have no
// call result yet.
class WorkLists
{
public:
    explicit WorkLists(Database& db);

    SpreadModel& sprCampaign() { return m_campaign; }
    SpreadModel& sprNotTransfer() { return m_notTransfer; }

    void SetSprCampaign();
    void SetSprNotTransfer();
    void GetCampaignDataCnt();
    void GetNotTransferList();

    static QString campaignStatement(const QString& agentId);
    static QString notTransferStatement(const QString& agentId, const QString& branchId,
                                        const QString& teamId);

private:
    Database& m_db;
    SpreadModel m_campaign{3};
    SpreadModel m_notTransfer{28};
};
