#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// A result held entirely on the client, so its row count is exact and the
// cursor can move freely. Fields are found by name regardless of case; a
// database Null stays an invalid-but-null QVariant, distinct from ''.
class Recordset
{
public:
    Recordset() = default;
    Recordset(QStringList names, QVector<QVector<QVariant>> rows);

    int recordCount() const { return m_rows.size(); }
    bool isEof() const { return m_position >= m_rows.size(); }
    bool isBof() const { return m_rows.isEmpty() || m_position < 0; }
    void moveFirst() { m_position = 0; }
    void moveNext() { ++m_position; }
    int position() const { return m_position; }

    bool hasField(const QString& name) const { return fieldIndex(name) >= 0; }
    int fieldIndex(const QString& name) const;

    // Value of a field in the current row; a missing field or a cursor off
    // the rows gives an invalid QVariant and sets *ok to false.
    QVariant value(const QString& name, bool* ok = nullptr) const;
    QVariant value(int row, int column) const { return m_rows.at(row).at(column); }
    const QVector<QVector<QVariant>>& rows() const { return m_rows; }

private:
    QStringList m_names;
    QVector<QVector<QVariant>> m_rows;
    int m_position = 0;
};
