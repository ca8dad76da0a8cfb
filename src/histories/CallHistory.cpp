#include "histories/CallHistory.h"

#include "customers/CustomerSearch.h"
#include "customers/LookupLists.h"
#include "foundation/Database.h"
#include "foundation/Session.h"
#include "platform/SqlDialect.h"

CallHistory::CallHistory(Session& session, Database& db, const LookupLists& lookups,
                         CustomerSearch& search, QObject* parent)
    : QObject(parent), m_session(session), m_db(db), m_lookups(lookups), m_search(search)
{
}

const QList<HistoryGrid::Column>& CallHistory::columns()
{
    static const QList<HistoryGrid::Column> columns = {
        {"고객성명", "Name", 8.0, true},
        {"주민번호", "JuminNo", 10.25, true},
        {"통화결과", "Status", 7.12, true, true},
        {"전화번호1", "MobileNumber", 9.0, true},
        {"전화번호2", "OfficeNumber", 9.12, true},
        {"우편번호", "OfficePost", 6.87, true},
        {"주소1", "OfficeAddress1", 16.0, true},
        {"주소2", "OfficeAddress2", 24.37, true},
        {"", "HomePost", 24.37, false},
        {"", "HomeAddress1", 24.37, false},
        {"", "HomeAddress2", 8.0, false},
        {"", "blank1", 8.0, false},
        {"", "blank2", 8.0, false},
        {"", "blank3", 8.0, false},
        {"", "blank4", 8.0, false},
        {"", "blank5", 8.0, false},
        {"", "blank6", 0, false},
        {"", "ID", 0, false},
    };
    return columns;
}

void CallHistory::SetSprCallHist()
{
    HistoryGrid::setUp(m_grid, columns());
    m_grid.setMaxRows(0);
}

void CallHistory::GetRecHist2(const QString& startDate, const QString& endDate,
                              const QString& status, const QString& agent, const QString& field,
                              const QString& text, const QString& teamId)
{
    const QString all = QStringLiteral("99");
    QString sql =
        QStringLiteral(
            " select ID,Name,JuminNo,Status,MobileNumber,OfficeNumber,OfficePost,OfficeAddress1,"
            "OfficeAddress2,HomePost,HomeAddress1,HomeAddress2,blank1,blank2,blank3,blank4,blank5,"
            "blank6") +
        QStringLiteral(" from gogakinfo") + QStringLiteral(" where TeamID ='") +
        SqlDialect::quoted(teamId) + u'\'' + QStringLiteral(" and RegDate between '") +
        SqlDialect::quoted(startDate) + QStringLiteral("' and '") + SqlDialect::quoted(endDate) +
        u'\'';
    if (agent != all) {
        // A reception agent hands customers on; AgentID_1 keeps who had them first.
        const QString column = m_session.isReception() ? QStringLiteral(" and AgentID_1 ='")
                                                       : QStringLiteral(" and AgentID ='");
        sql += column + SqlDialect::quoted(agent) + u'\'';
    }
    if (status != all)
        sql += QStringLiteral(" and Status ='") + SqlDialect::quoted(status) + u'\'';
    sql += HistoryGrid::searchCondition(field, text);
    sql += QStringLiteral(" and Status <>'0'");

    HistoryGrid::load(this, m_grid, m_db, Database::Slot::Main, sql, columns(), m_lookups.cmbTerm(),
                      QStringLiteral("GetRecHist2"));
}

void CallHistory::SprCallHist_Click(int, int row)
{
    const QString custId = m_grid.text(colID, row);
    if (!custId.trimmed().isEmpty())
        m_search.GetCustinfoByID(custId);
}
