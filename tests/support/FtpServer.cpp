#include "FtpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSaveFile>

constexpr int kStartTimeoutMs = 10000;

FtpServer::FtpServer(const QString& root, Tls tls)
{
    if (root.isEmpty()) {
        m_tempDir = std::make_unique<QTemporaryDir>();
        m_root = m_tempDir->path();
    } else {
        m_root = QDir(root).absolutePath();
        QDir().mkpath(m_root);
    }

    QStringList tlsOptions;
    if (tls != Tls::None) {
        m_certificates = std::make_unique<TestCertificates>();
        const QString name = tls == Tls::WrongName ? "wrong-host" : "server";
        tlsOptions << QStringLiteral("--certificate") << m_certificates->path(name + ".pem")
                   << QStringLiteral("--key") << m_certificates->path(name + ".key");
        if (tls != Tls::Offered)
            tlsOptions << QStringLiteral("--tls-required");
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's interpreter, which sees python3-pyftpdlib (another python3 may
    // come first on PATH). Stdin stays open: the server ends when this process goes.
    m_process.start(qEnvironmentVariable("BRENVO_PYTHON", QStringLiteral("/usr/bin/python3")),
                    QStringList{QStringLiteral(BRENVO_FTPD_SCRIPT), QStringLiteral("--root"),
                                m_root, QStringLiteral("--port"), QStringLiteral("0"),
                                QStringLiteral("--user"), user(), QStringLiteral("--password"),
                                password(), QStringLiteral("--exit-on-stdin-eof")} +
                        tlsOptions);
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error =
            QStringLiteral("cannot start %1: %2").arg(m_process.program(), m_process.errorString());
        return;
    }

    QDeadlineTimer deadline(kStartTimeoutMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            seen += line + '\n';
            if (line.startsWith("PORT ") && (m_port = line.mid(5).toInt()) > 0)
                return;
        }
        if (m_process.state() != QProcess::Running)
            break;
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    m_error = QStringLiteral("brenvo-ftpd did not listen within 10 s (its messages are above); "
                             "it printed: ") +
              QString::fromUtf8(seen);
    stop();
}

FtpServer::~FtpServer()
{
    stop();
}

bool FtpServer::isRunning() const
{
    return m_port > 0 && m_process.state() == QProcess::Running;
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

QString FtpServer::remoteFile(const QString& relPath) const
{
    return QDir(m_root).filePath(relPath);
}
