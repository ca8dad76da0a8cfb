#include "customers/CustomerRegistration.h"

#include "foundation/Database.h"
#include "foundation/Session.h"
#include "platform/SqlDialect.h"
#include "telephony/ResultCode.h"

using SqlDialect::quoted;

namespace {

const QString kLocation = QStringLiteral("Frm100000");

} // namespace

CustomerRegistration::CustomerRegistration(Database& db) : m_db(db) {}

QString CustomerRegistration::insertStatement(bool reception, const QString& branchId,
                                              const QString& branchName, const QString& agentId,
                                              const QString& strDataType,
                                              const QString& strCampaignID,
                                              const QString& callerNumber, const QString& teamId,
                                              const QString& today)
{
    // A reception agent only registers the caller; the owner comes with the
    // distribution of the call result.
    const QString agentColumn =
        reception ? QStringLiteral(",AgentID_1") : QStringLiteral(",AgentID");
    return QStringLiteral("insert into gogakinfo(BranchID,BranchName") + agentColumn +
           QStringLiteral(",DataType,CampaignID,Status,MobileNumber,TeamID,DistributeDate,ImpDate) "
                          "values ('") +
           quoted(branchId) + QStringLiteral("','") + quoted(branchName) + QStringLiteral("','") +
           quoted(agentId) + QStringLiteral("','") + quoted(strDataType) + QStringLiteral("','") +
           quoted(strCampaignID) + QStringLiteral("','0','") + quoted(callerNumber) +
           QStringLiteral("','") + quoted(teamId) + QStringLiteral("','") + quoted(today) +
           QStringLiteral("','") + quoted(today) + QStringLiteral("')");
}

void CustomerRegistration::SetRegisterInboundCutomer(const QString& strCampaignID,
                                                     const QString& strDataType,
                                                     const QString& callerNumber, QObject* context,
                                                     const Registered& done)
{
    static const QString function = QStringLiteral("setRegisterInboundCutomer");
    const Session& s = m_db.session();
    const QString today = m_db.GetNowDate().left(10);
    const QString insert =
        insertStatement(s.isReception(), s.BranchID, s.BranchName, s.AgentID, strDataType,
                        strCampaignID, callerNumber, s.TeamID, today);
    const QString select =
        QStringLiteral(" Select top 1 ID,CampaignID,DataType from gogakinfo where Status ='0' "
                       "and BranchID = '") +
        quoted(s.BranchID) + QStringLiteral("' and TeamID ='") + quoted(s.TeamID) +
        (s.isReception() ? QStringLiteral("' and AgentID_1 ='")
                         : QStringLiteral("' and AgentID ='")) +
        quoted(s.AgentID) + QStringLiteral("' order by ID desc");
    const auto answer = [done](const Recordset* rs) {
        if (!rs || rs->isEof()) {
            done(nullptr);
            return;
        }
        CustomerRecord registered;
        registered[CustomerRecord::txtCustID] = Database::field(*rs, "ID");
        registered[CustomerRecord::txtCampaignID] = Database::field(*rs, "CampaignID");
        registered[CustomerRecord::txtDataType] = Database::field(*rs, "DataType");
        done(&registered);
    };
    // Across the network both go by the link, one after the other: the call
    // goes on while the server answers with the new row's key, which counts
    // only when the insert went in.
    if (m_db.crossesNetwork()) {
        auto inserted = std::make_shared<bool>(false);
        m_db.read(Database::Slot::Main, insert, context, kLocation, function,
                  [inserted](const Recordset* rs) { *inserted = rs != nullptr; });
        m_db.read(Database::Slot::Main, select, context, kLocation, function,
                  [inserted, answer](const Recordset* rs) { answer(*inserted ? rs : nullptr); });
        return;
    }
    Database::Use use(m_db, Database::Slot::Main);
    int n = 0;
    Recordset rs;
    if (!m_db.execute(Database::Slot::Main, insert, kLocation, function, &n) || n != 1 ||
        !m_db.query(Database::Slot::Main, select, &rs, kLocation, function)) {
        done(nullptr);
        return;
    }
    answer(&rs);
}

void CustomerRegistration::AddToMYSQL2(const QString& strStatus, const QString& strReservationDate,
                                       const QString&, const QString& strCustID,
                                       const QString& strRegDate, const QString& strTgtAgentID,
                                       const QString& handOn, const QString& pick)
{
    QString sql = QStringLiteral("update gogakinfo SET STATUS = '") + quoted(strStatus) + u'\'';
    if (m_db.session().isReception())
        sql += QStringLiteral(",AgentID = '") + quoted(strTgtAgentID) + u'\'';
    if (ResultCode(strStatus).isAppointment())
        sql += QStringLiteral(",AppointmentDate = '") + quoted(strReservationDate) + u'\'';
    sql += QStringLiteral(" ,RegDate = '") + quoted(strRegDate) + QStringLiteral("' where id = '") +
           quoted(strCustID) + u'\'';
    if (handOn.isEmpty())
        m_db.journal().write(sql, kLocation, QStringLiteral("AddToMYSQL2"));
    else
        m_db.journal().write(handOn + CentralLink::kStepBreak + sql, kLocation,
                             QStringLiteral("AddToMYSQL5"), true, pick);
}

void CustomerRegistration::counters(QObject* context, const Counters& done)
{
    const Session& s = m_db.session();
    const QString mine = QStringLiteral("' and AgentID ='") + quoted(s.AgentID) +
                         QStringLiteral("' and BranchID ='") + quoted(s.BranchID) +
                         QStringLiteral("' and TeamID = '") + quoted(s.TeamID) + u'\'';
    const QString newData =
        QStringLiteral(" select count(ID) as NewData from gogakinfo where status = '0") + mine;
    const QString reservations =
        QStringLiteral(" select count(ID) as ReservationData from gogakinfo where status = '5") +
        mine + QStringLiteral(" and AppointmentDate = '") + quoted(m_db.GetNowDate().left(10)) +
        u'\'';
    static const QString function = QStringLiteral("GetNewDataCnt");
    const auto first = [](const Recordset* rs) {
        return rs && !rs->isEof() ? Database::GetFieldValue(rs->value(0, 0)) : QString();
    };
    // Sent one after the other: they reach the server, and answer, in this order.
    auto counted = std::make_shared<QString>();
    constexpr auto closing = Database::Closing::IfOpenedHere;
    m_db.read(
        Database::Slot::Main, newData, context, kLocation, function,
        [counted, first](const Recordset* rs) { *counted = first(rs); }, closing);
    m_db.read(
        Database::Slot::Main, reservations, context, kLocation, function,
        [counted, first, done](const Recordset* rs) { done(*counted, first(rs)); }, closing);
}
