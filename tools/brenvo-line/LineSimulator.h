#pragma once

#include "LineAudioSource.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

class LineProtocol;

// The agent's phone line as the recording device sees it. Device controls
// (DorvanePlus) and control clients (the brenvo-line command line) connect to
// one port; the first frame says which is which. A person drives the line
// through the window, a script through control commands, a test through the
// methods below.
class LineSimulator : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Idle,
        Ringing,
        OffHook
    };

    static constexpr quint16 DefaultFeedPort = 8400;
    static constexpr int DefaultAnswerDelayMs = 1000;
    // A real line delivers the caller's number shortly after the first ring.
    static constexpr int FeedDelayMs = 300;

    // BRENVO_FEED_PORT when set to a valid port, DefaultFeedPort otherwise.
    static quint16 defaultFeedPort();
    static QString stateName(State state);

    explicit LineSimulator(QObject* parent = nullptr);

    bool listen(quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }
    void setFeedPort(quint16 port) { m_feedPort = port; }
    // How long the far end takes to answer a number dialled on an idle line.
    void setAnswerDelay(int ms) { m_answerTimer.setInterval(ms); }
    void setAudioSource(const LineAudioSource& source) { m_audio = source; }

    State state() const { return m_state; }
    bool isLinkUp() const { return m_linkUp; }
    QString callerNumber() const { return m_number; }
    QString lastDial() const { return m_lastDial; }
    int deviceCount() const;
    // One line for status bars and control replies, e.g.
    // "state=ringing number=0212345678 link=up devices=1 dial=,9,12345678".
    QString describe() const;

    bool ring(const QString& number, QString* error);
    void stopRinging();
    void pickUp();
    void hangUp();
    void setLinkUp(bool up);
    // The caller's number over the feed, alone: as a line that sends it late,
    // early, wrong or for another call.
    void sendFeed(const QString& number);

signals:
    void changed();
    // The simulator was kept from its timer for longer than it catches up
    // on: this much of the line's sound was never sent.
    void soundDropped(int ms);

private:
    enum class Role
    {
        Unknown,
        Device,
        Control
    };

    void accept();
    void handleText(LineProtocol* line, const QString& text);
    void handleDevice(const QString& text);
    QString handleControl(const QString& text);
    void dial(const QString& dialString);
    void broadcast(const QString& event);
    void sendAudio();

    QTcpServer m_server;
    QHash<LineProtocol*, Role> m_lines;
    State m_state = State::Idle;
    bool m_linkUp = true;
    QString m_number;
    QString m_lastDial;
    quint16 m_feedPort;
    QTimer m_answerTimer;
    LineAudioSource m_audio;
    QTimer m_audioTimer;
    QElapsedTimer m_audioClock;
    qint64 m_framesSent = 0;
};
