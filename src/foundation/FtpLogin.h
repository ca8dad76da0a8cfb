#pragma once

#include <QString>

#include "platform/FtpCientOCX.h"

struct Session;

// The branch's FTP server as the login found it: the TB_BRANCH row's
// address and account, and the settings' TLS. A copy goes into each FTP job,
// which runs on the control's own thread.
struct FtpLogin
{
    QString host, user, password;
    int port = 0;
    FtpCientOCX::Tls tls;
    // [Branch] FtpStallSeconds; 20 when missing, not a number or below 1.
    int stallSeconds = kDefaultStallSeconds;
    static constexpr int kDefaultStallSeconds = 20;

    static FtpLogin of(const Session& session);
    // FtpConnect under this TLS and stall limit; true when logged in.
    bool connect(FtpCientOCX& ftp) const;
};
