#pragma once

#include <QString>

#include <functional>

#include "telephony/CustomerRecord.h"

class QObject;

// What the call logic asks of the customer side of the desk; the customers
// library implements it.
class CustomerDesk
{
public:
    virtual ~CustomerDesk() = default;
    // Inserts the customer row of the call (the caller's number as its
    // mobile number) and hands its key, campaign and data type to `done`
    // (null after a failure), unless `context` is gone by then.
    using Registered = std::function<void(const CustomerRecord* registered)>;
    virtual void SetRegisterInboundCutomer(const QString& strCampaignID, const QString& strDataType,
                                           const QString& callerNumber, QObject* context,
                                           const Registered& done) = 0;
    // Stores the typed details of the call's customer and corrects the
    // central recording row (the "Recfile" save).
    virtual bool saveCallCustomer(const CustomerRecord& customer, const QString& recFile,
                                  const QString& telNo) = 0;
    // The customer of an earlier call, as its caller-ID pick would have
    // chosen it: the agent's own (B) or another agent's (C).
    // Handed to `done` (null after a failure) unless `context` is gone by then.
    using CallCustomer = std::function<void(const CustomerRecord* customer)>;
    virtual void readCallCustomer(const QString& custId, QObject* context,
                                  const CustomerRecord& base, const CallCustomer& done) = 0;
    // The search button's action: the list and the counters again.
    virtual void searchCustomers() = 0;
};
