#include "ProgramFolderFixture.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

ProgramFolderFixture::ProgramFolderFixture(const DemoOptions& options)
    : errors(dir.path(), messages), db(session, errors, messages)
{
    session.programFolder = dir.path();
    m_valid = dir.isValid() && DemoFolder::create(dir.path(), options, &m_error);
}

QString ProgramFolderFixture::path(const QString& relative) const
{
    return relative.isEmpty() ? dir.path() : QDir(dir.path()).filePath(relative);
}

void ProgramFolderFixture::loginAs(const QString& agentId)
{
    const QStringList branch = rows(
        QString::fromLatin1(DemoFolder::kDirectoryDb),
        QStringLiteral("SELECT BranchName, BranchIP, DBName, FtpIP, FtpUser, FtpPwd, FtpPortNo, "
                       "LandCode, LineAreaCd, LineLongCd FROM TB_BRANCH WHERE BranchID = '0001'"));
    const QStringList b = branch.value(0).split(u'|');
    session.CfgDBIp = QStringLiteral("sqlite:") + QLatin1String(DemoFolder::kDirectoryDb);
    session.CfgDBUser = session.BranchDBUser = QStringLiteral("brenvo");
    session.CfgDBPass = session.BranchDBPass = QStringLiteral("brenvo");
    session.CfgDBPort = session.BranchDBPort = QStringLiteral("1433");
    session.BranchID = QStringLiteral("0001");
    session.BranchName = b.value(0);
    session.BranchIP = b.value(1);
    session.BranchDBName = b.value(2);
    session.FtpIP = b.value(3);
    session.FtpUser = b.value(4);
    session.FtpPwd = b.value(5);
    session.FtpPortNo = b.value(6);
    session.LandCode = b.value(7);
    session.LineAreaCd = b.value(8);
    session.LineLongCd = b.value(9);
    const QStringList agent =
        rows(QString::fromLatin1(DemoFolder::kBranchDb),
             QStringLiteral("SELECT TeamID, UserName, Agent_Privilege, Agent_Local_PhoneNO FROM "
                            "AgentLogin WHERE AgentID = '%1'")
                 .arg(agentId));
    const QStringList a = agent.value(0).split(u'|');
    session.AgentID = agentId;
    session.TeamID = a.value(0);
    session.UserName = a.value(1);
    session.AgentPrivilege = a.value(2);
    session.AgentLocalPhoneNO = a.value(3);
}

QStringList ProgramFolderFixture::rows(const QString& databaseFile, const QString& sql) const
{
    const QString name = QUuid::createUuid().toString();
    QStringList out;
    {
        QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        sqlite.setDatabaseName(path(databaseFile));
        if (sqlite.open()) {
            QSqlQuery q(sqlite);
            if (!q.exec(sql))
                out << QStringLiteral("SQL ERROR: ") + q.lastError().text();
            while (q.next()) {
                QStringList row;
                for (int i = 0; i < q.record().count(); ++i)
                    row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
                out << row.join(u'|');
            }
        }
        sqlite.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

bool ProgramFolderFixture::exec(const QString& databaseFile, const QString& sql) const
{
    const QString name = QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        sqlite.setDatabaseName(path(databaseFile));
        if (sqlite.open()) {
            QSqlQuery q(sqlite);
            ok = q.exec(sql);
        }
        sqlite.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool ProgramFolderFixture::fragment(const QString& localFile, int keep) const
{
    return exec(localFile, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                          "FROM n WHERE i < 2000) INSERT INTO recfile (R_Path, "
                                          "tMemo) SELECT i, printf('%.300c', 'x') FROM n")) &&
           exec(localFile, QStringLiteral("DELETE FROM recfile WHERE ID > %1").arg(keep));
}
