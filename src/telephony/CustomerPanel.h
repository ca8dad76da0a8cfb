#pragma once

#include <QObject>
#include <QString>

#include "telephony/CustomerRecord.h"

// The customer the main window's detail boxes show: the 19 boxes and
// lblTelNO, and whether the boxes are editable. The window binds its
// controls to this. While a call holds the desk the panel shows that call's
// customer, and what the agent types there is the call's; the call logic
// never reads the panel back to fill a call's rows or result.
class CustomerPanel : public QObject, public CustomerFields
{
    Q_OBJECT
public:
    QString value(Field field) const { return m_shown[field]; }
    void setValue(Field field, const QString& text);
    // The agent typed into a box.
    void type(Field field, const QString& text);
    bool isEditable() const { return m_editable; }

    // What the boxes show, with how it was chosen.
    const CustomerRecord& record() const { return m_shown; }
    // Shows every box of the record, and takes its kind.
    void show(const CustomerRecord& record);

    // "1": the boxes become editable; anything else: read-only.
    void SetCustInfoValuables(const QString& str);
    // Empties the 19 boxes and lblTelNO; editability stays.
    void clearCustInfoValuables();

    // How the customer in the boxes was chosen; E lasts from 신규등록 until
    // the number is dialled.
    CustSelectKind kind() const { return m_shown.kind; }
    void setKind(CustSelectKind kind) { m_shown.kind = kind; }

    // Held while a call works with the customer shown: opening another
    // customer from a list then leaves the boxes alone.
    bool isHeld() const { return m_held; }
    void setHeld(bool held) { m_held = held; }

signals:
    void valueChanged(CustomerPanel::Field field, const QString& text);
    void typed(CustomerPanel::Field field, const QString& text);
    void editableChanged(bool editable);

private:
    CustomerRecord m_shown;
    bool m_editable = false;
    bool m_held = false;
};
