#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "customers/CustomerRegistration.h"
#include "telephony/CustomerRecord.h"

class CustomerPanel;
class Database;
class Recordset;
class SpreadModel;

// The customer search of the main window and opening a customer.
// The columns of SprCustList: the customer field list, numbered from 1.
namespace CustListColumn {
enum Column : int
{
    ID = 1,
    BranchID,
    BranchName,
    AgentID,
    Name,
    JuminNo,
    DataType,
    CampaignID,
    RegDate,
    Status,
    MobileNumber,
    OfficeNumber,
    HomeNumber,
    OfficePost,
    OfficeAddress1,
    OfficeAddress2,
    HomePost,
    HomeAddress1,
    HomeAddress2,
    AppointmentDate,
    AgreementCorp,
    blank1,
    blank2,
    blank3,
    blank4,
    blank5,
    blank6,
    CustSex,
    CustAge,
    CustDob,
    CustArea,
    TeamID,
    FreeInsu,
    DistributeDate,
    ImpDate,
    InsureEndDate,
    Memo,
    SendOff,
    DvdBackup,
    RecfileCopy,
    Ins_Date,
    Count = Ins_Date
};
} // namespace CustListColumn

class CustomerSearch : public QObject
{
    Q_OBJECT
public:
    // The search bar's values as the search button reads them.
    struct SearchBar
    {
        QString status;                           // item data of the selected cmbTerm entry
        QString dateFrom;                         // DTPCustDate1, "yyyy-mm-dd"
        QString dateTo;                           // DTPCustDate2
        QString field;                            // cmbCustSearch's text
        QString text;                             // txtCustSearch's text
        QString campaign = QStringLiteral("999"); // item data of the selected cmbCampaign entry
    };

    CustomerSearch(Database& db, CustomerPanel& panel, SpreadModel& SprCustList,
                   QObject* parent = nullptr);

    // Empties the list and shows only the name and the mobile number.
    void SetSprCustList();

    // The window keeps this in step with its search bar.
    void setSearchBar(const SearchBar& bar) { m_bar = bar; }

    void GetCustList(const QString& status, const QString& dateFrom, const QString& dateTo,
                     const QString& field, const QString& text, const QString& campaign);
    static QString custListStatement(const QString& branchId, const QString& teamId,
                                     const QString& agentId, const SearchBar& bar);
    // The search button: the list, then both counters.
    void cmdCustSearch_Click();

    // Header row: sorts on the column, flipping the order; data row: opens
    // that customer from the row's own cells.
    void SprCustList_Click(int col, int row);

    // Loads one customer into the detail boxes, unless a call holds them.
    void GetCustinfoByID(const QString& strID);
    // The customer read by key, or null after a database failure, and the
    // agent it belongs to.
    using CustomerRead =
        std::function<void(const CustomerRecord* customer, const QString& agentId)>;
    // Reads one customer's boxes over `base` (the list empties, as for any
    // customer opened by key) and hands it to `done`, unless `context` is
    // gone by then.
    void readCustomer(const QString& strID, QObject* context, const CustomerRecord& base,
                      const CustomerRead& done);
    // A search or read on its way: the window shows it is waiting.
    bool searching() const { return m_searching > 0; }

    QString TxtTCount() const { return m_count; }
    QString lblNew() const { return m_new; }
    QString lblReservation() const { return m_reservation; }

signals:
    void TxtTCountChanged(const QString& text);
    void countersChanged(const QString& lblNew, const QString& lblReservation);
    // A list row was opened; the desk then shows that customer's recordings.
    void customerOpened(const QString& custId);
    void searchingChanged(bool searching);

private:
    void setCount(const QString& text);
    void fillList(const Recordset& rs, const QString& sql);
    void setSearching(int change);

    Database& m_db;
    CustomerPanel& m_panel;
    SpreadModel& m_list;
    CustomerRegistration m_counters;
    SearchBar m_bar;
    QString m_count;
    QString m_new;
    QString m_reservation;
    int m_searching = 0; // reads not answered yet
};
