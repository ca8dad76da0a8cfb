#include "customers/WorkLists.h"

#include <array>

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "platform/SqlDialect.h"

using SqlDialect::quoted;

namespace {

struct Column
{
    const char* header; // "" for a column without a caption
    // The local record file's name first; the central table spells a few
    // differently and has no full local path at all.
    std::array<const char*, 2> fields;
    double width; // character units, 0 for the grid's default
    bool shown;
};

const std::array<Column, 28> kNotTransferColumns{{
    {"", {"ID", nullptr}, 8.0, false},
    {"", {"BranchID", nullptr}, 0, false},
    {"", {"BranchName", nullptr}, 0, false},
    {"", {"TeamID", nullptr}, 0, false},
    {"", {"AgentID", nullptr}, 0, false},
    {"고객성명", {"Name", nullptr}, 7.0, true},
    {"주민번호", {"JuminNo", nullptr}, 9.62, true},
    {"", {"DataType", nullptr}, 0, false},
    {"", {"CampaignID", nullptr}, 0, false},
    {"통화일자", {"RegDate", nullptr}, 7.37, true},
    {"", {"PolicyNo", "Policy_No"}, 0, false},
    {"", {"Listen_ID", nullptr}, 0, false},
    {"", {"Listen_Result", nullptr}, 0, false},
    {"", {"Listen_Date", "Liesten_Date"}, 0, false},
    {"전화번호", {"R_Tel", nullptr}, 9.12, true},
    {"유형", {"RecBound", nullptr}, 4.37, true},
    {"통화결과", {"Status", nullptr}, 0, true},
    {"통화일자", {"R_Date", nullptr}, 7.25, true},
    {"시작시각", {"R_StartTime", nullptr}, 6.75, true},
    {"종료시각", {"R_EndTime", nullptr}, 7.25, true},
    {"통화시간", {"R_Time", nullptr}, 0, true},
    {"폴더이름", {"FolderName", nullptr}, 0, true},
    {"파일이름", {"R_Path", nullptr}, 15.87, false},
    {"", {"CustID", nullptr}, 0, false},
    {"", {"FreeInsu", nullptr}, 0, false},
    {"전송", {"UploadStatus", nullptr}, 4.12, true},
    {"통화메모", {"tMemo", "Memo"}, 25.5, true},
    {"", {"FileFullPath", nullptr}, 0, false},
}};

// The first of the column's names that the result carries; '' when none.
int fieldIndex(const Recordset& rs, const Column& column)
{
    for (const char* name : column.fields) {
        if (name && rs.hasField(QLatin1String(name)))
            return rs.fieldIndex(QLatin1String(name));
    }
    return -1;
}

} // namespace

WorkLists::WorkLists(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

void WorkLists::SetSprCampaign()
{
    m_campaign.setMaxRows(0);
    const char* headers[] = {"캠페인", "캠페인명", "잔여DB개수"};
    const double widths[] = {8.0, 8.62, 14.62};
    for (int col = 1; col <= 3; ++col) {
        m_campaign.setHeader(col, QString::fromUtf8(headers[col - 1]));
        m_campaign.setColumnWidth(col, widths[col - 1]);
    }
    m_campaign.showOnly({1, 2, 3});
}

void WorkLists::SetSprNotTransfer()
{
    m_notTransfer.setMaxRows(0);
    QList<int> shown;
    for (int col = 1; col <= 28; ++col) {
        const Column& c = kNotTransferColumns[col - 1];
        m_notTransfer.setHeader(col, QString::fromUtf8(c.header));
        m_notTransfer.setColumnWidth(col, c.width);
        if (c.shown)
            shown << col;
    }
    m_notTransfer.showOnly(shown);
}

QString WorkLists::campaignStatement(const QString& agentId)
{
    return QStringLiteral(" SELECT a.campaignid,b.campaignName,count(id) as count  FROM gogakinfo "
                          "a, tb_campaign b  Where a.campaignid = b.campaignid and a.Status = '0' "
                          " and a.AgentID = '") +
           quoted(agentId) + QStringLiteral("' group by a.campaignid,b.campaignName");
}

void WorkLists::GetCampaignDataCnt()
{
    m_db.read(
        Database::Slot::Main, campaignStatement(m_db.session().AgentID), this,
        QStringLiteral("frmMain"), QStringLiteral("GetCampaignDataCnt"),
        [this](const Recordset* rs) {
            if (!rs)
                return;
            const int id = rs->fieldIndex(QStringLiteral("campaignid")),
                      name = rs->fieldIndex(QStringLiteral("campaignName")),
                      count = rs->fieldIndex(QStringLiteral("count"));
            QVector<QVector<QString>> rows;
            for (int r = 0; r < rs->recordCount(); ++r)
                rows.append({Database::GetFieldValue(rs->value(r, id)),
                             Database::GetFieldValue(rs->value(r, name)),
                             Database::GetFieldValue(rs->value(r, count))});
            m_campaign.setMaxRows(0);
            m_campaign.setRows(std::move(rows));
        },
        Database::Closing::IfOpenedHere);
}

QString WorkLists::notTransferStatement(const QString& agentId, const QString& branchId,
                                        const QString& teamId)
{
    return QStringLiteral("select * from recfile where Status = '0' and AgentID ='") +
           quoted(agentId) + QStringLiteral("' and BranchID ='") + quoted(branchId) +
           QStringLiteral("' and TeamID ='") + quoted(teamId) + u'\'';
}

void WorkLists::GetNotTransferList()
{
    const Session& s = m_db.session();
    const QString sql = notTransferStatement(s.AgentID, s.BranchID, s.TeamID);
    m_notTransfer.setMaxRows(0);
    m_db.read(Database::Slot::Main, sql, this, QStringLiteral("Frm100000"),
              QStringLiteral("GetCustinfo"), [this, sql](const Recordset* rs) {
                  if (rs)
                      fillNotTransfer(*rs, sql);
              });
}

void WorkLists::fillNotTransfer(const Recordset& rs, const QString& sql)
{
    m_notTransfer.setMaxRows(0);
    // A list holds at most kMaxRows rows; a larger result writes none.
    if (rs.recordCount() > SpreadModel::kMaxRows) {
        m_db.errors().WriteErrorLog(QStringLiteral("Overflow"), QStringLiteral("Frm100000"),
                                    QStringLiteral("GetCustinfo"), sql);
        return;
    }
    std::array<int, 28> index;
    for (int col = 0; col < 28; ++col)
        index[col] = fieldIndex(rs, kNotTransferColumns[col]);
    QVector<QVector<QString>> rows(rs.recordCount());
    for (int r = 0; r < rs.recordCount(); ++r) {
        rows[r].resize(28);
        for (int col = 0; col < 28; ++col) {
            if (index[col] >= 0)
                rows[r][col] = Database::GetFieldValue(rs.value(r, index[col]));
        }
    }
    m_notTransfer.setRows(std::move(rows));
}
