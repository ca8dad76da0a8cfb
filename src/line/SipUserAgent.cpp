#include "line/SipUserAgent.h"

#include <QMetaObject>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "line/Libre.h"
#include "line/SipMedia.h"

namespace {

constexpr int FrameSamples = SipMedia::FrameSamples;
// The registration's lifetime asked for; the server may grant another.
constexpr uint32_t RegisterSeconds = 600;
// A registration is refreshed when this share of its lifetime has passed.
constexpr uint32_t RefreshPercent = 90;
constexpr int MaxAuthRounds = 2;

enum class Line
{
    Idle,
    RingingIn, // an INVITE answered 180
    Answering, // 200 sent, the caller's ACK awaited
    OffHook,   // taken, nothing dialled yet
    Calling,   // our INVITE on its way
    Connected,
    Failed // our call refused: busy tone until the agent hangs up
};

bool offHook(Line line)
{
    return line == Line::OffHook || line == Line::Calling || line == Line::Connected ||
           line == Line::Failed;
}

// A tone of the line as an analogue exchange plays it: two sines, on and
// off in a cadence (Korean dial, ringback and busy tones).
class Tone
{
public:
    Tone(uint32_t f1, uint32_t f2, int onMs, int offMs)
    {
        mbuf* second = mbuf_alloc(2 * 8000);
        // One second of both sines at 10 % of full scale each: whole cycles,
        // so it repeats without a click.
        autone_sine(second, 8000, f1, 10, f2, 10);
        const size_t on = size_t(onMs) * 8;
        m_cycle.resize(on + size_t(offMs) * 8, 0);
        for (size_t i = 0; i < on; ++i)
            m_cycle[i] = reinterpret_cast<const int16_t*>(second->buf)[i % 8000];
        mem_deref(second);
    }
    void restart() { m_at = 0; }
    void next(int16_t* out)
    {
        for (int i = 0; i < FrameSamples; ++i) {
            out[i] = m_cycle[m_at];
            m_at = (m_at + 1) % m_cycle.size();
        }
    }

private:
    std::vector<int16_t> m_cycle;
    size_t m_at = 0;
};

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString text(const pl& value)
{
    return QString::fromUtf8(value.p, qsizetype(value.l));
}

void ignoreDatagram(const sa*, mbuf*, void*) {}

// The address this machine sends from to reach the server.
int localAddressFor(const sa& server, sa* local)
{
    udp_sock* probe = nullptr;
    sa any;
    sa_init(&any, sa_af(&server));
    int err = udp_listen(&probe, &any, ignoreDatagram, nullptr);
    err = err ? err : udp_connect(probe, &server);
    err = err ? err : udp_local_get(probe, local);
    mem_deref(probe);
    return err;
}

} // namespace

// Everything on libre's thread. Handlers are libre's C callbacks; each
// report to the program is posted to the agent's thread.
struct SipUserAgent::Stack
{
    SipUserAgent* owner;
    std::string user, password, domain, aor, proxy, serverUri;
    sa server{};
    sa local{};
    uint16_t localPort = 0;

    ::sip* sip = nullptr;
    sipsess_sock* sessions = nullptr;

    sip_dialog* regDialog = nullptr;
    sip_auth* auth = nullptr;
    struct sip_request* regRequest = nullptr;
    tmr regTimer{};
    uint32_t expires = RegisterSeconds;
    int authRounds = 0;
    int failures = 0;
    bool registered = false;

    sip_dialog* pingDialog = nullptr;
    struct sip_request* ping = nullptr;
    tmr pingTimer{};
    bool pingAnswered = true;
    bool serverLost = false;

    Line line = Line::Idle;
    sipsess* call = nullptr;
    // A session closed by the far end, let go once its handler has returned.
    sipsess* closed = nullptr;
    tmr closedTimer{};
    mbuf* response = nullptr; // the SDP for our 200
    std::unique_ptr<SipMedia> media;
    SipMedia::Counts counts;
    uint64_t frames = 0;
    bool farRinging = false;
    bool earlyMedia = false;
    Tone dialTone{350, 440, 1000, 0};
    Tone ringback{440, 480, 1000, 2000};
    Tone busyTone{480, 620, 500, 500};

    template <typename F> void report(F&& emitter)
    {
        QMetaObject::invokeMethod(
            owner, [o = owner, emitter] { emitter(o); }, Qt::QueuedConnection);
    }

    void setLine(Line next)
    {
        line = next;
        owner->m_busy = next != Line::Idle;
    }

    int open(QString* why);
    void close();

    // Registration. libre's own client backs off for 30 s to 30 min after a
    // failure and cannot be told to register again at once when the server
    // returns after a restart (its bindings lost), so the loop is ours; the
    // transactions and the digest are libre's.
    void registerNow();
    int sendRegister();
    void registrationFailed(const QString& reason);
    static void registerResponse(int err, const sip_msg* msg, void* arg);
    static void retryRegister(void* arg) { static_cast<Stack*>(arg)->registerNow(); }
    // The server's watch: an OPTIONS every PingMs; any answer will do.
    static void pingTick(void* arg);
    static void pingResponse(int err, const sip_msg* msg, void* arg);
    static int authenticate(char** username, char** secret, const char* realm, void* arg);

    // The line.
    void takeLine();
    void dial(const std::string& number);
    void hangUp();
    void voice(const QByteArray& pcm);
    void endCall();
    static void incoming(const sip_msg* msg, void* arg);
    static int offered(mbuf** description, const sip_msg* msg, void* arg);
    static int answered(const sip_msg* msg, void* arg);
    static void progress(const sip_msg* msg, void* arg);
    static void established(const sip_msg* msg, void* arg);
    static void closedByPeer(int err, const sip_msg* msg, void* arg);
    static void releaseClosed(void* arg);
};

int SipUserAgent::Stack::open(QString* why)
{
    int err = localAddressFor(server, &local);
    sa_set_port(&local, localPort);
    err = err ? err : sip_alloc(&sip, nullptr, 32, 32, 32, "Brenvo", nullptr, nullptr);
    err = err ? err : sip_transp_add(sip, SIP_TRANSP_UDP, &local);
    err = err ? err : sip_transp_laddr(sip, &local, SIP_TRANSP_UDP, &server);
    err = err ? err : sipsess_listen(&sessions, sip, 32, &Stack::incoming, this);
    if (err) {
        char buffer[128];
        *why = QStringLiteral("SIP port %1: %2")
                   .arg(sa_port(&local))
                   .arg(QString::fromLocal8Bit(str_error(err, buffer, sizeof buffer)));
        return err;
    }
    const char* routes[] = {proxy.c_str()};
    err = sip_dialog_alloc(&regDialog, ("sip:" + domain).c_str(), aor.c_str(), nullptr, aor.c_str(),
                           routes, 1);
    err = err ? err
              : sip_dialog_alloc(&pingDialog, serverUri.c_str(), serverUri.c_str(), nullptr,
                                 aor.c_str(), nullptr, 0);
    err = err ? err : sip_auth_alloc(&auth, &Stack::authenticate, this, false);
    if (err) {
        *why = QStringLiteral("SIP address of %1 at %2 not usable")
                   .arg(QString::fromStdString(user), QString::fromStdString(domain));
        return err;
    }
    registerNow();
    tmr_start(&pingTimer, PingMs, &Stack::pingTick, this);
    return 0;
}

void SipUserAgent::Stack::close()
{
    tmr_cancel(&regTimer);
    tmr_cancel(&pingTimer);
    tmr_cancel(&closedTimer);
    endCall();
    closed = static_cast<sipsess*>(mem_deref(closed));
    // Unregistered without waiting for the answer: the program is ending.
    if (registered && !serverLost)
        sip_drequestf(nullptr, sip, false, "REGISTER", regDialog, 0, auth, nullptr, nullptr,
                      nullptr, "Contact: <sip:%s@%J>;expires=0\r\nContent-Length: 0\r\n\r\n",
                      user.c_str(), &local);
    registered = false;
    regRequest = static_cast<struct sip_request*>(mem_deref(regRequest));
    ping = static_cast<struct sip_request*>(mem_deref(ping));
    regDialog = static_cast<sip_dialog*>(mem_deref(regDialog));
    pingDialog = static_cast<sip_dialog*>(mem_deref(pingDialog));
    auth = static_cast<sip_auth*>(mem_deref(auth));
    sessions = static_cast<sipsess_sock*>(mem_deref(sessions));
    if (sip)
        sip_close(sip, true);
    sip = static_cast<::sip*>(mem_deref(sip));
}

void SipUserAgent::Stack::registerNow()
{
    tmr_cancel(&regTimer);
    regRequest = static_cast<struct sip_request*>(mem_deref(regRequest));
    authRounds = 0;
    if (const int err = sendRegister()) {
        char buffer[128];
        registrationFailed(QString::fromLocal8Bit(str_error(err, buffer, sizeof buffer)));
    }
}

int SipUserAgent::Stack::sendRegister()
{
    return sip_drequestf(&regRequest, sip, true, "REGISTER", regDialog, 0, auth, nullptr,
                         &Stack::registerResponse, this,
                         "Contact: <sip:%s@%J>;expires=%u\r\nContent-Length: 0\r\n\r\n",
                         user.c_str(), &local, expires);
}

void SipUserAgent::Stack::registrationFailed(const QString& reason)
{
    registered = false;
    report([reason](SipUserAgent* o) { emit o->registered(false, reason); });
    // A server that refuses (a wrong password, say) is asked less and less
    // often; one that was away is asked at once when it answers again.
    const uint64_t wait = std::min<uint64_t>(uint64_t(RetryMs) << std::min(failures++, 5), 60000);
    tmr_start(&regTimer, wait, &Stack::retryRegister, this);
}

void SipUserAgent::Stack::registerResponse(int err, const sip_msg* msg, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    if (err) {
        char buffer[128];
        s.registrationFailed(QString::fromLocal8Bit(str_error(err, buffer, sizeof buffer)));
        return;
    }
    if (msg->scode < 200)
        return;
    if (msg->scode < 300) {
        // The lifetime granted to our contact, else the one of the reply.
        uint32_t granted = pl_isset(&msg->expires) ? pl_u32(&msg->expires) : s.expires;
        le* element;
        LIST_FOREACH(&msg->hdrl, element)
        {
            const auto* header = static_cast<const sip_hdr*>(element->data);
            sip_addr contact;
            pl value;
            if (header->id == SIP_HDR_CONTACT && !sip_addr_decode(&contact, &header->val) &&
                !pl_strcmp(&contact.uri.user, s.user.c_str()) &&
                contact.uri.port == sa_port(&s.local) &&
                !msg_param_decode(&contact.params, "expires", &value))
                granted = pl_u32(&value);
        }
        s.registered = true;
        s.authRounds = 0;
        s.failures = 0;
        s.report([](SipUserAgent* o) { emit o->registered(true, QString()); });
        tmr_start(&s.regTimer, uint64_t(std::max<uint32_t>(granted, 1)) * 10 * RefreshPercent,
                  &Stack::retryRegister, &s);
        return;
    }
    if ((msg->scode == 401 || msg->scode == 407) && ++s.authRounds <= MaxAuthRounds) {
        int refused = sip_auth_authenticate(s.auth, msg);
        // A challenge that is not marked stale for a realm already answered:
        // the server restarted and forgot its nonces. The realm starts anew.
        if (refused == EAUTH) {
            sip_auth_reset(s.auth);
            refused = sip_auth_authenticate(s.auth, msg);
        }
        if (!refused && !s.sendRegister())
            return;
    }
    if (msg->scode == 423) {
        const sip_hdr* minimum = sip_msg_hdr(msg, SIP_HDR_MIN_EXPIRES);
        if (minimum && pl_u32(&minimum->val) > s.expires) {
            s.expires = pl_u32(&minimum->val);
            if (!s.sendRegister())
                return;
        }
    }
    s.registrationFailed(QString::number(msg->scode) + u' ' + text(msg->reason));
}

void SipUserAgent::Stack::pingTick(void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    if (!s.pingAnswered && !s.serverLost) {
        s.serverLost = true;
        tmr_cancel(&s.regTimer);
        s.regRequest = static_cast<struct sip_request*>(mem_deref(s.regRequest));
        s.registered = false;
        s.report([](SipUserAgent* o) {
            emit o->registered(false, QStringLiteral("the server does not answer"));
        });
    }
    s.ping = static_cast<struct sip_request*>(mem_deref(s.ping));
    s.pingAnswered = false;
    sip_drequestf(&s.ping, s.sip, true, "OPTIONS", s.pingDialog, 0, nullptr, nullptr,
                  &Stack::pingResponse, &s, "Content-Length: 0\r\n\r\n");
    tmr_start(&s.pingTimer, PingMs, &Stack::pingTick, &s);
}

void SipUserAgent::Stack::pingResponse(int err, const sip_msg*, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    if (err)
        return;
    s.pingAnswered = true;
    // Back after a silence: its bindings may be gone with a restart.
    if (s.serverLost) {
        s.serverLost = false;
        s.failures = 0;
        s.registerNow();
    }
}

int SipUserAgent::Stack::authenticate(char** username, char** secret, const char*, void* arg)
{
    const Stack& s = *static_cast<const Stack*>(arg);
    const int err = str_dup(username, s.user.c_str());
    return err ? err : str_dup(secret, s.password.c_str());
}

void SipUserAgent::Stack::incoming(const sip_msg* msg, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    if (s.line != Line::Idle) {
        sip_treply(nullptr, s.sip, msg, 486, "Busy Here");
        return;
    }
    int err = SipMedia::open(&s.media, s.local, &s.counts);
    if (!err)
        err = mbuf_get_left(msg->mb) ? s.media->answer(msg->mb, &s.response)
                                     : s.media->offer(&s.response);
    if (!err)
        err = sipsess_accept(&s.call, s.sessions, msg, 180, "Ringing", s.user.c_str(),
                             "application/sdp", nullptr, &Stack::authenticate, &s, false,
                             &Stack::offered, &Stack::answered, &Stack::established, nullptr,
                             nullptr, &Stack::closedByPeer, &s, nullptr);
    if (err) {
        s.media.reset();
        s.response = static_cast<mbuf*>(mem_deref(s.response));
        sip_treply(nullptr, s.sip, msg, 488, "Not Acceptable Here");
        return;
    }
    s.setLine(Line::RingingIn);
    const sip_hdr* asserted = sip_msg_xhdr(msg, "P-Asserted-Identity");
    const QString number = callerNumber(
        asserted ? QByteArray(asserted->val.p, qsizetype(asserted->val.l)) : QByteArray(),
        QByteArray(msg->from.val.p, qsizetype(msg->from.val.l)));
    s.report([number](SipUserAgent* o) {
        emit o->ringChanged(1);
        if (!number.isEmpty())
            emit o->callerNumberReceived(number);
    });
}

int SipUserAgent::Stack::offered(mbuf** description, const sip_msg* msg, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    if (!s.media)
        return EINVAL;
    return mbuf_get_left(msg->mb) ? s.media->answer(msg->mb, description)
                                  : s.media->offer(description);
}

int SipUserAgent::Stack::answered(const sip_msg* msg, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    if (!s.media || !mbuf_get_left(msg->mb))
        return 0;
    return s.media->accept(msg->mb);
}

void SipUserAgent::Stack::progress(const sip_msg* msg, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    // A provisional answer with SDP brings the server's own sound (ringing
    // or an announcement) before the far end answers.
    if (mbuf_get_left(msg->mb) && s.media && !s.media->accept(msg->mb))
        s.earlyMedia = true;
    if (msg->scode == 180 && !s.farRinging) {
        s.farRinging = true;
        s.ringback.restart();
    }
}

void SipUserAgent::Stack::established(const sip_msg*, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    const bool answered = s.line == Line::Answering;
    s.setLine(Line::Connected);
    if (answered)
        s.report([](SipUserAgent* o) { emit o->hookChanged(3); });
}

void SipUserAgent::Stack::closedByPeer(int, const sip_msg*, void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    // libre still holds the session while it calls us: it is let go on the
    // next turn of the loop.
    mem_deref(s.closed);
    s.closed = s.call;
    s.call = nullptr;
    tmr_start(&s.closedTimer, 0, &Stack::releaseClosed, &s);
    s.media.reset();
    s.response = static_cast<mbuf*>(mem_deref(s.response));
    switch (s.line) {
    case Line::RingingIn:
    case Line::Answering:
        s.setLine(Line::Idle);
        s.report([](SipUserAgent* o) { emit o->ringChanged(0); });
        break;
    case Line::Calling:
        // Busy or failed: the agent hears it until hanging up, as on an
        // analogue line.
        s.setLine(Line::Failed);
        s.busyTone.restart();
        break;
    case Line::Connected:
        s.setLine(Line::Idle);
        s.report([](SipUserAgent* o) { emit o->hookChanged(1); });
        break;
    default:
        break;
    }
}

void SipUserAgent::Stack::releaseClosed(void* arg)
{
    Stack& s = *static_cast<Stack*>(arg);
    s.closed = static_cast<sipsess*>(mem_deref(s.closed));
}

void SipUserAgent::Stack::endCall()
{
    // Letting go of a session ends it as its state asks: 486 to a ringing
    // caller, CANCEL to a call still ringing out, BYE to an established one.
    call = static_cast<sipsess*>(mem_deref(call));
    response = static_cast<mbuf*>(mem_deref(response));
    media.reset();
}

void SipUserAgent::Stack::takeLine()
{
    if (line == Line::RingingIn) {
        if (sipsess_answer(call, 200, "OK", response, nullptr)) {
            endCall();
            setLine(Line::Idle);
            report([](SipUserAgent* o) { emit o->ringChanged(0); });
            return;
        }
        response = static_cast<mbuf*>(mem_deref(response));
        setLine(Line::Answering);
    } else if (line == Line::Idle) {
        setLine(Line::OffHook);
        dialTone.restart();
        report([](SipUserAgent* o) { emit o->hookChanged(3); });
    }
}

void SipUserAgent::Stack::dial(const std::string& number)
{
    if (line == Line::Idle)
        takeLine();
    if (line != Line::OffHook)
        return;
    mbuf* offer = nullptr;
    int err = SipMedia::open(&media, local, &counts);
    err = err ? err : media->offer(&offer);
    const std::string to = "sip:" + number + "@" + domain;
    const char* routes[] = {proxy.c_str()};
    if (!err)
        err = sipsess_connect(&call, sessions, to.c_str(), nullptr, aor.c_str(), user.c_str(),
                              routes, 1, "application/sdp", offer, &Stack::authenticate, this,
                              false, &Stack::offered, &Stack::answered, &Stack::progress,
                              &Stack::established, nullptr, nullptr, &Stack::closedByPeer, this,
                              nullptr);
    mem_deref(offer);
    farRinging = false;
    earlyMedia = false;
    if (err) {
        media.reset();
        setLine(Line::Failed);
        busyTone.restart();
        return;
    }
    setLine(Line::Calling);
}

void SipUserAgent::Stack::hangUp()
{
    const Line was = line;
    if (was == Line::Idle)
        return;
    endCall();
    setLine(Line::Idle);
    // A call the agent never had on the line only stops ringing.
    const bool ringOnly = was == Line::RingingIn || was == Line::Answering;
    report([ringOnly](SipUserAgent* o) {
        if (ringOnly)
            emit o->ringChanged(0);
        else
            emit o->hookChanged(1);
    });
}

void SipUserAgent::Stack::voice(const QByteArray& pcm)
{
    if (!offHook(line) || pcm.size() != FrameSamples * 2)
        return;
    std::array<int16_t, FrameSamples> agent{};
    std::array<int16_t, FrameSamples> far{};
    qFromLittleEndian<qint16>(pcm.constData(), FrameSamples, agent.data());
    switch (line) {
    case Line::OffHook:
        dialTone.next(far.data());
        break;
    case Line::Calling:
        if (earlyMedia)
            media->exchange(agent.data(), far.data(), false);
        else if (farRinging)
            ringback.next(far.data());
        break;
    case Line::Connected:
        media->exchange(agent.data(), far.data(), true);
        break;
    default:
        busyTone.next(far.data());
        break;
    }
    QByteArray mixed(FrameSamples * 2, Qt::Uninitialized);
    QByteArray heard(FrameSamples * 2, Qt::Uninitialized);
    for (int i = 0; i < FrameSamples; ++i) {
        const int sum = std::clamp(int(agent[size_t(i)]) + far[size_t(i)], -32768, 32767);
        qToLittleEndian<qint16>(qint16(sum), mixed.data() + 2 * i);
        qToLittleEndian<qint16>(far[size_t(i)], heard.data() + 2 * i);
    }
    {
        std::lock_guard lock(owner->m_mutex);
        owner->m_counts = {counts.received, counts.played, counts.dropped, ++frames};
    }
    report([mixed, heard](SipUserAgent* o) { emit o->frame(mixed, heard); });
}

SipUserAgent::SipUserAgent(const Account& account, QObject* parent)
    : QObject(parent), m_stack(std::make_unique<Stack>())
{
    Stack& s = *m_stack;
    s.owner = this;
    s.user = utf8(account.user);
    s.password = utf8(account.password);
    s.domain = utf8(account.domain);
    s.aor = "sip:" + s.user + "@" + s.domain;
    s.localPort = account.localPort;
    sa_set_str(&s.server, utf8(account.server.toString()).c_str(), account.serverPort);
    char address[64];
    re_snprintf(address, sizeof address, "%J", &s.server);
    s.serverUri = std::string("sip:") + address;
    s.proxy = s.serverUri + ";lr";
}

SipUserAgent::~SipUserAgent()
{
    if (!m_thread.joinable())
        return;
    post([](Stack&) { re_cancel(); });
    m_thread.join();
}

void SipUserAgent::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void SipUserAgent::takeLine()
{
    post([](Stack& s) { s.takeLine(); });
}

void SipUserAgent::dial(const QString& number)
{
    post([number = utf8(number)](Stack& s) { s.dial(number); });
}

void SipUserAgent::hangUp()
{
    post([](Stack& s) { s.hangUp(); });
}

void SipUserAgent::sendVoice(const QByteArray& pcm)
{
    post([pcm](Stack& s) { s.voice(pcm); });
}

SipUserAgent::Counts SipUserAgent::counts() const
{
    std::lock_guard lock(m_mutex);
    return m_counts;
}

void SipUserAgent::post(Command command)
{
    std::lock_guard lock(m_mutex);
    m_commands.push_back(std::move(command));
    // One wake-up drains the whole queue.
    if (m_commands.size() == 1 && m_wakeUp)
        mqueue_push(m_wakeUp, 0, nullptr);
}

void SipUserAgent::wake(int, void*, void* arg)
{
    auto* agent = static_cast<SipUserAgent*>(arg);
    std::deque<Command> commands;
    {
        std::lock_guard lock(agent->m_mutex);
        commands.swap(agent->m_commands);
    }
    for (Command& command : commands)
        command(*agent->m_stack);
}

void SipUserAgent::run()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { libre_init(); });
    re_thread_init();
    // More descriptors than select() takes: the program may hold many.
    fd_setsize(4096);
    Stack& s = *m_stack;
    mqueue* wakeUp = nullptr;
    QString why = QStringLiteral("no thread queue");
    int err = mqueue_alloc(&wakeUp, &SipUserAgent::wake, this);
    if (!err) {
        std::lock_guard lock(m_mutex);
        m_wakeUp = wakeUp;
        if (!m_commands.empty())
            mqueue_push(m_wakeUp, 0, nullptr);
    }
    err = err ? err : s.open(&why);
    if (err)
        s.report([why](SipUserAgent* o) { emit o->failed(why); });
    else
        re_main(nullptr);
    s.close();
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = nullptr;
    }
    mem_deref(wakeUp);
    re_thread_close();
}

QString SipUserAgent::callerNumber(const QByteArray& assertedIdentity, const QByteArray& from)
{
    for (const QByteArray& value : {assertedIdentity, from}) {
        pl header{value.constData(), size_t(value.size())};
        sip_addr address;
        if (value.isEmpty() || sip_addr_decode(&address, &header))
            continue;
        // tel:+82212345678 has its number where a host would be.
        const QString number = !pl_strcasecmp(&address.uri.scheme, "tel") ? text(address.uri.host)
                                                                          : text(address.uri.user);
        if (!number.isEmpty())
            return number;
    }
    return QString();
}
