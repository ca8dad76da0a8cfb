#include "customers/CallerIdLookup.h"

#include "customers/CustomerSearch.h"
#include "foundation/Database.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "line/DorvanePlus.h"
#include "platform/SqlDialect.h"
#include "telephony/CallController.h"

CallerIdLookup::CallerIdLookup(Database& db, CallPtr call, CallController& calls,
                               CustomerSearch& search, DorvanePlus& device, MessageSink& messages,
                               QObject* parent)
    : QObject(parent), m_db(db), m_call(call ? std::move(call) : Call::inbound()), m_calls(calls),
      m_search(search), m_device(device), m_messages(messages), m_label(calls.feed().idleLabel())
{
    connect(&calls.feed(), &CallerFeedPort::downChanged, this, [this] {
        if (m_numberShown)
            return;
        m_label = m_calls.feed().idleLabel();
        emit lblCIDDataChanged(m_label);
    });
    const char* headers[] = {"고객성명",   "주민번호",     "상담원", "내선번호",
                             "고객아이디", "캠페인아이디", "CID"};
    for (int col = 1; col <= 7; ++col)
        m_grid.setHeader(col, QString::fromUtf8(headers[col - 1]));
}

void CallerIdLookup::load()
{
    SetSprCustSearch();
    if (!m_call->CallerNumber.isEmpty())
        showNumber();
    else
        setTimer(true);
}

void CallerIdLookup::showNumber()
{
    // The label's change looks the number up as it stands, then again
    // trimmed; the second look-up would ask the same question when there is
    // nothing to trim, and the list it fills would be the same.
    const QString before = m_label;
    setLblCIDData(m_call->CallerNumber);
    if (m_label.trimmed() != m_label || m_label == before)
        GetCustinfo(m_label.trimmed());
}

void CallerIdLookup::SetSprCustSearch()
{
    m_grid.setMaxRows(0);
}

void CallerIdLookup::setLblCIDData(const QString& text)
{
    if (text == m_label)
        return;
    m_label = text;
    m_numberShown = true;
    emit lblCIDDataChanged(text);
    GetCustinfo(text);
}

void CallerIdLookup::tmrGetCID_Timer()
{
    if (m_call->CallerNumber.isEmpty())
        return;
    showNumber();
    setTimer(false);
}

QString CallerIdLookup::custinfoStatement(const QString& number)
{
    const QString n = SqlDialect::quoted(number);
    return QStringLiteral(
               "select a.ID,a.AgentID,a.Name,a.JuminNo,a.CampaignID,a.MobileNumber,a.OfficeNumber,"
               "b.UserName,b.Agent_Local_PhoneNO from gogakinfo a, agentlogin b where a.AGENTID = "
               "b.AGENTID and (a.MobileNumber='") +
           n + QStringLiteral("' or a.OfficeNumber='") + n + QStringLiteral("')");
}

void CallerIdLookup::GetCustinfo(const QString& number)
{
    static const QString location = QStringLiteral("Frm100000"),
                         function = QStringLiteral("GetCustinfo");
    const QString sql = custinfoStatement(number);
    m_grid.setMaxRows(0);
    // Across the network the caller is looked up by the link: the window
    // answers the call while a hung server keeps the answer.
    setLooking(+1);
    m_db.read(Database::Slot::Main, sql, this, location, function,
              [this, number](const Recordset* rs) {
                  setLooking(-1);
                  if (rs)
                      fill(*rs, number);
              });
}

void CallerIdLookup::setLooking(int change)
{
    const bool was = m_looking > 0;
    m_looking += change;
    if (was != (m_looking > 0))
        emit lookingUpChanged(m_looking > 0);
}

void CallerIdLookup::fill(const Recordset& rs, const QString& number)
{
    const int name = rs.fieldIndex(QStringLiteral("Name")),
              jumin = rs.fieldIndex(QStringLiteral("JuminNo")),
              agent = rs.fieldIndex(QStringLiteral("AgentID")),
              phone = rs.fieldIndex(QStringLiteral("Agent_Local_PhoneNO")),
              id = rs.fieldIndex(QStringLiteral("ID")),
              campaign = rs.fieldIndex(QStringLiteral("CampaignID"));
    QVector<QVector<QString>> rows;
    rows.reserve(rs.recordCount());
    for (int r = 0; r < rs.recordCount(); ++r) {
        const auto f = [&rs, r](int field) { return Database::GetFieldValue(rs.value(r, field)); };
        rows.append({f(name), f(jumin), f(agent), f(phone), f(id), f(campaign), number});
    }
    m_grid.setRows(std::move(rows));
}

void CallerIdLookup::sprCustSearch_Click(int, int row)
{
    // The header row holds captions, not a customer; a pick on its way is
    // the call's, not to be overtaken by a second.
    if (row < 1 || row > m_grid.MaxRows() || m_looking > 0)
        return;
    const QString custId = m_grid.text(colCustID, row);
    const QString number = m_grid.text(colCID, row);
    CustomerRecord customer;
    const bool others = m_grid.text(colAgentID, row).trimmed() != m_db.session().AgentID;
    customer.kind = others ? CustSelectKind::C : CustSelectKind::B;
    // One pick at a time: the window waits for this one's customer.
    setLooking(+1);
    m_search.readCustomer(custId, this, customer,
                          [this, customer, number](const CustomerRecord* read, const QString&) {
                              setLooking(-1);
                              picked(read ? *read : customer, read != nullptr, number);
                          });
}

void CallerIdLookup::picked(CustomerRecord customer, bool loaded, const QString& number)
{
    const bool others = customer.kind == CustSelectKind::C;
    if (loaded)
        customer[CustomerRecord::lblTelNO] = number;
    choose(customer);
    // Another agent's customer closes the window whatever the load did; an
    // own one whose load failed keeps it open for another pick.
    if (others || loaded)
        emit unload();
    // The warning does not hold the pick up: the call has its customer
    // before the agent has read it.
    if (others)
        m_messages.showMessage(
            QStringLiteral("타인고객입니다. 해당상담원에게 메모를 전달해주시기 바랍니다"),
            QStringLiteral("타인고객"), MessageIcon::Critical);
}

void CallerIdLookup::cmdStartCall_Click()
{
    // Not yet known whether the caller is a customer: not registered twice.
    if (m_looking > 0) {
        m_messages.showMessage(QStringLiteral("고객 정보를 찾는 중입니다. 잠시 후 다시 "
                                              "선택해주시기 바랍니다"),
                               QStringLiteral("고객 조회 중"), MessageIcon::Information);
        return;
    }
    if (m_grid.MaxRows() > 0) {
        m_messages.showMessage(QStringLiteral("타인고객이거나 이미 등록된고객입니다") +
                                   QStringLiteral("\r\n") +
                                   QStringLiteral("리스트에서 한명을 선택해주시기바랍니다"),
                               QStringLiteral("기존 및 타인고객"), MessageIcon::Information);
        return;
    }
    m_device.TakeLine();
    CustomerRecord unknown;
    unknown.kind = CustSelectKind::A;
    choose(unknown);
    emit unload();
}

void CallerIdLookup::choose(const CustomerRecord& customer)
{
    m_call->customer = customer;
    m_calls.customerChosen(m_call);
}

void CallerIdLookup::setTimer(bool enabled)
{
    if (m_timer == enabled)
        return;
    m_timer = enabled;
    emit tmrGetCIDChanged(enabled);
}
