#include "telephony/CustomerRecord.h"

QString CustomerFields::name(Field field)
{
    static const char* const names[FieldCount] = {"txtCustID",
                                                  "txtCustName",
                                                  "txtCustSocialID",
                                                  "txtDataType",
                                                  "txtCampaignID",
                                                  "txtPhoneNo1",
                                                  "txtPhoneNo2",
                                                  "txtCustOfficeZip",
                                                  "txtCustOfficeAddress1",
                                                  "txtCustOfficeAddress2",
                                                  "txtCustHomeZip",
                                                  "txtCustHomeAddress1",
                                                  "txtCustHomeAddress2",
                                                  "txtCustBlank1",
                                                  "txtCustBlank2",
                                                  "txtCustBlank3",
                                                  "txtCustBlank4",
                                                  "txtCustBlank5",
                                                  "txtCustBlank6",
                                                  "lblTelNO"};
    return QLatin1String(names[field]);
}

int CustomerFields::maxLength(Field field)
{
    // The columns of gogakinfo in mssql.sql.
    switch (field) {
    case txtCustName:
        return 100;
    case txtCustSocialID:
        return 20;
    case txtPhoneNo1:
    case txtPhoneNo2:
        return 30;
    case txtCustOfficeZip:
    case txtCustHomeZip:
        return 10;
    case txtCustOfficeAddress1:
    case txtCustOfficeAddress2:
    case txtCustHomeAddress1:
    case txtCustHomeAddress2:
    case txtCustBlank1:
    case txtCustBlank2:
    case txtCustBlank3:
    case txtCustBlank4:
    case txtCustBlank5:
    case txtCustBlank6:
        return 200;
    default:
        return 0;
    }
}
