#include "foundation/FtpLogin.h"

#include "foundation/Session.h"

FtpLogin FtpLogin::of(const Session& session)
{
    return {session.FtpIP, session.FtpUser, session.FtpPwd, session.FtpPortNo.trimmed().toInt(),
            FtpCientOCX::Tls::fromSettings(session.CfgFtpTls, session.CfgFtpCaFile,
                                           session.programFolder)};
}

bool FtpLogin::connect(FtpCientOCX& ftp) const
{
    ftp.setTls(tls);
    return ftp.FtpConnect(host, user, password, port);
}
