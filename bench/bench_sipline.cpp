// The SIP line: how fast an INVITE rings the desk and TakeLine answers it,
// what one recorded call costs in CPU, what the back end adds to memory, and
// whether a long call on a loaded machine loses any of the far end's frames
// between RTP and the voice file.
//
// Ring and answer are timed against a bare SIP peer of this bench on
// loopback (its INVITE sent, the desk's 200 received); the desk is registered
// with kamailio meanwhile. CPU, memory and loss use kamailio and a baresip far
// end (tools/brenvo-sipfar). References, in the same run: the line
// simulator's ring and off-hook, its memory, the same desk idle for as long
// as the call, and the frames of the call. BRENVO_BENCH_CALL_S sets the long
// call's length (600 s unless set); two busy loops load both cores meanwhile.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <malloc.h>
#include <sys/resource.h>

#include "BenchResult.h"
#include "line/DorvanePlus.h"
#include "line/SipLine.h"
#include "LineSimulator.h"
#include "platform/OrvelMedia.h"
#include "platform/VoxFile.h"
#include "SipPeers.h"

namespace {

constexpr int kRuns = 15;
constexpr int kCpuSeconds = 10;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Waits in the event loop itself: QTest's polling waits cost CPU of their own.
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until ready() or ms have passed; true when ready.
template <typename F> bool until(F ready, int ms)
{
    QElapsedTimer waited;
    waited.start();
    while (!ready() && waited.elapsed() < ms)
        idle(1);
    return ready();
}

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

LineSettings settingsFor(SipPeers& peers, quint16 localPort)
{
    LineSettings settings = LineSettings::read(peers.settingsFile(peers.lineSection()));
    settings.localPort = localPort;
    return settings;
}

// The bench's own SIP peer: sends an INVITE straight to the desk's port and
// takes its answers, so both ends of each figure are clocked here.
class BarePeer
{
public:
    explicit BarePeer(quint16 desk) : m_desk(desk)
    {
        m_sip.bind(QHostAddress::LocalHost, 0);
        m_rtp.bind(QHostAddress::LocalHost, 0);
    }

    void invite(int n)
    {
        m_call = QStringLiteral("bench-%1-%2").arg(n).arg(m_sip.localPort());
        const QString sdp = QStringLiteral("v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\n"
                                           "c=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                                           "m=audio %1 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n")
                                .arg(m_rtp.localPort());
        send(QStringLiteral("INVITE sip:2001@127.0.0.1:%1 SIP/2.0\r\n").arg(m_desk) +
             headers(QStringLiteral("1 INVITE"), QString()) +
             QStringLiteral("Content-Type: application/sdp\r\nContent-Length: %1\r\n\r\n")
                 .arg(sdp.size()) +
             sdp);
    }

    // The first reply with this status line start, waiting up to 2 s; at
    // is the clock's reading when it arrived.
    QString await(const QString& status, const QElapsedTimer& clock, double* at)
    {
        QString found;
        const auto take = [&] {
            while (found.isEmpty() && m_sip.hasPendingDatagrams()) {
                const QString reply = QString::fromUtf8(m_sip.receiveDatagram().data());
                if (reply.startsWith(status) && reply.contains(m_call)) {
                    *at = clock.nsecsElapsed() / 1e6;
                    found = reply;
                }
            }
        };
        const QMetaObject::Connection arrivals =
            QObject::connect(&m_sip, &QUdpSocket::readyRead, take);
        take();
        until([&] { return !found.isEmpty(); }, 2000);
        QObject::disconnect(arrivals);
        return found;
    }

    void ack(const QString& ok)
    {
        const QString tag =
            QRegularExpression(QStringLiteral("\nTo:[^\r]*;tag=([^;\r]+)")).match(ok).captured(1);
        send(QStringLiteral("ACK sip:2001@127.0.0.1:%1 SIP/2.0\r\n").arg(m_desk) +
             headers(QStringLiteral("1 ACK"), tag) + QStringLiteral("Content-Length: 0\r\n\r\n"));
    }

private:
    QString headers(const QString& cseq, const QString& toTag) const
    {
        return QStringLiteral("Via: SIP/2.0/UDP 127.0.0.1:%1;branch=z9hG4bK%2;rport\r\n"
                              "Max-Forwards: 70\r\nFrom: <sip:0212345678@127.0.0.1>;tag=b%2\r\n"
                              "To: <sip:2001@127.0.0.1>%3\r\nCall-ID: %2\r\nCSeq: %4\r\n"
                              "Contact: <sip:bench@127.0.0.1:%1>\r\n")
            .arg(m_sip.localPort())
            .arg(m_call, toTag.isEmpty() ? QString() : QStringLiteral(";tag=") + toTag, cseq);
    }

    void send(const QString& text)
    {
        m_sip.writeDatagram(text.toUtf8(), QHostAddress::LocalHost, m_desk);
    }

    quint16 m_desk;
    QUdpSocket m_sip;
    QUdpSocket m_rtp;
    QString m_call;
};

struct Timings
{
    QVector<double> ring, take;
};

// The line simulator's ring and off-hook, through the same device control;
// each time is read where the event is delivered.
Timings simulatorTimings()
{
    Timings t;
    LineSimulator line;
    QString error;
    if (!line.listen(0, &error))
        return t;
    DorvanePlus device;
    device.setLinePort(line.port());
    QElapsedTimer clock;
    clock.start();
    double rang = -1, taken = -1;
    QObject::connect(&device, &DorvanePlus::RingChanged,
                     [&] { rang = clock.nsecsElapsed() / 1e6; });
    QObject::connect(&device, &DorvanePlus::HookChanged,
                     [&] { taken = clock.nsecsElapsed() / 1e6; });
    device.OpenDevice();
    if (!until([&] { return taken >= 0; }, 3000))
        return t;
    for (int i = 0; i < kRuns; ++i) {
        rang = taken = -1;
        clock.start();
        line.ring(QStringLiteral("0212345678"), &error);
        if (!until([&] { return rang >= 0; }, 2000))
            break;
        t.ring << rang;
        clock.start();
        device.TakeLine();
        if (!until([&] { return taken >= 0; }, 2000))
            break;
        t.take << taken;
        line.hangUp();
        line.stopRinging();
        idle(50);
    }
    return t;
}

Timings sipTimings(SipPeers& peers)
{
    Timings t;
    const quint16 port = freePort();
    DorvanePlus device;
    device.useSettings(settingsFor(peers, port));
    QElapsedTimer clock;
    double rang = -1;
    bool opened = false;
    QObject::connect(&device, &DorvanePlus::DeviceOpened, [&](bool ok) { opened = ok; });
    QObject::connect(&device, &DorvanePlus::RingChanged, [&](int bell) {
        if (bell == 1)
            rang = clock.nsecsElapsed() / 1e6;
    });
    device.OpenDevice();
    if (!until([&] { return opened; }, 5000))
        return t;
    BarePeer peer(port);
    for (int i = 0; i < kRuns; ++i) {
        rang = -1;
        clock.start();
        peer.invite(i);
        if (!until([&] { return rang >= 0; }, 2000))
            break;
        t.ring << rang;
        clock.start();
        device.TakeLine();
        double answered = -1;
        const QString ok = peer.await(QStringLiteral("SIP/2.0 200"), clock, &answered);
        if (ok.isEmpty())
            break;
        t.take << answered;
        peer.ack(ok);
        idle(50);
        device.HangUp();
        idle(100);
    }
    return t;
}

// One call from the far end, answered, recorded into path for seconds; the
// line's counts at its end.
SipUserAgent::Counts recordedCall(SipPeers& peers, SipLine& line, const QString& path, int seconds,
                                  double* cpu, qint64* frames)
{
    OrvelMedia media;
    QObject::connect(&line, &LineBackend::audio, &media, &OrvelMedia::writeLineAudio);
    QSignalSpy rings(&line, &LineBackend::ringChanged);
    QSignalSpy hooks(&line, &LineBackend::hookChanged);
    *frames = 0;
    peers.command(QStringLiteral("ring"));
    if (!until([&] { return rings.size() == 1; }, 5000))
        return {};
    line.takeLine();
    if (!until([&] { return hooks.contains({3}); }, 5000))
        return {};
    media.MediaPrepare(1);
    media.MediaRecord(1, path);
    QObject::connect(&line, &LineBackend::audio, &media, [frames] { ++*frames; });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    idle(seconds * 1000);
    *cpu = (cpuSeconds() - cpuBefore) / (wall.nsecsElapsed() / 1e9);
    peers.command(QStringLiteral("hangup"));
    if (!until([&] { return hooks.contains({1}); }, 5000))
        *frames = 0;
    media.MediaPrepare(0);
    return line.counts();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString ringFigure = QStringLiteral("SIP: INVITE received → RingChanged delivered");
    const QString takeFigure = QStringLiteral("SIP: TakeLine → 200 sent");
    const QString cpuFigure = QStringLiteral("SIP: CPU of one recorded call");
    const QString memoryFigure = QStringLiteral("SIP: memory added by the SIP back end");
    const QString lossFigure =
        QStringLiteral("SIP: frames lost between RTP and the voice file, long call, loaded");
    SipPeers peers;
    if (!peers.isRunning()) {
        for (const QString& figure : {ringFigure, takeFigure, cpuFigure, memoryFigure, lossFigure})
            bench::failed(figure, peers.errorString(), QStringLiteral("—"));
        return 1;
    }

    const Timings simulator = simulatorTimings();
    const Timings sip = sipTimings(peers);
    const double ring = bench::median(sip.ring), take = bench::median(sip.take);
    const double simRing = bench::median(simulator.ring), simTake = bench::median(simulator.take);
    bench::result(ringFigure, bench::ms(ring), bench::ms(simRing) + " (simulator's ring)",
                  bench::ratio(ring, simRing, "ours/ref"), QStringLiteral("< 50 ms"),
                  ring >= 0 && ring < 50);
    bench::result(takeFigure, bench::ms(take), bench::ms(simTake) + " (simulator's off-hook)",
                  bench::ratio(take, simTake, "ours/ref"), QStringLiteral("< 20 ms"),
                  take >= 0 && take < 20);

    // Memory: the simulator's back end with a call off-hook, then the SIP
    // back end with a recorded call, each from a trimmed heap.
    malloc_trim(0);
    double simulatorAdded = -1;
    {
        const double before = bench::residentBytes();
        LineSimulator simLine;
        QString error;
        simLine.listen(0, &error);
        DorvanePlus device;
        device.setLinePort(simLine.port());
        device.OpenDevice();
        idle(300);
        device.TakeLine();
        idle(2000);
        simulatorAdded = bench::residentBytes() - before;
    }
    malloc_trim(0);
    const double before = bench::residentBytes();
    auto line = std::make_unique<SipLine>(settingsFor(peers, 0));
    QSignalSpy opened(line.get(), &LineBackend::opened);
    line->open();
    if (!until([&] { return opened.size() == 1; }, 5000))
        bench::cause(cpuFigure, QStringLiteral("the desk did not register"));
    const double idleBefore = cpuSeconds();
    QElapsedTimer idleWall;
    idleWall.start();
    idle(kCpuSeconds * 1000);
    const double idleCpu = (cpuSeconds() - idleBefore) / (idleWall.nsecsElapsed() / 1e9);
    double cpu = 0;
    qint64 frames = 0;
    recordedCall(peers, *line, peers.folder() + "/cpu.vox", kCpuSeconds, &cpu, &frames);
    const double added = bench::residentBytes() - before;
    bench::result(cpuFigure, QString::number(cpu * 100, 'f', 2) + " % of a core",
                  QString::number(idleCpu * 100, 'f', 2) + " % (same desk idle)",
                  bench::ratio(cpu, idleCpu, "ours/ref"), QStringLiteral("< 2 %"),
                  frames > 0 && cpu < 0.02);
    bench::result(memoryFigure, bench::mib(added),
                  bench::mib(simulatorAdded) + " (simulator's back end)",
                  bench::ratio(added, simulatorAdded, "ours/ref"), QStringLiteral("< 15 MiB"),
                  added < 15 * 1024.0 * 1024.0);

    // The long call, both cores busy with other work.
    const int seconds = qEnvironmentVariableIntValue("BRENVO_BENCH_CALL_S") > 0
                            ? qEnvironmentVariableIntValue("BRENVO_BENCH_CALL_S")
                            : 600;
    SipPeers longPeers(seconds + 60);
    line = std::make_unique<SipLine>(settingsFor(longPeers, 0));
    QSignalSpy reopened(line.get(), &LineBackend::opened);
    line->open();
    if (!until([&] { return reopened.size() == 1; }, 5000))
        bench::cause(lossFigure, QStringLiteral("the desk did not register"));
    std::vector<std::unique_ptr<QProcess>> load;
    for (int i = 0; i < 2; ++i) {
        load.push_back(std::make_unique<QProcess>());
        load.back()->start(QStringLiteral("/usr/bin/python3"),
                           {QStringLiteral("-c"), QStringLiteral("while True: pass")});
    }
    const QString path = longPeers.folder() + "/long.vox";
    const SipUserAgent::Counts counts =
        recordedCall(longPeers, *line, path, seconds, &cpu, &frames);
    for (auto& hog : load) {
        hog->kill(); // by its process id
        hog->waitForFinished();
    }
    const qint64 recorded = VoxFile::decode(path).size() / 160;
    const qint64 lost = qint64(counts.dropped) + std::max<qint64>(0, frames - recorded);
    std::printf("long call %d s: %llu packets received, %llu played, %llu dropped; %lld frames "
                "mixed, %lld in the voice file\n",
                seconds, counts.received, counts.played, counts.dropped, frames, recorded);
    if (lost)
        bench::cause(lossFigure, QStringLiteral("%1 dropped by the jitter buffer, %2 not written")
                                     .arg(counts.dropped)
                                     .arg(frames - recorded));
    bench::result(lossFigure + QStringLiteral(" (%1 s)").arg(seconds), QString::number(lost),
                  QStringLiteral("%1 frames recorded").arg(recorded), QStringLiteral("—"),
                  QStringLiteral("0"), recorded > 0 && lost == 0);
    return 0;
}
