#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

// The cells of one grid as the lists use them: columns numbered from 1,
// the header in row 0, data rows from 1, every cell text. Hidden columns
// keep the keys the click handlers read back. The view (fpSpread) shows it.
class SpreadModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Row numbers are 16-bit signed: a list holds at most this many rows.
    static constexpr int kMaxRows = 32767;

    explicit SpreadModel(int maxCols, QObject* parent = nullptr);

    int MaxRows() const { return int(m_rows.size()); }
    int MaxCols() const { return m_cols; }
    // Sets the row count; new rows are empty, 0 empties the list.
    void setMaxRows(int rows);

    QString text(int col, int row) const;
    void setText(int col, int row, const QString& text);
    void setHeader(int col, const QString& text) { setText(col, 0, text); }
    // Replaces every data row at once (one reset, however many rows).
    void setRows(QVector<QVector<QString>> rows);

    bool isColumnHidden(int col) const { return m_hidden.value(col - 1); }
    void setColumnHidden(int col, bool hidden);
    // Shows exactly the given columns and hides every other one.
    void showOnly(const QList<int>& columns);
    // Width in the grid's character units; 0 means the default width.
    double columnWidth(int col) const { return m_widths.value(col - 1); }
    void setColumnWidth(int col, double characters);

    // A header click: the sort key becomes the column, its order flips
    // (ascending first), and all rows are sorted by it.
    void SortGridColumn(int col);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void columnLayoutChanged();

private:
    int m_cols;
    QVector<QString> m_header;
    QVector<QVector<QString>> m_rows;
    QVector<bool> m_hidden;
    QVector<double> m_widths;
    int m_sortColumn = 0;
    int m_order = 0; // 0 none yet, 1 ascending, 2 descending
};
