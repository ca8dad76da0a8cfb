#include "platform/SpreadModel.h"

#include <algorithm>

SpreadModel::SpreadModel(int maxCols, QObject* parent)
    : QAbstractTableModel(parent), m_cols(maxCols), m_header(maxCols), m_hidden(maxCols, false),
      m_widths(maxCols, 0)
{
}

void SpreadModel::setMaxRows(int rows)
{
    rows = std::clamp(rows, 0, kMaxRows);
    const int current = MaxRows();
    if (rows == current)
        return;
    if (rows < current) {
        beginRemoveRows(QModelIndex(), rows, current - 1);
        m_rows.resize(rows);
        endRemoveRows();
    } else {
        beginInsertRows(QModelIndex(), current, rows - 1);
        m_rows.resize(rows, QVector<QString>(m_cols));
        endInsertRows();
    }
}

QString SpreadModel::text(int col, int row) const
{
    if (col < 1 || col > m_cols)
        return QString();
    if (row == 0)
        return m_header.at(col - 1);
    if (row < 1 || row > MaxRows())
        return QString();
    return m_rows.at(row - 1).at(col - 1);
}

void SpreadModel::setText(int col, int row, const QString& text)
{
    if (col < 1 || col > m_cols)
        return;
    if (row == 0) {
        m_header[col - 1] = text;
        emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
        return;
    }
    if (row < 1 || row > MaxRows())
        return;
    m_rows[row - 1][col - 1] = text;
    const QModelIndex cell = index(row - 1, col - 1);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void SpreadModel::setRows(QVector<QVector<QString>> rows)
{
    beginResetModel();
    if (rows.size() > kMaxRows)
        rows.resize(kMaxRows);
    for (QVector<QString>& row : rows)
        row.resize(m_cols);
    m_rows = std::move(rows);
    endResetModel();
}

void SpreadModel::setColumnHidden(int col, bool hidden)
{
    if (col < 1 || col > m_cols || m_hidden.at(col - 1) == hidden)
        return;
    m_hidden[col - 1] = hidden;
    emit columnLayoutChanged();
}

void SpreadModel::showOnly(const QList<int>& columns)
{
    for (int c = 1; c <= m_cols; ++c)
        m_hidden[c - 1] = !columns.contains(c);
    emit columnLayoutChanged();
}

void SpreadModel::setColumnWidth(int col, double characters)
{
    if (col < 1 || col > m_cols)
        return;
    m_widths[col - 1] = characters;
    emit columnLayoutChanged();
}

void SpreadModel::SortGridColumn(int col)
{
    if (col < 1 || col > m_cols)
        return;
    m_sortColumn = col;
    m_order = m_order == 1 ? 2 : 1;
    const int c = col - 1;
    const bool descending = m_order == 2;
    beginResetModel();
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [c, descending](const QVector<QString>& a, const QVector<QString>& b) {
                         const int cmp = a.at(c).compare(b.at(c));
                         return descending ? cmp > 0 : cmp < 0;
                     });
    endResetModel();
}

int SpreadModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : MaxRows();
}

int SpreadModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant SpreadModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    return m_rows.at(index.row()).at(index.column());
}

QVariant SpreadModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    return section >= 0 && section < m_cols ? QVariant(m_header.at(section)) : QVariant();
}
