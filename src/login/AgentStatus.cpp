#include "login/AgentStatus.h"

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/HostUtils.h"
#include "foundation/Session.h"
#include "platform/SqlDialect.h"

using SqlDialect::quoted;

AgentStatus::AgentStatus(Database& db, MessageSink& messages) : m_db(db), m_messages(messages) {}

bool AgentStatus::SetLoginANDStatus(const QString& login, const QString& status)
{
    const Session& s = m_db.session();
    const QString sql = QStringLiteral("Update AgentLogin SET") + QStringLiteral(" Login = '") +
                        quoted(login) + u'\'' + QStringLiteral(",Status = '") + quoted(status) +
                        u'\'' + QStringLiteral(",AgentIP = '") +
                        quoted(HostUtils::GetLocalIP(m_messages)) + u'\'' +
                        QStringLiteral(" where AgentID = '") + quoted(s.AgentID) + u'\'' +
                        QStringLiteral(" and TeamID = '") + quoted(s.TeamID) + u'\'' +
                        QStringLiteral(" and BranchID = '") + quoted(s.BranchID) + u'\'';
    // Through the journal: a status kept through an outage still goes before
    // the next login's.
    return m_db.journal().write(sql, QStringLiteral("MUserFuncNProc"),
                                QStringLiteral("SetLoginANDStatus"));
}

QString AgentStatus::statisticsLine(qint64 inbound, qint64 outbound, double inboundSeconds,
                                    double outboundSeconds)
{
    return QStringLiteral("금일: ") + QString::number(inbound + outbound) +
           QStringLiteral(" (인: ") + QString::number(inbound) + QStringLiteral(" , 아웃: ") +
           QString::number(outbound) + QStringLiteral(")  통화시간: ") +
           HostUtils::FormatDuration(inboundSeconds + outboundSeconds);
}

void AgentStatus::GetAgentStatistics(QObject* context, const Line& done)
{
    const Session& s = m_db.session();
    const QString today = m_db.GetNowDate().left(10);
    const QString sql =
        QStringLiteral(" select RecBound,sum(RecCnt) as RecCnt ,sum(RecDuration) as RecDuration") +
        QStringLiteral(" from TB_AGENTCALLSTATISTICS") + QStringLiteral(" where BRANCHID = '") +
        quoted(s.BranchID) + u'\'' + QStringLiteral(" and TEAMID = '") + quoted(s.TeamID) + u'\'' +
        QStringLiteral(" and AGENTID = '") + quoted(s.AgentID) + u'\'' +
        QStringLiteral(" and RecDate = '") + quoted(today) + u'\'' +
        QStringLiteral(" Group By RecBound");
    m_db.read(
        Database::Slot::Main, sql, context, QStringLiteral("Frm100000"),
        QStringLiteral("GetAgentStatistics"),
        [this, sql, done](const Recordset* rs) { done(rs ? statistics(*rs, sql) : QString()); },
        Database::Closing::IfOpenedHere);
}

QString AgentStatus::statistics(Recordset rs, const QString& sql)
{
    // Counters are taken over as text and made numbers only where added; a
    // Null or a non-number is a failure of the whole line.
    QString inbound = QStringLiteral("0"), outbound = QStringLiteral("0");
    QString inboundSeconds = QStringLiteral("0"), outboundSeconds = QStringLiteral("0");
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
        const QVariant bound = rs.value(QStringLiteral("RecBound"));
        const QVariant count = rs.value(QStringLiteral("RecCnt"));
        const QVariant seconds = rs.value(QStringLiteral("RecDuration"));
        if (bound.isNull() || count.isNull() || seconds.isNull()) {
            m_db.errors().WriteErrorLog(QStringLiteral("Invalid use of Null"),
                                        QStringLiteral("Frm100000"),
                                        QStringLiteral("GetAgentStatistics"), sql);
            return QString();
        }
        if (bound.toString().trimmed() == QStringLiteral("1")) {
            outbound = count.toString();
            outboundSeconds = seconds.toString();
        } else {
            inbound = count.toString();
            inboundSeconds = seconds.toString();
        }
    }
    bool ok[4];
    const qint64 in = inbound.trimmed().toLongLong(&ok[0]);
    const qint64 out = outbound.trimmed().toLongLong(&ok[1]);
    const double inSec = inboundSeconds.trimmed().toDouble(&ok[2]);
    const double outSec = outboundSeconds.trimmed().toDouble(&ok[3]);
    if (!(ok[0] && ok[1] && ok[2] && ok[3])) {
        m_db.errors().WriteErrorLog(QStringLiteral("Type mismatch"), QStringLiteral("Frm100000"),
                                    QStringLiteral("GetAgentStatistics"), sql);
        return QString();
    }
    return statisticsLine(in, out, inSec, outSec);
}

void AgentStatus::windowTitle(QObject* context, const Line& done)
{
    const Session& s = m_db.session();
    const QString head = QStringLiteral("Brenvo-") + s.UserName + QStringLiteral("-(") + s.AgentID +
                         QStringLiteral(")-");
    GetAgentStatistics(context, [head, done](const QString& line) { done(head + line); });
}
