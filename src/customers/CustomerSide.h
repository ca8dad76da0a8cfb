#pragma once

#include "customers/CustomerEditor.h"
#include "customers/CustomerRegistration.h"
#include "customers/CustomerSearch.h"
#include "customers/LookupLists.h"
#include "customers/WorkLists.h"
#include "telephony/CustomerDesk.h"

class CustomerPanel;
class Database;
class DeskControls;
class MessageSink;
class SpreadModel;

// The customer side of the desk, built once: the lookup lists, the search
// with its list, the editor, the registrations and the two work lists. It
// is also what the call logic asks for customers.
class CustomerSide : public CustomerDesk
{
public:
    CustomerSide(Database& db, CustomerPanel& panel, DeskControls& desk, SpreadModel& SprCustList,
                 MessageSink& messages);

    void SetRegisterInboundCutomer(const QString& strCampaignID, const QString& strDataType,
                                   const QString& callerNumber, QObject* context,
                                   const Registered& done) override;
    // AddToMYSQL3 "Recfile" with the call's customer.
    bool saveCallCustomer(const CustomerRecord& customer, const QString& recFile,
                          const QString& telNo) override;
    void readCallCustomer(const QString& custId, QObject* context, const CustomerRecord& base,
                          const CallCustomer& done) override;
    void searchCustomers() override;

    LookupLists lookups;
    CustomerRegistration registration;
    CustomerSearch search;
    CustomerEditor editor;
    WorkLists lists;

private:
    Database& m_db;
};
