#include "platform/Recordset.h"

Recordset::Recordset(QStringList names, QVector<QVector<QVariant>> rows)
    : m_names(std::move(names)), m_rows(std::move(rows))
{
}

int Recordset::fieldIndex(const QString& name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant Recordset::value(const QString& name, bool* ok) const
{
    const int column = fieldIndex(name);
    const bool found = column >= 0 && m_position >= 0 && m_position < m_rows.size();
    if (ok)
        *ok = found;
    return found ? m_rows.at(m_position).at(column) : QVariant();
}
