#pragma once

#include <QObject>

#include "platform/SpreadModel.h"

class Database;
class Recordset;

// The two work lists of the main window's last tabs: the agent's untouched
// customers per campaign, and the agent's central recordings that have no
// call result yet.
class WorkLists : public QObject
{
    Q_OBJECT
public:
    explicit WorkLists(Database& db, QObject* parent = nullptr);

    SpreadModel& sprCampaign() { return m_campaign; }
    SpreadModel& sprNotTransfer() { return m_notTransfer; }

    void SetSprCampaign();
    void SetSprNotTransfer();
    // Each list is filled when its read answers.
    void GetCampaignDataCnt();
    void GetNotTransferList();

    static QString campaignStatement(const QString& agentId);
    static QString notTransferStatement(const QString& agentId, const QString& branchId,
                                        const QString& teamId);

private:
    void fillNotTransfer(const Recordset& rs, const QString& sql);

    Database& m_db;
    SpreadModel m_campaign{3};
    SpreadModel m_notTransfer{28};
};
