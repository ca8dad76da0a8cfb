#include "telephony/CustomerPanel.h"

const QStringList& CustomerPanel::boxNames()
{
    static const QStringList names{"txtCustID",
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
                                   "txtCustBlank6"};
    return names;
}

int CustomerPanel::maxLength(const QString& name)
{
    // The columns of gogakinfo in mssql.sql.
    static const QHash<QString, int> lengths{{"txtCustName", 100},
                                             {"txtCustSocialID", 20},
                                             {"txtPhoneNo1", 30},
                                             {"txtPhoneNo2", 30},
                                             {"txtCustOfficeZip", 10},
                                             {"txtCustHomeZip", 10},
                                             {"txtCustOfficeAddress1", 200},
                                             {"txtCustOfficeAddress2", 200},
                                             {"txtCustHomeAddress1", 200},
                                             {"txtCustHomeAddress2", 200},
                                             {"txtCustBlank1", 200},
                                             {"txtCustBlank2", 200},
                                             {"txtCustBlank3", 200},
                                             {"txtCustBlank4", 200},
                                             {"txtCustBlank5", 200},
                                             {"txtCustBlank6", 200}};
    return lengths.value(name);
}

void CustomerPanel::setValue(const QString& name, const QString& text)
{
    if (m_values.value(name) == text && m_values.contains(name))
        return;
    m_values.insert(name, text);
    emit valueChanged(name, text);
}

void CustomerPanel::SetCustInfoValuables(const QString& str)
{
    const bool editable = str == QStringLiteral("1");
    if (editable == m_editable)
        return;
    m_editable = editable;
    emit editableChanged(editable);
}

void CustomerPanel::clearCustInfoValuables()
{
    for (const QString& name : boxNames())
        setValue(name, QString());
    setValue(QStringLiteral("lblTelNO"), QString());
}
