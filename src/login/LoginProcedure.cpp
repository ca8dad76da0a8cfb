#include "login/LoginProcedure.h"

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "login/AgentStatus.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SqlDialect.h"

using SqlDialect::quoted;

namespace {

// Columns that are converted directly: a Null there fails the check.
bool readText(const Recordset& rs, const QString& column, QString* out)
{
    const QVariant value = rs.value(column);
    if (value.isNull())
        return false;
    *out = value.toString();
    return true;
}

} // namespace

LoginProcedure::LoginProcedure(Database& db, AgentStatus& status, MessageSink& messages)
    : m_db(db), m_status(status), m_messages(messages)
{
}

QString LoginProcedure::settingsFile() const
{
    return ProgramFolder::path(m_db.session().programFolder, QStringLiteral("\\Brenvo.ini"));
}

QString LoginProcedure::proposedBranch() const
{
    return IniFile::value(QStringLiteral("Branch"), QStringLiteral("BranchID"), QString(),
                          settingsFile());
}

LoginProcedure::Outcome LoginProcedure::attempt(const QString& branchText,
                                                const QString& loginIdText,
                                                const QString& passwordText)
{
    Session& s = m_db.session();
    m_db.forgetOutages();
    if (loginIdText.trimmed().isEmpty()) {
        m_messages.showMessage(QStringLiteral("아이디를 입력해 주시기 바랍니다"), QString(),
                               MessageIcon::None);
        return Outcome::IdMissing;
    }
    const QString ini = settingsFile();
    const auto setting = [&ini](const char* key, const char* section = "Database") {
        return IniFile::value(QLatin1String(section), QLatin1String(key), QString(), ini);
    };
    s.CfgDBIp = setting("DBIp");
    s.CfgDBUser = setting("DBUser");
    s.CfgDBPass = setting("DBPass");
    s.CfgDBName = setting("DBName");
    s.CfgDBPort = setting("DBPort");
    s.CfgDBEncrypt = setting("Encrypt");
    s.CfgDBCaFile = setting("CaFile");
    const int queryTimeout = setting("QueryTimeout").toInt();
    s.CfgDBQueryTimeout = queryTimeout > 0 ? queryTimeout : Session::kDefaultQueryTimeout;
    s.CfgFtpTls = setting("FtpTls", "Branch");
    s.CfgFtpCaFile = setting("FtpCaFile", "Branch");
    s.CfgFtpStallSeconds = setting("FtpStallSeconds", "Branch");

    s.BranchID = branchText.trimmed();
    s.AgentID = loginIdText.trimmed();
    const QString password = passwordText.trimmed();

    if (!CheckBranch(s.BranchID))
        return Outcome::BranchRefused;
    if (!LoginProcess(s.BranchID, s.AgentID, password))
        return Outcome::AgentRefused;

    m_status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("0"));
    s.LoginTime = m_db.GetNowDate();
    return Outcome::LoggedIn;
}

bool LoginProcedure::CheckBranch(const QString& branchId)
{
    Session& s = m_db.session();
    Database::Use connection(m_db, Database::Slot::Directory, Database::Closing::Always);
    const QString sql =
        QStringLiteral(" select BranchID,BranchName,BranchIP,DBName,FtpIP,FtpUser,FtpPwd,FtpPortNo,"
                       "LandCode,LineAreaCd,LineLongCd,FlashTime,TDel") +
        QStringLiteral(" from TB_BRANCH") + QStringLiteral(" where TDel = 'N' ") +
        QStringLiteral(" and BranchID = '") + quoted(branchId) + u'\'';
    Recordset rs;
    bool result = false;
    if (m_db.query(Database::Slot::Directory, sql, &rs, QStringLiteral("Login"),
                   QStringLiteral("CheckBranch"))) {
        if (rs.recordCount() >= 1) {
            rs.moveFirst();
            result = readText(rs, QStringLiteral("BranchName"), &s.BranchName) &&
                     readText(rs, QStringLiteral("BranchIP"), &s.BranchIP);
            if (result) {
                s.BranchDBUser = s.CfgDBUser;
                s.BranchDBPass = s.CfgDBPass;
                s.BranchDBPort = s.CfgDBPort;
            }
            result = result && readText(rs, QStringLiteral("DBName"), &s.BranchDBName) &&
                     readText(rs, QStringLiteral("FtpIP"), &s.FtpIP) &&
                     readText(rs, QStringLiteral("FtpUser"), &s.FtpUser) &&
                     readText(rs, QStringLiteral("FtpPwd"), &s.FtpPwd) &&
                     readText(rs, QStringLiteral("FtpPortNo"), &s.FtpPortNo) &&
                     readText(rs, QStringLiteral("FlashTime"), &s.FlashTime) &&
                     readText(rs, QStringLiteral("LineAreaCd"), &s.LineAreaCd) &&
                     readText(rs, QStringLiteral("LineLongCd"), &s.LineLongCd) &&
                     readText(rs, QStringLiteral("LandCode"), &s.LandCode);
            if (!result)
                m_db.errors().WriteErrorLog(QStringLiteral("Invalid use of Null"),
                                            QStringLiteral("Login"), QStringLiteral("CheckBranch"),
                                            sql);
        } else {
            m_messages.showMessage(QStringLiteral("대리점정보가 정확하지 않습니다"), QString(),
                                   MessageIcon::None);
        }
    }
    return result;
}

bool LoginProcedure::LoginProcess(const QString& branchId, const QString& agentId,
                                  const QString& password)
{
    Session& s = m_db.session();
    Database::Use connection(m_db, Database::Slot::Main, Database::Closing::Always);
    const QString sql =
        QStringLiteral(
            " select "
            "ID,BranchID,AgentID,Agent_Passwd,TeamID,UserName,Agent_Privilege,Agent_Local_PhoneNO,"
            "JuminNo,Status,Login,AgentIp,BeginDate,EndDate,Email,DorvaneModel,RecDataPeriod,"
            "tDel") +
        QStringLiteral(" from AgentLogin") + QStringLiteral(" where  BranchID='") +
        quoted(branchId) + u'\'' + QStringLiteral(" and  AgentID='") + quoted(agentId) + u'\'' +
        QStringLiteral(" and  Agent_Passwd='") + quoted(password) + u'\'' +
        QStringLiteral(" and tDel = 'N'");
    Recordset rs;
    bool result = false;
    if (m_db.query(Database::Slot::Main, sql, &rs, QStringLiteral("Login"),
                   QStringLiteral("LoginProcess"))) {
        const QString login = QStringLiteral("로그인에러");
        if (rs.recordCount() >= 1) {
            rs.moveFirst();
            const QVariant privilege = rs.value(QStringLiteral("Agent_Privilege"));
            const QString text = privilege.isNull() ? QString() : privilege.toString();
            if (!privilege.isNull() &&
                (text == QStringLiteral("11") || text == QStringLiteral("12"))) {
                result = readText(rs, QStringLiteral("TeamID"), &s.TeamID) &&
                         readText(rs, QStringLiteral("Agent_Local_PhoneNO"), &s.AgentLocalPhoneNO);
                if (result)
                    s.AgentPrivilege = text;
                result = result && readText(rs, QStringLiteral("UserName"), &s.UserName);
                if (!result)
                    m_db.errors().WriteErrorLog(QStringLiteral("Invalid use of Null"),
                                                QStringLiteral("Login"),
                                                QStringLiteral("LoginProcess"), sql);
            } else {
                m_messages.showMessage(QStringLiteral("상담권한이 없는 사용자입니다"), login,
                                       MessageIcon::Critical);
            }
        } else {
            m_messages.showMessage(QStringLiteral("사용자가 없거나 암호가 틀렸습니다"), login,
                                   MessageIcon::Critical);
        }
    }
    return result;
}
