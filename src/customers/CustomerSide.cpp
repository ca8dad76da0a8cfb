#include "customers/CustomerSide.h"

#include "foundation/Database.h"
#include "foundation/Session.h"

CustomerSide::CustomerSide(Database& db, CustomerPanel& panel, DeskControls& desk,
                           SpreadModel& SprCustList, MessageSink& messages)
    : lookups(db), registration(db), search(db, panel, SprCustList),
      editor(db, panel, desk, search, messages), lists(db), m_db(db)
{
}

void CustomerSide::readCallCustomer(const QString& custId, QObject* context,
                                    const CustomerRecord& base, const CallCustomer& done)
{
    search.readCustomer(
        custId, context, base, [this, done](const CustomerRecord* customer, const QString& agent) {
            if (!customer) {
                done(nullptr);
                return;
            }
            CustomerRecord mine = *customer;
            mine.kind = agent == m_db.session().AgentID ? CustSelectKind::B : CustSelectKind::C;
            done(&mine);
        });
}

void CustomerSide::SetRegisterInboundCutomer(const QString& strCampaignID,
                                             const QString& strDataType,
                                             const QString& callerNumber, QObject* context,
                                             const Registered& done)
{
    registration.SetRegisterInboundCutomer(strCampaignID, strDataType, callerNumber, context, done);
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
