#include "histories/RecordingHistory.h"

#include "customers/CustomerSearch.h"
#include "customers/LookupLists.h"
#include "foundation/Database.h"
#include "foundation/Session.h"
#include "histories/LocalRecordings.h"
#include "platform/SqlDialect.h"

namespace {

const QString kSelect =
    QStringLiteral(" select "
                   "ID,BranchID,BranchName,TeamID,AgentID,Name,JuminNo,DataType,CampaignID,RegDate,"
                   "Policy_No,Listen_ID,"
                   "Listen_Result,Liesten_Date,R_Tel,RecBound,Status,R_Date,R_StartTime "
                   ",R_EndTime,R_Time,FolderName,R_Path,CustID,"
                   "FreeInsu ,UploadStatus,SendOff ,DvdBackup,RecfileCopy,Memo,Ins_Date");
const QString kFrom = QStringLiteral(" from recfile");
const QString kAll = QStringLiteral("99");

} // namespace

RecordingHistory::RecordingHistory(Session& session, Database& db, const LookupLists& lookups,
                                   CustomerSearch& search, LocalRecordings& playback,
                                   QObject* parent)
    : QObject(parent), m_session(session), m_db(db), m_lookups(lookups), m_search(search),
      m_playback(playback)
{
}

const QList<HistoryGrid::Column>& RecordingHistory::columns()
{
    static const QList<HistoryGrid::Column> columns = {
        {"ID", "ID", 5.75, false},
        {"상담원", "AgentID", 6.87, true},
        {"고객성명", "Name", 7.0, true},
        {"주민번호", "JuminNo", 6.87, false},
        {"캠페인", "CampaignID", 6.25, false},
        {"등록일", "RegDate", 6.75, false},
        {"전화번호", "R_Tel", 9.0, true},
        {"유형", "RecBound", 4.37, true},
        {"통화결과", "Status", 7.0, true, true},
        {"통화일자", "R_Date", 7.0, true},
        {"시작시각", "R_StartTime", 7.37, true},
        {"종료시각", "R_EndTime", 7.25, true},
        {"통화시간", "R_Time", 7.0, true},
        {"원격폴더", "FolderName", 7.0, true},
        {"파일이름", "R_Path", 45.1, true},
        {"전송", "UploadStatus", 5.12, true},
        {"메모", "Memo", 9.5, true},
        {"", "CustID", 0, false},
        {"", "Status", 0, false},
    };
    return columns;
}

void RecordingHistory::SetSprRecHist()
{
    HistoryGrid::setUp(m_grid, columns());
}

void RecordingHistory::GetRecHist(const QString& startDate, const QString& endDate,
                                  const QString& status, const QString& agent, const QString& field,
                                  const QString& text, const QString& teamId)
{
    QString sql = kSelect + kFrom + QStringLiteral(" where TeamID ='") +
                  SqlDialect::quoted(teamId) + u'\'' + QStringLiteral(" and RegDate between '") +
                  SqlDialect::quoted(startDate) + QStringLiteral("' and '") +
                  SqlDialect::quoted(endDate) + u'\'';
    if (agent != kAll)
        sql += QStringLiteral(" and AgentID ='") + SqlDialect::quoted(agent) + u'\'';
    if (status != kAll)
        sql += QStringLiteral(" and Status ='") + SqlDialect::quoted(status) + u'\'';
    sql += HistoryGrid::searchCondition(field, text);
    sql += QStringLiteral(" order by id desc");
    fill(sql);
}

void RecordingHistory::GetRecHistByID(const QString& custId)
{
    fill(kSelect + kFrom + QStringLiteral(" where custID ='") + SqlDialect::quoted(custId) + u'\'' +
         QStringLiteral(" order by ID desc"));
}

void RecordingHistory::fill(const QString& sql)
{
    // The memo belonged to a row of the old list.
    emit memoShown(QString());
    HistoryGrid::load(this, m_grid, m_db, Database::Slot::Main, sql, columns(), m_lookups.cmbTerm(),
                      QStringLiteral("GetRecHistByID"));
}

QList<ComboItem> RecordingHistory::SetCmbHistStatus(const QList<ComboItem>& cmbTerm)
{
    QList<ComboItem> items{{QStringLiteral("전체"), 99}};
    items += cmbTerm.mid(1);
    return items;
}

QList<AgentComboItem> RecordingHistory::SetCmbRecAgent()
{
    const QString sql = QStringLiteral(" select AgentID,UserName,tDEL") +
                        QStringLiteral(" from agentlogin") + QStringLiteral(" where tDEL = 'N'");
    QList<AgentComboItem> items;
    Database::Use use(m_db, Database::Slot::Main);
    Recordset records;
    if (!use.connected() ||
        !m_db.query(Database::Slot::Main, sql, &records, QStringLiteral("Frm100000"),
                    QStringLiteral("SetCmbRecAgent")) ||
        records.recordCount() == 0)
        return items;
    items.append({QStringLiteral("전체"), 99, kAll});
    for (records.moveFirst(); !records.isEof(); records.moveNext()) {
        const QString id = Database::GetFieldValue(records.value(QStringLiteral("AgentID")));
        bool numeric = false;
        const int value = id.toInt(&numeric);
        items.append({id + QStringLiteral(" | ") +
                          Database::GetFieldValue(records.value(QStringLiteral("UserName"))),
                      value, numeric ? QString::number(value) : id});
    }
    return items;
}

int RecordingHistory::findAgentIndex(const QList<AgentComboItem>& items, const QString& agentId)
{
    for (int i = 0; i < items.size(); ++i) {
        if (items.at(i).filter == agentId)
            return i;
    }
    return 0;
}

void RecordingHistory::SprRecHist_Click(int col, int row)
{
    if (row == 0) {
        m_grid.SortGridColumn(col);
        return;
    }
    emit memoShown(m_grid.text(colMemo, row));
    const QString custId = m_grid.text(colCustID, row);
    if (!custId.trimmed().isEmpty())
        m_search.GetCustinfoByID(custId);
}

void RecordingHistory::SprRecHist_DblClick(int, int row)
{
    if (row < 1)
        return;
    m_playback.PlayRemoteRecfile(m_grid.text(colFolderName, row), m_grid.text(colR_Path, row),
                                 m_grid.text(colStatus, row));
}
