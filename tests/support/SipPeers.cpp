#include "SipPeers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>

SipPeers::SipPeers(int farSeconds)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(BRENVO_SIPFAR_SCRIPT), QStringLiteral("serve"),
                     QStringLiteral("--dir"), m_dir.path(), QStringLiteral("--far-seconds"),
                     QString::number(farSeconds)});
    QDeadlineTimer deadline(30000);
    while (m_state.isEmpty() && !deadline.hasExpired() &&
           m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(100);
        read();
    }
    if (m_state.isEmpty())
        m_error = QStringLiteral("brenvo-sipfar did not get ready; see its messages above");
}

SipPeers::~SipPeers()
{
    // The end of its input stops the tool, which stops kamailio and baresip.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void SipPeers::read()
{
    while (m_process.canReadLine()) {
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        if (line.startsWith(u"READY ")) {
            m_state = QJsonDocument::fromJson(line.mid(6).toUtf8()).object();
        } else if (line.startsWith(u"EVENT ")) {
            const QJsonObject event =
                QJsonDocument::fromJson(line.section(u' ', 2).toUtf8()).object();
            m_events << event.value(u"type").toString() + u' ' + event.value(u"param").toString();
        } else {
            m_answers << line;
        }
    }
}

QString SipPeers::command(const QString& line)
{
    m_answers.clear();
    m_process.write(line.toUtf8() + '\n');
    QDeadlineTimer deadline(15000);
    while (m_answers.isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(10);
        read();
    }
    return m_answers.isEmpty() ? QStringLiteral("ERROR no answer") : m_answers.takeFirst();
}

bool SipPeers::waitForEvent(const QString& type, const QString& param, int ms)
{
    QDeadlineTimer deadline(ms);
    const auto seen = [&] {
        return std::any_of(m_events.begin(), m_events.end(), [&](const QString& event) {
            return event.section(u' ', 0, 0) == type && event.section(u' ', 1).contains(param);
        });
    };
    while (!seen() && !deadline.hasExpired()) {
        QTest::qWait(10);
        read();
    }
    return seen();
}

void SipPeers::clearEvents()
{
    m_events.clear();
    m_logSeen = QFileInfo(m_dir.filePath(QStringLiteral("baresip.log"))).size();
}

QString SipPeers::farLog() const
{
    QFile log(m_dir.filePath(QStringLiteral("baresip.log")));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logSeen))
        return QString();
    return QString::fromUtf8(log.readAll());
}

QString SipPeers::settingsFile(const QString& section)
{
    const QString path = m_dir.filePath(QStringLiteral("Brenvo%1.ini").arg(++m_files));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(section.toUtf8());
    return path;
}
