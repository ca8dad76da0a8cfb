#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The SIP line's peers of a test: tools/brenvo-sipfar (kamailio as the
// registrar and proxy, baresip as the far end, talking for farSeconds a call)
// on free loopback ports, for as long as the object lives.
class SipPeers
{
public:
    explicit SipPeers(int farSeconds = 60);
    ~SipPeers();
    SipPeers(const SipPeers&) = delete;
    SipPeers& operator=(const SipPeers&) = delete;

    bool isRunning() const { return !m_state.isEmpty(); }
    QString errorString() const { return m_error; }
    // peers.json: sip_port, desk_user, far_number, tone_hz, far_wav, heard, ...
    const QJsonObject& state() const { return m_state; }
    QString folder() const { return m_dir.path(); }

    // The tool's answer to a command ("ring", "registrar stop", ...): "OK ..." or "ERROR ...".
    QString command(const QString& line);
    // Whether a far-end call event of type whose param contains param came.
    bool waitForEvent(const QString& type, const QString& param = QString(), int ms = 10000);
    // Forgets the events and the far end's log so far.
    void clearEvents();
    // The far end's log since, its SIP trace among it.
    QString farLog() const;
    // The [Line] section of the desk's extension on these peers.
    QString lineSection() const { return m_state.value(u"line_section").toString(); }
    QString settingsFile(const QString& section);

private:
    void read();

    QTemporaryDir m_dir;
    QProcess m_process;
    QJsonObject m_state;
    QStringList m_events;
    QStringList m_answers;
    QString m_error;
    qint64 m_logSeen = 0;
    int m_files = 0;
};
