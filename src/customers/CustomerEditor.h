#pragma once

#include <QObject>
#include <QString>

#include "telephony/CustomerRecord.h"

class CustomerPanel;
class CustomerSearch;
class Database;
class DeskControls;
class MessageSink;

// The two edit buttons of the customer panel and the save of the open
// customer with its history copy.
class CustomerEditor : public QObject
{
    Q_OBJECT
public:
    CustomerEditor(Database& db, CustomerPanel& panel, DeskControls& desk, CustomerSearch& search,
                   MessageSink& messages, QObject* parent = nullptr);

    // Empty, editable boxes for a customer the agent types in before dialling.
    void cmdRegisterCust_Click();
    // First click starts editing the open customer, the second saves it.
    void cmdModifyCust_Click();

    // Copies the customer's row into gogakinfo_h and updates it with the
    // record's 16 editable boxes, and in mode "Recfile" also corrects the
    // call's central recording row: all of it in one transaction, committed
    // only when every step hit exactly one row.
    bool AddToMYSQL3(const QString& mode, const CustomerRecord& customer, const QString& recFile,
                     const QString& telNo);

    bool CustModifying() const { return m_modifying; }
    // "고객수정" while not editing, "고객저장" while editing.
    QString cmdModifyCustCaption() const;

signals:
    void modifyingChanged(bool modifying);

private:
    Database& m_db;
    CustomerPanel& m_panel;
    DeskControls& m_desk;
    CustomerSearch& m_search;
    MessageSink& m_messages;
    bool m_modifying = false;
};
