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
    const auto slot = Database::Slot::Main;
    Database::Use use(m_db, slot);

    // Agents of a branch count into the same rows at the same moment: each
    // read-then-write pair runs as one transaction, so two first calls of a
    // month cannot both insert and no increment is lost. A failure rolls the
    // pair back; the other pair is not touched, as before.
    const bool counted = m_db.inTransaction(location, function, [&] {
        Recordset rs;
        const QString select =
            QStringLiteral(" select workcount,tdate from tb_branchworkcount  where branchid = '") +
            quoted(strBranchid) + QStringLiteral("' and tmonth = '") + quoted(tMonth) + u'\'';
        if (!m_db.query(slot, select, &rs, location, function))
            return false;
        const QString branch =
            rs.recordCount() > 0
                ? QStringLiteral(
                      " Update tb_branchworkcount SET workcount = workcount + 1,tdate = '") +
                      quoted(tDate) + QStringLiteral("' where BranchId = '") + quoted(strBranchid) +
                      QStringLiteral("' and tMonth = '") + quoted(tMonth) + u'\''
                : QStringLiteral(" insert into tb_branchworkcount(BranchID,tMonth,tDate,WorkCount) "
                                 "values ('") +
                      quoted(strBranchid) + QStringLiteral("','") + quoted(tMonth) +
                      QStringLiteral("','") + quoted(tDate) + QStringLiteral("', 1)");
        return m_db.execute(slot, branch, location, function);
    });
    if (!counted)
        return;

    m_db.inTransaction(location, function, [&] {
        // Duration and direction stand unquoted: they are numbers the program
        // computed, never typed text.
        int changed = 0;
        const QString update = QStringLiteral(" Update tb_agentcallstatistics SET RecCnt = RecCnt "
                                              "+ 1,RecDuration = RecDuration + ") +
                               strDuration + QStringLiteral(" where BranchID = '") +
                               quoted(strBranchid) + QStringLiteral("' and TeamID = '") +
                               quoted(strTeamID) + QStringLiteral("' and AgentID = '") +
                               quoted(strAgentID) + QStringLiteral("' and RecDate = '") +
                               quoted(tDate) + QStringLiteral("' and Status = '") +
                               quoted(strStatus) + QStringLiteral("' and RecBound = ") +
                               strRecbound;
        if (!m_db.execute(slot, update, location, function, &changed))
            return false;
        if (changed != 0)
            return true;
        return m_db.execute(
            slot,
            QStringLiteral(
                " insert into tb_agentcallstatistics(BranchID,TeamID,AgentID,RecDate,Status,"
                "RecCnt,RecDuration,Recbound) values ('") +
                quoted(strBranchid) + QStringLiteral("','") + quoted(strTeamID) +
                QStringLiteral("','") + quoted(strAgentID) + QStringLiteral("','") + quoted(tDate) +
                QStringLiteral("','") + quoted(strStatus) + QStringLiteral("','1','") +
                quoted(strDuration) + QStringLiteral("','") + quoted(strRecbound) +
                QStringLiteral("')"),
            location, function);
    });
}
