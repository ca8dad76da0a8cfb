#include "FtpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSaveFile>

FtpServer::FtpServer(const QString& root, Tls tls)
{
    if (root.isEmpty()) {
        m_tempDir = std::make_unique<QTemporaryDir>();
        m_root = m_tempDir->path();
    } else {
        m_root = QDir(root).absolutePath();
        QDir().mkpath(m_root);
    }

    QStringList arguments{QStringLiteral(BRENVO_FTPD_SCRIPT),
                          "--root",
                          m_root,
                          "--port",
                          "0",
                          "--user",
                          user(),
                          "--password",
                          password(),
                          "--exit-on-stdin-eof"};
    if (tls != Tls::None) {
        m_certificates = std::make_unique<TestCertificates>();
        const QString name = tls == Tls::WrongName ? "wrong-host" : "server";
        arguments << "--certificate" << m_certificates->path(name + ".pem") << "--key"
                  << m_certificates->path(name + ".key");
        if (tls != Tls::Offered)
            arguments << "--tls-required";
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's interpreter, which sees python3-pyftpdlib (another python3 may
    // come first on PATH). Stdin stays open: the server ends when this process goes.
    m_process.start(qEnvironmentVariable("BRENVO_PYTHON", QStringLiteral("/usr/bin/python3")),
                    arguments);
    QDeadlineTimer deadline(10000);
    QByteArray seen;
    while (!deadline.hasExpired() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            seen += line + '\n';
            if (line.startsWith("PORT ") && (m_port = line.mid(5).toInt()) > 0)
                return;
        }
    }
    m_error = QStringLiteral("brenvo-ftpd did not listen within 10 s (%1; its messages are above); "
                             "it printed: %2")
                  .arg(m_process.errorString(), QString::fromUtf8(seen));
    stop();
}

void FtpServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // the server ends on end of input
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool FtpServer::setFault(const QString& fault)
{
    // Written whole and renamed into place, so the server never reads half a name.
    QSaveFile file(remoteFile(QStringLiteral(".fault")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(fault.trimmed().toUtf8());
    return file.commit();
}
