#include "TestCertificates.h"

#include <QProcess>

TestCertificates::TestCertificates()
{
    m_valid = m_dir.isValid() &&
              QProcess::execute(QStringLiteral("/bin/sh"),
                                {QStringLiteral(BRENVO_CERTS_SCRIPT), m_dir.path()}) == 0;
}
