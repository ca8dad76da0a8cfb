#include "customers/CustomerSide.h"

#include "foundation/Database.h"
#include "foundation/Session.h"

CustomerSide::CustomerSide(Database& db, CustomerPanel& panel, DeskControls& desk,
                           SpreadModel& SprCustList, MessageSink& messages)
    : lookups(db), registration(db), search(db, panel, SprCustList),
      editor(db, panel, desk, search, messages), lists(db), m_db(db)
{
}

bool CustomerSide::readCallCustomer(const QString& custId, CustomerRecord* customer)
{
    QString agent;
    if (!search.readCustomer(custId, customer, &agent))
        return false;
    customer->kind = agent == m_db.session().AgentID ? CustSelectKind::B : CustSelectKind::C;
    return true;
}

void CustomerSide::SetRegisterInboundCutomer(const QString& strCampaignID,
                                             const QString& strDataType,
                                             const QString& callerNumber, CustomerRecord& customer)
{
    registration.SetRegisterInboundCutomer(strCampaignID, strDataType, callerNumber, customer);
}

bool CustomerSide::saveCallCustomer(const CustomerRecord& customer, const QString& recFile,
                                    const QString& telNo)
{
    return editor.AddToMYSQL3(QStringLiteral("Recfile"), customer, recFile, telNo);
}

void CustomerSide::searchCustomers()
{
    search.cmdCustSearch_Click();
}
