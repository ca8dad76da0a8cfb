#include "telephony/CustomerPanel.h"

#include "telephony/CustomerRecord.h"

void CustomerPanel::setValue(Field field, const QString& text)
{
    // A box never written reads as '' but still reports its first value.
    if (m_shown[field] == text && !m_shown[field].isNull())
        return;
    m_shown[field] = text.isNull() ? QStringLiteral("") : text;
    emit valueChanged(field, text);
}

void CustomerPanel::type(Field field, const QString& text)
{
    setValue(field, text);
    emit typed(field, text);
}

void CustomerPanel::show(const CustomerRecord& record)
{
    for (int f = 0; f < FieldCount; ++f)
        setValue(Field(f), record[Field(f)]);
    m_shown.kind = record.kind;
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
    for (int f = 0; f < FieldCount; ++f)
        setValue(Field(f), QString());
}
