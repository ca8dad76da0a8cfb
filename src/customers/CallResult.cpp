#include "customers/CallResult.h"

#include <QDate>

#include "customers/CustomerRegistration.h"
#include "customers/LookupLists.h"
#include "foundation/Database.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "platform/SqlDialect.h"
#include "telephony/RecordingRecords.h"
#include "telephony/WorkCounters.h"

using SqlDialect::quoted;

namespace {

const QString kLocation = QStringLiteral("Frm120000");

} // namespace

CallResult::CallResult(const Parts& parts, CallPtr call, QObject* parent)
    : QObject(parent), m_p(parts), m_call(call ? std::move(call) : Call::inbound()),
      m_now([this] { return m_p.db.GetNowDate(); })
{
}

bool CallResult::isReception() const
{
    return m_p.db.session().isReception();
}

void CallResult::load()
{
    m_reservationDate = m_now().left(10);
    FillCallStatusCombo();
    if (isReception()) {
        // Reception agents always file the same result and never choose.
        m_selected = ResultCode::kReceptionItem;
        emit selectedIndexChanged(m_selected);
        m_statusEnabled = false;
        emit cmbCallStatusEnabledChanged(false);
    }
}

void CallResult::FillCallStatusCombo()
{
    m_items = m_p.lookups.cmbTerm().mid(1);
    m_selected = -1;
}

void CallResult::cmbCallStatus_Click(int index)
{
    m_selected = index;
    if (!isReception())
        setReservationEnabled(index == ResultCode::kAppointmentItem);
}

void CallResult::setReservationEnabled(bool enabled)
{
    if (m_reservationEnabled == enabled)
        return;
    m_reservationEnabled = enabled;
    emit DTPReservationEnabledChanged(enabled);
}

QString CallResult::distributionDate(const QString& now)
{
    const QString today = now.left(10);
    if (now.mid(11, 2).toInt() < 9)
        return today;
    return QDate::fromString(today, Qt::ISODate).addDays(1).toString(Qt::ISODate);
}

bool CallResult::cmdRcResultSave_Click(const QString& memo, const QString& reservationDate)
{
    if (m_selected < 0 || m_selected >= m_items.size() || m_items.at(m_selected).text.isEmpty()) {
        m_p.messages.showMessage(QStringLiteral("통화결과값을 선택해주시기 바랍니다"),
                                 QStringLiteral("통화결과값 선택 오류"), MessageIcon::Critical);
        return false;
    }
    const Session& s = m_p.db.session();
    Call& call = *m_call;
    const QString now = m_now();
    const QString today = now.left(10);
    const QString direction =
        call.CallDirection == CallDirection::Inbound ? QStringLiteral("2") : QStringLiteral("1");
    call.result = ResultCode(QString::number(m_items.at(m_selected).itemData));
    const QString& code = call.result.text();

    RecRow row;
    row.Status = code;
    row.memo = memo;
    row.R_Path = call.RecFileName;
    const bool local = m_p.records.AddToLocalDB(QStringLiteral("beforeFtpUpload"), row);
    call.resultSaved = m_p.records.AddToSQL(QStringLiteral("beforeFtpUpload"), row) || local;

    // The customer is the one the call chose, whatever the desk shows now.
    const QString& custId = call.customer[CustomerRecord::txtCustID];
    if (isReception()) {
        AddToMYSQL5(distributionDate(now), code, custId, today);
    } else if (call.customer.kind != CustSelectKind::C) {
        m_p.registration.AddToMYSQL2(code, reservationDate, QString(), custId, today, QString());
    }
    m_p.counters.AddToMYSQL4(s.BranchID, s.TeamID, s.AgentID, QString(now).remove(u'-').left(6),
                             today, code, call.CallDuration, direction);
    return true;
}

QString CallResult::distributionStatement(const QString& tDate)
{
    return QStringLiteral(
               " SELECT a.ID,a.BranchID, a.TeamID, a.AgentID, isnull(b.DistributeCnt,0) as "
               "DistributeCnt FROM (select * from agentlogin where Agent_Privilege = '12' and "
               "tDel='N') AS a  LEFT OUTER JOIN (select * from tb_autoDistribute where "
               "DistributeDate = '") +
           quoted(tDate) +
           QStringLiteral("') AS b on a.BranchID = b.BranchID AND a.TeamID = b.TeamID AND "
                          "a.AgentID = b.AgentID order by DistributeCnt asc,a.ID asc");
}

void CallResult::AddToMYSQL5(const QString& tDate, const QString& code, const QString& custId,
                             const QString& today)
{
    // Two reception agents hand customers on at the same moment: the pick,
    // its count and the customer go in one transaction on the server.
    const QString where = QStringLiteral("BranchID = '{BranchID}' and TeamID = '{TeamID}' and "
                                         "AgentID = '{AgentID}' and DistributeDate = '") +
                          quoted(tDate) + u'\'';
    const QString count =
        QStringLiteral(" Update tb_autoDistribute SET DistributeCnt = DistributeCnt + 1 where ") +
        where + CentralLink::kOtherwise +
        QStringLiteral(" insert into tb_autoDistribute(BranchID,TeamID,AgentID,DistributeDate,"
                       "DistributeCnt) values ('{BranchID}','{TeamID}','{AgentID}','") +
        quoted(tDate) + QStringLiteral("', 1)");
    m_p.registration.AddToMYSQL2(code, tDate, QString(), custId, today, QStringLiteral("{AgentID}"),
                                 count, distributionStatement(tDate));
}
