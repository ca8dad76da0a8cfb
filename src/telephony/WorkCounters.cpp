#include "telephony/WorkCounters.h"

#include "foundation/Database.h"
#include "platform/SqlDialect.h"

using SqlDialect::quoted;

WorkCounters::WorkCounters(Database& db) : m_db(db) {}

void WorkCounters::AddToMYSQL4(const QString& strBranchid, const QString& strTeamID,
                               const QString& strAgentID, const QString& tMonth,
                               const QString& tDate, const QString& strStatus,
                               const QString& strDuration, const QString& strRecbound)
{
    const QString location = QStringLiteral("Frm100000"), function = QStringLiteral("AddToMYSQL4");
    // Each count goes through the journal once: an update that becomes the
    // month's or the day's first row when it finds none. Applied on the
    // server in one transaction with the journal's mark, so neither two
    // agents' first calls nor a write sent again count twice.
    const QChar otherwise = CentralLink::kOtherwise;
    m_db.journal().write(
        QStringLiteral(" Update tb_branchworkcount SET workcount = workcount + 1,tdate = '") +
            quoted(tDate) + QStringLiteral("' where BranchId = '") + quoted(strBranchid) +
            QStringLiteral("' and tMonth = '") + quoted(tMonth) + u'\'' + otherwise +
            QStringLiteral(
                " insert into tb_branchworkcount(BranchID,tMonth,tDate,WorkCount) values ('") +
            quoted(strBranchid) + QStringLiteral("','") + quoted(tMonth) + QStringLiteral("','") +
            quoted(tDate) + QStringLiteral("', 1)"),
        location, function, true);
    // Duration and direction stand unquoted: they are numbers the program
    // computed, never typed text.
    m_db.journal().write(
        QStringLiteral(" Update tb_agentcallstatistics SET RecCnt = RecCnt + 1,RecDuration = "
                       "RecDuration + ") +
            strDuration + QStringLiteral(" where BranchID = '") + quoted(strBranchid) +
            QStringLiteral("' and TeamID = '") + quoted(strTeamID) +
            QStringLiteral("' and AgentID = '") + quoted(strAgentID) +
            QStringLiteral("' and RecDate = '") + quoted(tDate) +
            QStringLiteral("' and Status = '") + quoted(strStatus) +
            QStringLiteral("' and RecBound = ") + strRecbound + otherwise +
            QStringLiteral(" insert into tb_agentcallstatistics(BranchID,TeamID,AgentID,RecDate,"
                           "Status,RecCnt,RecDuration,Recbound) values ('") +
            quoted(strBranchid) + QStringLiteral("','") + quoted(strTeamID) +
            QStringLiteral("','") + quoted(strAgentID) + QStringLiteral("','") + quoted(tDate) +
            QStringLiteral("','") + quoted(strStatus) + QStringLiteral("','1','") +
            quoted(strDuration) + QStringLiteral("','") + quoted(strRecbound) +
            QStringLiteral("')"),
        location, function, true);
}
