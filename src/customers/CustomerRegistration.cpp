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
                                                     const QString& callerNumber,
                                                     CustomerRecord& customer)
{
    static const QString function = QStringLiteral("setRegisterInboundCutomer");
    const Session& s = m_db.session();
    Database::Use use(m_db, Database::Slot::Main);
    const QString today = m_db.GetNowDate().left(10);
    QString sql = insertStatement(s.isReception(), s.BranchID, s.BranchName, s.AgentID, strDataType,
                                  strCampaignID, callerNumber, s.TeamID, today);
    int n = 0;
    if (!m_db.execute(Database::Slot::Main, sql, kLocation, function, &n) || n != 1)
        return;
    sql = QStringLiteral(" Select top 1 ID,CampaignID,DataType from gogakinfo where Status ='0' "
                         "and BranchID = '") +
          quoted(s.BranchID) + QStringLiteral("' and TeamID ='") + quoted(s.TeamID) +
          (s.isReception() ? QStringLiteral("' and AgentID_1 ='")
                           : QStringLiteral("' and AgentID ='")) +
          quoted(s.AgentID) + QStringLiteral("' order by ID desc");
    Recordset rs;
    if (!m_db.query(Database::Slot::Main, sql, &rs, kLocation, function) || rs.isEof())
        return;
    customer[CustomerRecord::txtCustID] = Database::GetFieldValue(rs.value(QStringLiteral("ID")));
    customer[CustomerRecord::txtCampaignID] =
        Database::GetFieldValue(rs.value(QStringLiteral("CampaignID")));
    customer[CustomerRecord::txtDataType] =
        Database::GetFieldValue(rs.value(QStringLiteral("DataType")));
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

QString CustomerRegistration::count(const QString& sql, const QString& field)
{
    Database::Use use(m_db, Database::Slot::Main);
    Recordset rs;
    if (!m_db.query(Database::Slot::Main, sql, &rs, kLocation, QStringLiteral("GetNewDataCnt")) ||
        rs.isEof())
        return QString();
    return Database::GetFieldValue(rs.value(field));
}

QString CustomerRegistration::GetNewDataCnt()
{
    const Session& s = m_db.session();
    return count(QStringLiteral(" select count(ID) as NewData from gogakinfo where status = '0' "
                                "and AgentID ='") +
                     quoted(s.AgentID) + QStringLiteral("' and BranchID ='") + quoted(s.BranchID) +
                     QStringLiteral("' and TeamID = '") + quoted(s.TeamID) + u'\'',
                 QStringLiteral("NewData"));
}

QString CustomerRegistration::GetReservationDataCnt()
{
    const Session& s = m_db.session();
    Database::Use use(m_db, Database::Slot::Main);
    const QString today = m_db.GetNowDate().left(10);
    return count(QStringLiteral(" select count(ID) as ReservationData from gogakinfo where status "
                                "= '5' and AgentID ='") +
                     quoted(s.AgentID) + QStringLiteral("' and BranchID ='") + quoted(s.BranchID) +
                     QStringLiteral("' and TeamID = '") + quoted(s.TeamID) +
                     QStringLiteral("' and AppointmentDate = '") + quoted(today) + u'\'',
                 QStringLiteral("ReservationData"));
}
