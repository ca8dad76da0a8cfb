#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The SIP line's peers of a test: tools/brenvo-sipfar (kamailio as the
// registrar and proxy, baresip as the far end) on free loopback ports,
// started by the constructor and stopped, with both programs, by the
// destructor. Commands are the tool's ("ring", "answer", "hangup",
// "dial NUMBER", "registrar stop", ...); the far end's call events collect
// in events(), one "TYPE param" each.
class SipPeers
{
public:
    // The far end talks for farSeconds in each call.
    explicit SipPeers(int farSeconds = 60);
    ~SipPeers();
    SipPeers(const SipPeers&) = delete;
    SipPeers& operator=(const SipPeers&) = delete;

    bool isRunning() const { return !m_state.isEmpty(); }
    QString errorString() const { return m_error; }
    // peers.json: sip_port, desk_user, far_number, tone_hz, far_wav, heard, ...
    const QJsonObject& state() const { return m_state; }
    QString folder() const { return m_dir.path(); }

    // The tool's one-line answer ("OK ..." or "ERROR ..."), waiting up to 15 s.
    QString command(const QString& line);
    // True once an event of type whose param contains param has come.
    bool waitForEvent(const QString& type, const QString& param = QString(), int ms = 10000);
    QStringList events() const { return m_events; }
    // Forgets the events and the far end's log so far.
    void clearEvents();
    // What the far end logged since, its SIP trace among it.
    QString farLog() const;
    // A settings file's [Line] section for the desk's extension on these peers.
    QString lineSection() const { return m_state.value(u"line_section").toString(); }
    // A new settings file in the peers' folder holding section; its path.
    QString settingsFile(const QString& section);

private:
    // Reads what the tool printed; the answers, past the events, into m_answers.
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
