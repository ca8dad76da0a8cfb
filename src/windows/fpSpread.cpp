#include "windows/fpSpread.h"

#include <QHeaderView>

#include "platform/SpreadModel.h"

fpSpread::fpSpread(SpreadModel* model, QWidget* parent) : QTableView(parent), m_model(model)
{
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    applyColumnLayout();
    connect(model, &SpreadModel::columnLayoutChanged, this, &fpSpread::applyColumnLayout);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit Click(section + 1, 0); });
    connect(this, &QTableView::clicked, this,
            [this](const QModelIndex& index) { emit Click(index.column() + 1, index.row() + 1); });
    connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        emit DblClick(index.column() + 1, index.row() + 1);
    });
}

void fpSpread::applyColumnLayout()
{
    const int unit = fontMetrics().horizontalAdvance(QLatin1Char('0')) + 2;
    for (int col = 1; col <= m_model->MaxCols(); ++col) {
        setColumnHidden(col - 1, m_model->isColumnHidden(col));
        const double width = m_model->columnWidth(col);
        setColumnWidth(col - 1, width > 0 ? int(width * unit) : 9 * unit);
    }
}
