#pragma once

#include <QString>

#include <functional>

#include "telephony/CustomerRecord.h"

class Database;
class QObject;

// The customer-row writes the call logic and the call result ask for, and
// the two counters of the customer panel.
class CustomerRegistration
{
public:
    explicit CustomerRegistration(Database& db);

    // Inserts the call's customer (status "0", the caller number as mobile
    // number) and hands the new row's ID, CampaignID and DataType to `done`
    // (null after a failure), unless `context` is gone by then.
    using Registered = std::function<void(const CustomerRecord* registered)>;
    void SetRegisterInboundCutomer(const QString& strCampaignID, const QString& strDataType,
                                   const QString& callerNumber, QObject* context,
                                   const Registered& done);
    // strReservationTime is accepted and not used. A reception agent's hand-on
    // goes with the pick of its agent: `handOn` the steps before the update,
    // `pick` the statement whose AgentID fills strTgtAgentID's {AgentID}.
    void AddToMYSQL2(const QString& strStatus, const QString& strReservationDate,
                     const QString& strReservationTime, const QString& strCustID,
                     const QString& strRegDate, const QString& strTgtAgentID,
                     const QString& handOn = QString(), const QString& pick = QString());
    // The agent's remaining new customers and today's appointments ('' after
    // a failure), handed to `done` unless `context` is gone by then.
    using Counters = std::function<void(const QString& newData, const QString& reservations)>;
    void counters(QObject* context, const Counters& done);

    static QString insertStatement(bool reception, const QString& branchId,
                                   const QString& branchName, const QString& agentId,
                                   const QString& strDataType, const QString& strCampaignID,
                                   const QString& callerNumber, const QString& teamId,
                                   const QString& today);

private:
    Database& m_db;
};
