#pragma once

#include "customers/CallResult.h"
#include "DeskFixture.h"
#include "telephony/Call.h"

// The panel's box of a control name, for data rows that name boxes.
inline CustomerPanel::Field boxNamed(const QString& name)
{
    for (int f = 0; f < CustomerPanel::FieldCount; ++f)
        if (CustomerPanel::name(CustomerPanel::Field(f)) == name)
            return CustomerPanel::Field(f);
    return CustomerPanel::FieldCount;
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
