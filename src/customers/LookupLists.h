#pragma once

#include <QList>
#include <QStringList>

#include "foundation/HostUtils.h"

class Database;

// The call-status and campaign lists of the main window: the master list of
// call results that every status list copies and every status text is
// looked up in, and the campaign filter of the customer search.
class LookupLists
{
public:
    explicit LookupLists(Database& db);

    bool SetCmbTermCombo();
    bool SetCmbCampaignCombo();

    const QList<ComboItem>& cmbTerm() const { return m_term; }
    const QList<ComboItem>& cmbCampaign() const { return m_campaign; }

    // "고객성명", "주민번호", "전화번호1", "전화번호2"
    static QStringList SetCmbSearchCondition();

private:
    Database& m_db;
    QList<ComboItem> m_term;
    QList<ComboItem> m_campaign;
};
