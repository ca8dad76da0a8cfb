#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

// An extension of the branch's SIP telephone system: it registers, rings on
// an INVITE, answers, places and ends calls, and mixes the call's sound with
// the agent's voice. libre runs its loop in a thread of its own and every
// libre object lives there; the calls below cross to it through a queue and
// return at once, and its reports come back as signals queued to this
// object's thread.
class SipUserAgent : public QObject
{
    Q_OBJECT
public:
    struct Account
    {
        QString user;
        QString password;
        QString domain;
        QHostAddress server;
        quint16 serverPort = 5060;
        // 0: any free port.
        quint16 localPort = 5060;
    };

    // The server is asked this often whether it still answers; one that
    // leaves a question unanswered until the next is taken for gone.
    static constexpr int PingMs = 3000;
    // A refused or failed registration is tried again after this long, then
    // less and less often, a minute apart at most.
    static constexpr int RetryMs = 2000;

    // Running totals of the far end's sound, for the benchmarks.
    struct Counts
    {
        quint64 received = 0;
        quint64 played = 0;
        quint64 dropped = 0;
        quint64 frames = 0;
    };

    explicit SipUserAgent(const Account& account, QObject* parent = nullptr);
    // Ends a call on the line, unregisters (without waiting for the answer)
    // and stops the thread.
    ~SipUserAgent() override;

    // Starts the thread, the registration and the server's watch.
    void start();
    // Answers a ringing call, or takes the idle line to dial.
    void takeLine();
    // Calls number (a SIP URI's user part) at the domain; an idle line is
    // taken first.
    void dial(const QString& number);
    void hangUp();
    // 20 ms of the agent's voice, 8 kHz s16le mono; the line's mixed sound
    // for the same 20 ms follows as frame() while the line is taken.
    void sendVoice(const QByteArray& pcm);

    // A call exists or the line is taken.
    bool isLineBusy() const { return m_busy; }
    Counts counts() const;

    // The caller's number: the user part of P-Asserted-Identity's address,
    // else of From's; a tel: URI gives its number.
    static QString callerNumber(const QByteArray& assertedIdentity, const QByteArray& from);

signals:
    // Each answer to a registration; reason says why one was refused.
    void registered(bool accepted, const QString& reason);
    void ringChanged(int bell);
    void hookChanged(int hook);
    void callerNumberReceived(const QString& number);
    // Both directions mixed, and the far end alone (for the earpiece).
    void frame(const QByteArray& mixed, const QByteArray& far);
    // The thread could not open its socket.
    void failed(const QString& why);

private:
    struct Stack;
    using Command = std::function<void(Stack&)>;

    void post(Command command);
    void run();
    static void wake(int id, void* data, void* arg);

    std::unique_ptr<Stack> m_stack;
    std::thread m_thread;
    std::atomic<bool> m_busy{false};

    // Commands wait here until the thread takes them; libre's message queue
    // only wakes the thread, so nothing is lost before the queue exists.
    // The mutex also guards the counts.
    mutable std::mutex m_mutex;
    std::deque<Command> m_commands;
    struct mqueue* m_wakeUp = nullptr;
    Counts m_counts;
};
