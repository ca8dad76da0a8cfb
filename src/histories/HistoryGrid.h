#pragma once

#include <QList>
#include <QString>

#include "foundation/Database.h"
#include "foundation/HostUtils.h"

class SpreadModel;

// The column tables and the fill shared by the history lists: one column per
// record field, hidden columns kept for the click handlers.
namespace HistoryGrid {

struct Column
{
    const char* header; // "" for a column without a caption
    const char* field;  // read by name; a field the result lacks reads as ''
    double width;       // character units, 0 for the grid's default
    bool shown;
    bool statusText = false; // the status code shown as its cmbTerm text
};

// Empties the grid and lays out its captions, widths and hidden columns.
void setUp(SpreadModel& grid, const QList<Column>& columns);

// Empties the grid, then reads the statement on the slot and, when it
// answers, writes one row per record, in result order; the grid belongs to
// `context`. A list holds at most SpreadModel::kMaxRows rows: a larger
// result writes nothing and is reported as an overflow with the statement,
// as a failed query is.
void load(QObject* context, SpreadModel& grid, Database& db, Database::Slot slot,
          const QString& sql, const QList<Column>& columns, const QList<ComboItem>& statuses,
          const QString& function);

// The search-field condition of the history statements; it begins without a
// blank, right after the closing quote of the piece before it.
QString searchCondition(const QString& field, const QString& text);

} // namespace HistoryGrid
