#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

#include "TestCertificates.h"

// The FTP server of a test: tools/brenvo-ftpd/brenvo-ftpd.py (pyftpdlib) on a
// free loopback port, started by the constructor and stopped by the
// destructor. One user with full permissions; its root is the FTP root.
// Faults on demand, switched at any time without a restart (the server reads
// them at every command): setFault("refuse-login"), "drop-mid-transfer",
// "disk-full", "hang", "stall", "fail-first:N", "keep-short:N", "slow" / "slow:KIB";
// setFault("") ends the fault. See the script's header for what each one does.
// With TLS offered or required (explicit, AUTH TLS and PROT P), it serves a
// certificate made for the test, signed by caFile().
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

    // Serves root, or a new temporary folder (removed afterwards) when root is
    // empty. Waits up to 10 s for the server to listen.
    explicit FtpServer(const QString& root = QString(), Tls tls = Tls::None);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    bool isRunning() const;
    // Why the server did not start (its own messages go to the test's stderr).
    QString errorString() const { return m_error; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    QString root() const { return m_root; }
    QString user() const { return QStringLiteral("brenvo"); }
    QString password() const { return QStringLiteral("brenvo-test"); }
    // The authority to trust (PEM) when it has TLS.
    QString caFile() const { return m_certificates ? m_certificates->path("ca.pem") : QString(); }

    // Puts a fault in force (writes root/.fault); "" or "none" ends it.
    // False when the file could not be written.
    bool setFault(const QString& fault);
    // Local path of a file or folder on the server, relPath from the FTP root
    // with "/" between folders ("TEMP/20260101/a.vox").
    QString remoteFile(const QString& relPath) const;

    // Stops the server now (the destructor does it too).
    void stop();

private:
    std::unique_ptr<QTemporaryDir> m_tempDir; // when the root is ours
    std::unique_ptr<TestCertificates> m_certificates;
    QString m_root;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
