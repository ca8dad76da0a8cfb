#include "histories/HistoryGrid.h"

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "platform/Recordset.h"
#include "platform/SpreadModel.h"
#include "platform/SqlDialect.h"

void HistoryGrid::setUp(SpreadModel& grid, const QList<Column>& columns)
{
    grid.setMaxRows(0);
    QList<int> shown;
    for (int c = 1; c <= columns.size(); ++c) {
        const Column& column = columns.at(c - 1);
        grid.setHeader(c, QString::fromUtf8(column.header));
        grid.setColumnWidth(c, column.width);
        if (column.shown)
            shown << c;
    }
    grid.showOnly(shown);
}

void HistoryGrid::load(QObject* context, SpreadModel& grid, Database& db, Database::Slot slot,
                       const QString& sql, const QList<Column>& columns,
                       const QList<ComboItem>& statuses, const QString& function)
{
    const QString location = QStringLiteral("Frm100000");
    grid.setMaxRows(0);
    db.read(slot, sql, context, location, function,
            [&grid, &db, sql, columns, statuses, location, function](const Recordset* records) {
                if (!records)
                    return;
                // An earlier read of the same grid may answer late: the last stands.
                grid.setMaxRows(0);
                if (records->recordCount() > SpreadModel::kMaxRows) {
                    db.errors().WriteErrorLog(QStringLiteral("Overflow"), location, function, sql);
                    return;
                }
                QList<int> fields;
                for (const Column& column : columns)
                    fields << records->fieldIndex(QString::fromLatin1(column.field));
                QVector<QVector<QString>> rows;
                rows.reserve(records->recordCount());
                for (int r = 0; r < records->recordCount(); ++r) {
                    QVector<QString> row;
                    row.reserve(columns.size());
                    for (int c = 0; c < columns.size(); ++c) {
                        const int field = fields.at(c);
                        const QString value =
                            field < 0 ? QString()
                                      : Database::GetFieldValue(records->value(r, field));
                        row << (columns.at(c).statusText ? HostUtils::GetTermName(statuses, value)
                                                         : value);
                    }
                    rows << row;
                }
                grid.setRows(std::move(rows));
            });
}

QString HistoryGrid::searchCondition(const QString& field, const QString& text)
{
    if (field.isEmpty() || text.isEmpty())
        return QString();
    static const QList<QPair<QString, QString>> columns = {
        {QStringLiteral("고객성명"), QStringLiteral("Name")},
        {QStringLiteral("주민번호"), QStringLiteral("JuminNo")},
        {QStringLiteral("전화번호1"), QStringLiteral("MobileNumber")},
        {QStringLiteral("전화번호2"), QStringLiteral("OfficeNumber")},
    };
    for (const auto& [name, column] : columns) {
        if (name == field)
            return QStringLiteral("and ") + column + QStringLiteral(" like '%") +
                   SqlDialect::quoted(text) + QStringLiteral("%'");
    }
    return QString();
}
