#pragma once

#include <QTemporaryDir>

// The demo's TLS certificates (tools/brenvo-certs) made afresh in a
// temporary folder: ca.pem, server.pem and .key (127.0.0.1, localhost),
// wrong-host.pem and .key (another name, same authority), other-ca.pem (an
// authority that signed nothing of ours).
class TestCertificates
{
public:
    TestCertificates();
    bool isValid() const { return m_valid; }
    QString path(const QString& file) const { return m_dir.filePath(file); }

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
