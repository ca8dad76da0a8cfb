#pragma once

#include <array>
#include <QObject>
#include <QString>

#include "telephony/Call.h"

// The current customer as the main window's detail boxes hold it: the 19
// boxes and lblTelNO, and whether the boxes are editable. The window binds
// its controls to this; the call logic reads the customer of the call from it.
class CustomerPanel : public QObject
{
    Q_OBJECT
public:
    // The boxes by their control names, then the label of the call's number.
    enum Field
    {
        txtCustID,
        txtCustName,
        txtCustSocialID,
        txtDataType,
        txtCampaignID,
        txtPhoneNo1,
        txtPhoneNo2,
        txtCustOfficeZip,
        txtCustOfficeAddress1,
        txtCustOfficeAddress2,
        txtCustHomeZip,
        txtCustHomeAddress1,
        txtCustHomeAddress2,
        txtCustBlank1,
        txtCustBlank2,
        txtCustBlank3,
        txtCustBlank4,
        txtCustBlank5,
        txtCustBlank6,
        lblTelNO,
        FieldCount
    };
    static constexpr int kBoxes = lblTelNO;

    // The control's name, e.g. "txtCustName".
    static QString name(Field field);
    // The declared length of the column a box is saved into, so that the box
    // stops the agent where SQL Server would refuse the save; 0 for the boxes
    // that are never saved.
    static int maxLength(Field field);

    QString value(Field field) const { return m_values[field]; }
    void setValue(Field field, const QString& text);
    bool isEditable() const { return m_editable; }

    // "1": the boxes become editable; anything else: read-only.
    void SetCustInfoValuables(const QString& str);
    // Empties the 19 boxes and lblTelNO; editability stays.
    void clearCustInfoValuables();

    // How the customer in the boxes was chosen. A call takes its own copy;
    // E lasts from 신규등록 until the number is dialled.
    ::CustSelectKind CustSelectKind = ::CustSelectKind::None;

signals:
    void valueChanged(CustomerPanel::Field field, const QString& text);
    void editableChanged(bool editable);

private:
    std::array<QString, FieldCount> m_values;
    bool m_editable = false;
};
