#include "customers/CustomerSide.h"

CustomerSide::CustomerSide(Database& db, CustomerPanel& panel, DeskControls& desk,
                           SpreadModel& SprCustList, MessageSink& messages)
    : lookups(db), registration(db, panel), search(db, panel, SprCustList),
      editor(db, panel, desk, search, messages), lists(db)
{
}

void CustomerSide::SetRegisterInboundCutomer(const QString& strCampaignID,
                                             const QString& strDataType,
                                             const QString& callerNumber)
{
    registration.SetRegisterInboundCutomer(strCampaignID, strDataType, callerNumber);
}

bool CustomerSide::saveCallCustomer(const QString& recFile, const QString& telNo)
{
    return editor.saveFromPanel(QStringLiteral("Recfile"), recFile, telNo);
}

void CustomerSide::searchCustomers()
{
    search.cmdCustSearch_Click();
}
