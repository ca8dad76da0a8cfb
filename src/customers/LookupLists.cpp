#include "customers/LookupLists.h"

#include "foundation/Database.h"

namespace {

const QString kLocation = QStringLiteral("Frm100000");
// Both lists report under the call-status list's name.
const QString kFunction = QStringLiteral("SetCmbTermCombo");

// Reads code/text pairs into items; records with an empty code or text are
// skipped. An empty result leaves the list as it was.
bool fill(Database& db, const QString& sql, const QString& codeField, const QString& textField,
          QList<ComboItem>& items, const QList<ComboItem>& head)
{
    Database::Use use(db, Database::Slot::Main);
    Recordset rs;
    if (!db.query(Database::Slot::Main, sql, &rs, kLocation, kFunction)) {
        use.setClosing(Database::Closing::Always);
        return false;
    }
    if (rs.recordCount() == 0)
        return true;
    items = head;
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
        const QString code = Database::GetFieldValue(rs.value(codeField));
        const QString text = Database::GetFieldValue(rs.value(textField));
        if (!code.isEmpty() && !text.isEmpty())
            items.append({text, code.toInt()});
    }
    return true;
}

} // namespace

LookupLists::LookupLists(Database& db) : m_db(db) {}

bool LookupLists::SetCmbTermCombo()
{
    return fill(m_db,
                QStringLiteral("select STATUS,kDESCRIPTION,eDESCRIPTION from  tb_callstatus ORDER "
                               "BY CAST(STATUS AS int) asc"),
                QStringLiteral("STATUS"), QStringLiteral("kDESCRIPTION"), m_term, {});
}

bool LookupLists::SetCmbCampaignCombo()
{
    return fill(m_db,
                QStringLiteral("select CampaignID,CampaignName from  tb_campaign where tDel = 'N' "
                               "ORDER BY CAST(CampaignID AS int) asc"),
                QStringLiteral("CampaignID"), QStringLiteral("CampaignName"), m_campaign,
                {{QStringLiteral("전체"), 999}});
}

QStringList LookupLists::SetCmbSearchCondition()
{
    return {QStringLiteral("고객성명"), QStringLiteral("주민번호"), QStringLiteral("전화번호1"),
            QStringLiteral("전화번호2")};
}
