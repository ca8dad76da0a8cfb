#include "foundation/FtpLogin.h"

#include "foundation/Session.h"

FtpLogin FtpLogin::of(const Session& session)
{
    const int stall = session.CfgFtpStallSeconds.trimmed().toInt();
    return {session.FtpIP,
            session.FtpUser,
            session.FtpPwd,
            session.FtpPortNo.trimmed().toInt(),
            FtpCientOCX::Tls::fromSettings(session.CfgFtpTls, session.CfgFtpCaFile,
                                           session.programFolder),
            stall >= 1 ? stall : kDefaultStallSeconds};
}

bool FtpLogin::connect(FtpCientOCX& ftp) const
{
    ftp.setTls(tls);
    ftp.setStallTimeout(stallSeconds);
    return ftp.FtpConnect(host, user, password, port);
}
