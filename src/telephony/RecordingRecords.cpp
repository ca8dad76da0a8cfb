#include "telephony/RecordingRecords.h"

#include <QStringList>

#include "foundation/Database.h"
#include "foundation/HostUtils.h"
#include "platform/SqlDialect.h"

using SqlDialect::quoted;

const QString RecordingRecords::kResultMissing =
    QStringLiteral("isnull(Status, '0') in ('0', '') and isnull(RecBound, '') in ('I', 'O')");

namespace {

QString insertStatement(const RecRow& r, bool local)
{
    QString sql = QStringLiteral(
        " insert into recfile(BranchID,BranchName,TeamID,AgentID,Name,JuminNo,DataType,"
        "CampaignID,RegDate,R_Tel,RecBound,R_Date,R_StartTime,FolderName,R_Path,CustID");
    QStringList values{r.BranchID,    r.BranchName,
                       r.TeamID,      r.AgentID,
                       r.Name,        r.JuminNo,
                       r.DataType,    r.CampaignID,
                       r.RegDate,     local ? HostUtils::PhoneDigits(r.R_Tel) : r.R_Tel,
                       r.RecBound,    r.R_Date,
                       r.R_StartTime, r.FolderName,
                       r.R_Path,      r.CustID};
    if (local) {
        sql += QStringLiteral(",FileFullPath");
        values << r.FileFullPath;
    }
    for (QString& v : values)
        v = quoted(v);
    return sql + QStringLiteral(") values ('") + values.join(QStringLiteral("','")) +
           QStringLiteral("')");
}

QString wherePath(const QString& rPath)
{
    return QStringLiteral("  where R_Path = '") + quoted(rPath) + QStringLiteral("' ");
}

QString statement(const QString& mode, const RecRow& r, bool local)
{
    if (mode == QStringLiteral("startCall"))
        return insertStatement(r, local);
    if (mode == QStringLiteral("stopCall"))
        return QStringLiteral(" Update recfile Set  R_Endtime = '") + quoted(r.R_Endtime) +
               QStringLiteral("' ,R_Time = '") + quoted(r.R_Time) + u'\'' + wherePath(r.R_Path);
    if (mode == QStringLiteral("beforeFtpUpload"))
        return QStringLiteral(" Update recfile Set  Status = '") + quoted(r.Status) + u'\'' +
               (local ? QStringLiteral(",tMemo = '") : QStringLiteral(",Memo = '")) +
               quoted(r.memo) + u'\'' + wherePath(r.R_Path);
    if (mode == QStringLiteral("customerKnown"))
        return QStringLiteral(" Update recfile Set CustID = '") + quoted(r.CustID) +
               QStringLiteral("',CampaignID = '") + quoted(r.CampaignID) +
               QStringLiteral("',DataType = '") + quoted(r.DataType) + u'\'' + wherePath(r.R_Path);
    if (mode == QStringLiteral("afterFtpUpload"))
        return QStringLiteral(" Update recfile Set UploadStatus = '1'") + wherePath(r.R_Path);
    if (mode == QStringLiteral("Inbound") && local)
        return QStringLiteral(" Update recfile SET Name = '") + quoted(r.Name) +
               QStringLiteral("',JuminNo = '") + quoted(HostUtils::PhoneDigits(r.JuminNo)) +
               QStringLiteral("',R_Tel ='") + quoted(HostUtils::PhoneDigits(r.R_Tel)) +
               QStringLiteral("' where r_Path = '") + quoted(r.R_Path) + u'\'';
    return QString();
}

} // namespace

RecordingRecords::RecordingRecords(Database& db) : m_db(db) {}

QString RecordingRecords::localStatement(const QString& mode, const RecRow& row)
{
    return statement(mode, row, true);
}

QString RecordingRecords::centralStatement(const QString& mode, const RecRow& row)
{
    return statement(mode, row, false);
}

bool RecordingRecords::AddToLocalDB(const QString& mode, const RecRow& row)
{
    const QString sql = localStatement(mode, row);
    if (sql.isEmpty())
        return false;
    Database::Use use(m_db, Database::Slot::Local);
    return m_db.execute(Database::Slot::Local, sql, QStringLiteral("Frm100000"),
                        QStringLiteral("AddToLocalDB"));
}

bool RecordingRecords::AddToSQL(const QString& mode, const RecRow& row)
{
    const QString sql = centralStatement(mode, row);
    return !sql.isEmpty() &&
           m_db.journal().write(sql, QStringLiteral("Frm100000"), QStringLiteral("AddToSQL"));
}

void RecordingRecords::addToBoth(const QString& mode, const RecRow& row)
{
    AddToLocalDB(mode, row);
    AddToSQL(mode, row);
}

QList<RecRow> RecordingRecords::unsaved(const QString& branchId, const QString& agentId)
{
    QList<RecRow> rows;
    Database::Use use(m_db, Database::Slot::Local);
    Recordset rs;
    if (!m_db.query(Database::Slot::Local,
                    QStringLiteral(" Select * from recfile where BranchID = '") + quoted(branchId) +
                        QStringLiteral("' and AgentID = '") + quoted(agentId) +
                        QStringLiteral("' and ") + kResultMissing +
                        QStringLiteral(" and UploadStatus <> '1' order by R_Date, R_StartTime"),
                    &rs, QStringLiteral("Frm100000"), QStringLiteral("unsaved")))
        return rows;
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
        const auto f = [&rs](const char* name) { return Database::field(rs, name); };
        RecRow row;
        row.R_Path = f("R_Path");
        row.FileFullPath = f("FileFullPath");
        row.RecBound = f("RecBound");
        row.R_Date = f("R_Date");
        row.R_StartTime = f("R_StartTime");
        row.R_Time = f("R_Time");
        row.R_Tel = f("R_Tel");
        row.CustID = f("CustID");
        rows << row;
    }
    if (rows.isEmpty())
        return rows;
    // A result saved while the local file could not be written is in the
    // central row: copied back, so the call is not asked for twice.
    QStringList names;
    for (const RecRow& row : std::as_const(rows))
        names << row.R_Path;
    Database::Use central(m_db, Database::Slot::Main);
    Recordset saved;
    if (!central.connected() ||
        !m_db.query(Database::Slot::Main,
                    QStringLiteral(" Select R_Path, Status, Memo from recfile where R_Path in (") +
                        SqlDialect::quotedList(names) + QStringLiteral(") and not (") +
                        kResultMissing + u')',
                    &saved, QStringLiteral("Frm100000"), QStringLiteral("unsaved")))
        return rows;
    for (saved.moveFirst(); !saved.isEof(); saved.moveNext()) {
        RecRow row;
        row.R_Path = Database::field(saved, "R_Path");
        row.Status = Database::field(saved, "Status");
        row.memo = Database::field(saved, "Memo");
        if (AddToLocalDB(QStringLiteral("beforeFtpUpload"), row))
            rows.removeIf([&row](const RecRow& r) { return r.R_Path == row.R_Path; });
    }
    return rows;
}

bool RecordingRecords::setCustomerNumbers(const QString& rPath, const QString& mobile,
                                          const QString& office)
{
    return m_db.journal().write(QStringLiteral(" Update recfile SET MobileNumber = '") +
                                    quoted(mobile) + QStringLiteral("',OfficeNumber = '") +
                                    quoted(office) + u'\'' + wherePath(rPath),
                                QStringLiteral("Frm100000"), QStringLiteral("AddToSQL"));
}
