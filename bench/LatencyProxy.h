#pragma once

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

// tools/brenvo-latency between a bench and its servers: routes by name, the
// one-way delay switched at run time, and what crossed each route (round
// trips, FTP commands, connections, the time clients waited) read back.
//
//     LatencyProxy proxy({{"tds", standInPort, false}, {"ftp", ftpPort, true}});
//     proxy.setDelay(10); // 20 ms round trip
//     proxy.reset();  ...  proxy.stats().value("tds")["turns"]
namespace bench {

class LatencyProxy
{
public:
    struct Route
    {
        QString name;
        int port = 0;
        bool ftp = false;
    };

    explicit LatencyProxy(const QList<Route>& routes)
    {
        QStringList arguments{QStringLiteral(BRENVO_LATENCY_SCRIPT)};
        for (const Route& r : routes)
            arguments << QStringLiteral("--route")
                      << QStringLiteral("%1=127.0.0.1:%2%3")
                             .arg(r.name)
                             .arg(r.port)
                             .arg(r.ftp ? QStringLiteral(":ftp") : QString());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
                            ? QStringLiteral("/usr/bin/python3")
                            : QStringLiteral("python3"),
                        arguments);
        m_process.waitForStarted(10000);
        for (;;) {
            const QByteArray line = readLine();
            if (line.startsWith("ROUTE ")) {
                const QList<QByteArray> words = line.split(' ');
                m_ports.insert(QString::fromUtf8(words.value(1)), words.value(2).toInt());
            } else if (line == "READY") {
                return;
            } else {
                m_error =
                    QStringLiteral("brenvo-latency did not start: ") +
                    QString::fromUtf8(line.isEmpty() ? m_process.errorString().toUtf8() : line);
                return;
            }
        }
    }
    ~LatencyProxy()
    {
        m_process.closeWriteChannel(); // the proxy ends with its stdin
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    bool isRunning() const { return m_error.isEmpty() && m_process.state() == QProcess::Running; }
    QString errorString() const { return m_error; }
    int port(const QString& route) const { return m_ports.value(route); }

    bool setDelay(double oneWayMs)
    {
        return command("delay " + QByteArray::number(oneWayMs)) == "OK";
    }
    bool reset() { return command("reset") == "OK"; }
    // Route name to its counts: connections, turns, waited_ms, bytes_up,
    // bytes_down; ftp routes also commands (verb to count) and data_connections.
    QJsonObject stats() { return QJsonDocument::fromJson(command("stats")).object(); }

private:
    QByteArray command(const QByteArray& text)
    {
        m_process.write(text + '\n');
        m_process.waitForBytesWritten(3000);
        return readLine();
    }
    QByteArray readLine()
    {
        QDeadlineTimer deadline(10000);
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               !deadline.hasExpired())
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        return m_process.readLine().trimmed();
    }

    QProcess m_process;
    QHash<QString, int> m_ports;
    QString m_error;
};

} // namespace bench
