#pragma once

#include <array>
#include <QString>

// How the customer of a call was chosen, by the letters the call logic has
// always used for it.
enum class CustSelectKind
{
    None,
    A, // an unknown caller, registered as a new inbound customer
    B, // the agent's own customer, picked in the caller-ID window
    C, // another agent's customer, picked in the caller-ID window
    D, // a customer opened from the list, or a number dialled
    E  // a new customer typed in by the agent before dialling
};

// The customer detail boxes of the main window by their control names, then
// the label of the call's number.
struct CustomerFields
{
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
};

// One customer's details and how it was chosen: what the panel shows, and
// what a call keeps as its own from the moment its customer is chosen.
struct CustomerRecord : CustomerFields
{
    std::array<QString, FieldCount> values;
    CustSelectKind kind = CustSelectKind::None;

    const QString& operator[](Field field) const { return values[field]; }
    QString& operator[](Field field) { return values[field]; }
    // A new customer, whose typed details are saved with its call.
    bool isNew() const { return kind == CustSelectKind::A || kind == CustSelectKind::E; }
};
