#include "customers/CustomerSide.h"

CustomerSide::CustomerSide(Database& db, CustomerPanel& panel, CallState& call, DeskControls& desk,
                           SpreadModel& SprCustList, MessageSink& messages)
    : lookups(db), registration(db, panel, call), search(db, panel, call, SprCustList),
      editor(db, panel, call, desk, search, messages), lists(db)
{
}

void CustomerSide::SetRegisterInboundCutomer(const QString& strCampaignID,
                                             const QString& strDataType)
{
    registration.SetRegisterInboundCutomer(strCampaignID, strDataType);
}

bool CustomerSide::saveCallCustomer(const QString& recFile, const QString& telNo)
{
    return editor.saveFromPanel(QStringLiteral("Recfile"), recFile, telNo);
}

void CustomerSide::searchCustomers()
{
    search.cmdCustSearch_Click();
}
