#include "customers/CustomerSearch.h"

#include <array>

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "platform/SpreadModel.h"
#include "platform/SqlDialect.h"
#include "telephony/CustomerPanel.h"
#include "telephony/ResultCode.h"

using SqlDialect::quoted;

namespace {

const QString kLocation = QStringLiteral("Frm100000");
const QString kFunction = QStringLiteral("GetCustinfo");

// The 41 columns both customer statements select, in the list's column order.
const QString kFieldList = QStringLiteral(
    "select ID,BranchID,BranchName,AgentID,Name,JuminNo,DataType,CampaignID,RegDate,Status,"
    "MobileNumber,OfficeNumber,HomeNumber,OfficePost,OfficeAddress1"
    ",OfficeAddress2,HomePost,HomeAddress1,HomeAddress2,AppointmentDate,AgreementCorp,blank1,"
    "blank2,blank3,blank4,blank5,blank6,CustSex,CustAge"
    ",CustDob,CustArea,TeamID,FreeInsu,DistributeDate,ImpDate,InsureEndDate,Memo,SendOff,"
    "DvdBackup,RecfileCopy,Ins_Date");

using Col = CustListColumn::Column;

// Detail box <- list column.
struct BoxColumn
{
    CustomerPanel::Field box;
    int column;
};
constexpr std::array<BoxColumn, 19> kBoxColumns{
    {{CustomerPanel::txtCustID, Col::ID},
     {CustomerPanel::txtCustName, Col::Name},
     {CustomerPanel::txtCustSocialID, Col::JuminNo},
     {CustomerPanel::txtDataType, Col::DataType},
     {CustomerPanel::txtCampaignID, Col::CampaignID},
     {CustomerPanel::txtPhoneNo1, Col::MobileNumber},
     {CustomerPanel::txtPhoneNo2, Col::OfficeNumber},
     {CustomerPanel::txtCustOfficeZip, Col::OfficePost},
     {CustomerPanel::txtCustOfficeAddress1, Col::OfficeAddress1},
     {CustomerPanel::txtCustOfficeAddress2, Col::OfficeAddress2},
     {CustomerPanel::txtCustHomeZip, Col::HomePost},
     {CustomerPanel::txtCustHomeAddress1, Col::HomeAddress1},
     {CustomerPanel::txtCustHomeAddress2, Col::HomeAddress2},
     {CustomerPanel::txtCustBlank1, Col::blank1},
     {CustomerPanel::txtCustBlank2, Col::blank2},
     {CustomerPanel::txtCustBlank3, Col::blank3},
     {CustomerPanel::txtCustBlank4, Col::blank4},
     {CustomerPanel::txtCustBlank5, Col::blank5},
     {CustomerPanel::txtCustBlank6, Col::blank6}}};

// Detail box <- field, for the load by key (DataType is not loaded).
struct BoxField
{
    CustomerPanel::Field box;
    const char* field;
};
constexpr std::array<BoxField, 18> kBoxFields{
    {{CustomerPanel::txtCustID, "ID"},
     {CustomerPanel::txtCampaignID, "CampaignID"},
     {CustomerPanel::txtCustName, "Name"},
     {CustomerPanel::txtCustSocialID, "JuminNo"},
     {CustomerPanel::txtPhoneNo1, "MobileNumber"},
     {CustomerPanel::txtPhoneNo2, "OfficeNumber"},
     {CustomerPanel::txtCustHomeZip, "HomePost"},
     {CustomerPanel::txtCustHomeAddress1, "HomeAddress1"},
     {CustomerPanel::txtCustHomeAddress2, "HomeAddress2"},
     {CustomerPanel::txtCustOfficeZip, "OfficePost"},
     {CustomerPanel::txtCustOfficeAddress1, "OfficeAddress1"},
     {CustomerPanel::txtCustOfficeAddress2, "OfficeAddress2"},
     {CustomerPanel::txtCustBlank1, "blank1"},
     {CustomerPanel::txtCustBlank2, "blank2"},
     {CustomerPanel::txtCustBlank3, "blank3"},
     {CustomerPanel::txtCustBlank4, "blank4"},
     {CustomerPanel::txtCustBlank5, "blank5"},
     {CustomerPanel::txtCustBlank6, "blank6"}}};

QString textCondition(const QString& field, const QString& value)
{
    QString column;
    if (field == QStringLiteral("고객성명"))
        column = QStringLiteral("Name");
    else if (field == QStringLiteral("주민번호"))
        column = QStringLiteral("JuminNo");
    else if (field == QStringLiteral("전화번호1"))
        column = QStringLiteral("MobileNumber");
    else if (field == QStringLiteral("전화번호2"))
        column = QStringLiteral("OfficeNumber");
    else
        return QString();
    return QStringLiteral(" and ") + column + QStringLiteral(" like '%") + quoted(value) +
           QStringLiteral("%'");
}

} // namespace

CustomerSearch::CustomerSearch(Database& db, CustomerPanel& panel, SpreadModel& SprCustList,
                               QObject* parent)
    : QObject(parent), m_db(db), m_panel(panel), m_list(SprCustList), m_counters(db)
{
}

void CustomerSearch::SetSprCustList()
{
    m_list.setMaxRows(0);
    m_list.showOnly({5, 11});
    m_list.setHeader(5, QStringLiteral("고객성명"));
    m_list.setHeader(11, QStringLiteral("전화번호"));
    m_list.setHeader(22, QStringLiteral("성별"));
    m_list.setHeader(23, QStringLiteral("나이"));
}

QString CustomerSearch::custListStatement(const QString& branchId, const QString& teamId,
                                          const QString& agentId, const SearchBar& bar)
{
    QString sql = kFieldList + QStringLiteral(" from gogakinfo where Status ='") +
                  quoted(bar.status) + QStringLiteral("' and BranchID = '") + quoted(branchId) +
                  QStringLiteral("' and TeamID ='") + quoted(teamId) +
                  QStringLiteral("' and AgentID ='") + quoted(agentId) + u'\'';
    // New data is listed whatever its dates; appointments by their date;
    // everything else by the date of its last result.
    if (ResultCode(bar.status).isAppointment())
        sql += QStringLiteral(" and AppointmentDate between '") + quoted(bar.dateFrom) +
               QStringLiteral("' and '") + quoted(bar.dateTo) + u'\'';
    else if (bar.status != QStringLiteral("0"))
        sql += QStringLiteral(" and RegDate between '") + quoted(bar.dateFrom) +
               QStringLiteral("' and '") + quoted(bar.dateTo) + u'\'';
    if (!bar.text.isEmpty() && !bar.field.isEmpty())
        sql += textCondition(bar.field, bar.text.trimmed());
    if (bar.campaign != QStringLiteral("999"))
        sql += QStringLiteral(" and campaignID ='") + quoted(bar.campaign) + u'\'';
    return sql;
}

void CustomerSearch::GetCustList(const QString& status, const QString& dateFrom,
                                 const QString& dateTo, const QString& field, const QString& text,
                                 const QString& campaign)
{
    const Session& s = m_db.session();
    const QString sql = custListStatement(s.BranchID, s.TeamID, s.AgentID,
                                          {status, dateFrom, dateTo, field, text, campaign});
    m_list.setMaxRows(0);
    setSearching(+1);
    m_db.read(Database::Slot::Main, sql, this, kLocation, kFunction,
              [this, sql](const Recordset* rs) {
                  setSearching(-1);
                  if (rs)
                      fillList(*rs, sql);
              });
}

void CustomerSearch::fillList(const Recordset& rs, const QString& sql)
{
    // Two searches on their way: the later one's list stands.
    m_list.setMaxRows(0);
    if (rs.recordCount() == 0) {
        setCount(QStringLiteral("0"));
        return;
    }
    setCount(QString::number(rs.recordCount()));
    const int count = std::min(rs.recordCount(), int(SpreadModel::kMaxRows));
    QVector<QVector<QString>> rows(count);
    for (int r = 0; r < count; ++r) {
        QVector<QString>& row = rows[r];
        row.resize(Col::Count);
        for (int c = 0; c < Col::Count; ++c) {
            if (c + 1 != Col::HomeNumber)
                row[c] = Database::GetFieldValue(rs.value(r, c));
        }
    }
    m_list.setRows(std::move(rows));
    if (rs.recordCount() > SpreadModel::kMaxRows)
        m_db.errors().WriteErrorLog(QStringLiteral("Overflow"), kLocation, kFunction, sql);
}

void CustomerSearch::setSearching(int change)
{
    const bool was = m_searching > 0;
    m_searching += change;
    if (was != (m_searching > 0))
        emit searchingChanged(m_searching > 0);
}

void CustomerSearch::cmdCustSearch_Click()
{
    GetCustList(m_bar.status, m_bar.dateFrom, m_bar.dateTo, m_bar.field, m_bar.text,
                m_bar.campaign);
    m_counters.counters(this, [this](const QString& newData, const QString& reservations) {
        m_new = newData;
        m_reservation = reservations;
        emit countersChanged(m_new, m_reservation);
    });
}

void CustomerSearch::SprCustList_Click(int col, int row)
{
    if (row == 0) {
        m_list.SortGridColumn(col);
        return;
    }
    if (row > m_list.MaxRows())
        return;
    for (const BoxColumn& b : kBoxColumns)
        m_panel.setValue(b.box, m_list.text(b.column, row));
    m_panel.setKind(CustSelectKind::D);
    m_panel.SetCustInfoValuables(QStringLiteral("0"));
    emit customerOpened(m_panel.value(CustomerPanel::txtCustID));
}

void CustomerSearch::GetCustinfoByID(const QString& strID)
{
    // The customer a call works with stays in the boxes until the call is done.
    if (m_panel.isHeld())
        return;
    readCustomer(strID, this, m_panel.record(),
                 [this](const CustomerRecord* customer, const QString&) {
                     // A call that took the boxes meanwhile keeps them.
                     if (customer && !m_panel.isHeld())
                         m_panel.show(*customer);
                 });
}

void CustomerSearch::readCustomer(const QString& strID, QObject* context,
                                  const CustomerRecord& base, const CustomerRead& done)
{
    const QString sql =
        kFieldList + QStringLiteral(" from gogakinfo where ID ='") + quoted(strID) + u'\'';
    m_list.setMaxRows(0);
    setSearching(+1);
    m_db.read(Database::Slot::Main, sql, context, kLocation, kFunction,
              [this, base, done](const Recordset* rs) {
                  setSearching(-1);
                  if (!rs) {
                      done(nullptr, QString());
                      return;
                  }
                  setCount(QString::number(rs->recordCount()));
                  std::array<int, kBoxFields.size()> fields;
                  for (size_t f = 0; f < kBoxFields.size(); ++f)
                      fields[f] = rs->fieldIndex(QLatin1String(kBoxFields[f].field));
                  const int agent = rs->fieldIndex(QStringLiteral("AgentID"));
                  CustomerRecord customer = base;
                  QString agentId;
                  for (int r = 0; r < rs->recordCount(); ++r) {
                      for (size_t f = 0; f < kBoxFields.size(); ++f)
                          customer[kBoxFields[f].box] =
                              Database::GetFieldValue(rs->value(r, fields[f]));
                      agentId = Database::GetFieldValue(rs->value(r, agent));
                  }
                  done(&customer, agentId);
              });
}

void CustomerSearch::setCount(const QString& text)
{
    m_count = text;
    emit TxtTCountChanged(text);
}
