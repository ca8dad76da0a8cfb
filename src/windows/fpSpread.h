#pragma once

#include <QTableView>

class SpreadModel;

// The grid view of a SpreadModel: hidden columns and widths follow the
// model; clicks are reported with 1-based (column, row), a header click as
// row 0.
class fpSpread : public QTableView
{
    Q_OBJECT
public:
    explicit fpSpread(SpreadModel* model, QWidget* parent = nullptr);
    SpreadModel* sheet() const { return m_model; }

signals:
    void Click(int col, int row);
    void DblClick(int col, int row);

private:
    void applyColumnLayout();

    SpreadModel* m_model;
};
