#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

#include "TestCertificates.h"

// The FTP server of a test: tools/brenvo-ftpd/brenvo-ftpd.py (pyftpdlib) on a
// free loopback port, for as long as the object lives. Faults are switched
// without a restart (the script's header lists them). With TLS (explicit,
// AUTH TLS and PROT P) it serves a certificate signed by caFile().
class FtpServer
{
public:
    enum class Tls
    {
        None,
        Offered,
        Required,
        WrongName // required, with a certificate for another name
    };

    // Serves root, or a temporary folder when root is empty.
    explicit FtpServer(const QString& root = QString(), Tls tls = Tls::None);
    ~FtpServer() { stop(); }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    bool isRunning() const { return m_port > 0 && m_process.state() == QProcess::Running; }
    QString errorString() const { return m_error; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    QString root() const { return m_root; }
    QString user() const { return QStringLiteral("brenvo"); }
    QString password() const { return QStringLiteral("brenvo-test"); }
    QString caFile() const { return m_certificates ? m_certificates->path("ca.pem") : QString(); }

    // "" or "none" ends the fault.
    bool setFault(const QString& fault);
    // The local path of "TEMP/20260101/a.vox" on the server.
    QString remoteFile(const QString& relPath) const { return QDir(m_root).filePath(relPath); }

    void stop();

private:
    std::unique_ptr<QTemporaryDir> m_tempDir; // when the root is ours
    std::unique_ptr<TestCertificates> m_certificates;
    QString m_root;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
