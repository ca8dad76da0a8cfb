#pragma once

#include "customers/CallResult.h"
#include "DeskFixture.h"
#include "telephony/Call.h"

// The 16 boxes the agent edits, in the panel's order, each with the
// customer column it is saved in.
inline QList<std::pair<CustomerPanel::Field, QString>> editableBoxes()
{
    const QStringList columns{"Name",         "JuminNo",        "MobileNumber",   "OfficeNumber",
                              "OfficePost",   "OfficeAddress1", "OfficeAddress2", "HomePost",
                              "HomeAddress1", "HomeAddress2",   "blank1",         "blank2",
                              "blank3",       "blank4",         "blank5",         "blank6"};
    QList<std::pair<CustomerPanel::Field, QString>> boxes;
    for (int f = CustomerPanel::txtCustName; f < CustomerPanel::kBoxes; ++f)
        if (f != CustomerPanel::txtDataType && f != CustomerPanel::txtCampaignID)
            boxes.append({CustomerPanel::Field(f), columns.value(boxes.size())});
    return boxes;
}

// The desk's customer side, with a call of the test's own to fill in.
struct CustomerFixture : DeskFixture
{
    using DeskFixture::DeskFixture;

    CustomerSide& side = desk.customers;
    SpreadModel& list = desk.custList;
    DorvanePlus& device = desk.device;
    CallPtr callPtr = Call::inbound();
    Call& call = *callPtr;
};
