#pragma once

#include <QString>

// The values of one run that the login fills and everything after it reads.
// Owned by the application and passed by reference; each test builds its own.
struct Session
{
    QString programFolder;

    // Settings file, section "Database", read again at every login attempt.
    QString CfgDBIp, CfgDBUser, CfgDBPass, CfgDBName, CfgDBPort;
    // Its "Encrypt" and "CaFile": TLS to both SQL Servers.
    QString CfgDBEncrypt, CfgDBCaFile;
    static constexpr int kDefaultQueryTimeout = 15;
    int CfgDBQueryTimeout = kDefaultQueryTimeout; // seconds a statement may take
    // Section "Branch", "FtpTls" and "FtpCaFile": TLS to the FTP server, read
    // at every login attempt too; "FtpStallSeconds": how long a transfer may
    // move nothing before it fails.
    QString CfgFtpTls, CfgFtpCaFile, CfgFtpStallSeconds;

    QString BranchID, AgentID;

    // From the branch's TB_BRANCH row.
    QString BranchName, BranchIP, BranchDBUser, BranchDBPass, BranchDBPort, BranchDBName;
    QString FtpIP, FtpUser, FtpPwd, FtpPortNo, FlashTime;
    QString LandCode, LineAreaCd, LineLongCd;

    // From the agent's AgentLogin row.
    QString TeamID, UserName, AgentPrivilege, AgentLocalPhoneNO;

    // Privilege "11": a reception agent, who neither dials nor registers and
    // whose saved results hand the customer on.
    bool isReception() const { return AgentPrivilege == QStringLiteral("11"); }

    QString LoginTime;

    // Set as the program starts to quit (the tray's Exit, the session's end):
    // from then on no handler that resumes after a wait writes anything, so
    // the quit's logout stays the agent's last state.
    bool ending = false;
};
