#include "TestCertificates.h"

#include <QProcess>

TestCertificates::TestCertificates()
{
    QProcess make;
    make.setProcessChannelMode(QProcess::ForwardedChannels);
    make.start(QStringLiteral("/bin/sh"), {QStringLiteral(BRENVO_CERTS_SCRIPT), m_dir.path()});
    m_valid = m_dir.isValid() && make.waitForFinished(30000) &&
              make.exitStatus() == QProcess::NormalExit && make.exitCode() == 0;
}
