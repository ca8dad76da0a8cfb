// The window thread while the branch server stops answering in the middle of
// a call, as a hung server or a dropped network leaves it: brenvo-tds in a
// process of its own, stopped with SIGSTOP a second into the call and let go
// kHangSeconds later. Measured from the stop until the desk is idle again:
// the longest gap of a 1 ms heartbeat, and how long after a second caller's
// ring (due half a second after the hang-up) "인바운드" shows. References: the
// same heartbeat on the idle desk, and the first call's ring with the server
// answering.

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <thread>

#include "BenchResult.h"
#include "CallDesk.h"
#include "Heartbeat.h"
#include "StandInProcess.h"

namespace {
constexpr int kRuns = 3;
constexpr int kHangSeconds = 20;
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString stallFigure = QStringLiteral("UI stall while the branch server hangs mid-call");
    const QString ringFigure = QStringLiteral("ring → 인바운드 while the branch server hangs");
    const QString stallTarget = QStringLiteral("< 100 ms"), ringTarget = QStringLiteral("< 50 ms");
    const auto failed = [&](const QString& why) {
        bench::failed(stallFigure, why, stallTarget);
        bench::failed(ringFigure, why, ringTarget);
        return 1;
    };

    CallDesk d;
    StandInProcess server;
    QString error;
    if (!d.simulatorListening || !d.ftp.isRunning() || !server.start(d.f, &error))
        return failed(QStringLiteral("desk or server not ready ") + error);
    d.f.loginAs(QStringLiteral("kim"));
    d.useFtp(d.ftp);
    d.open();
    const QStringList callers =
        d.central(QStringLiteral("select MobileNumber from gogakinfo where AgentID = 'kim' order "
                                 "by ID limit 2"));

    Heartbeat beat;
    const double idle = beat.idle(2000);

    QElapsedTimer clock;
    clock.start();
    QVector<double> stalls, rings, answering;
    QStringList where;
    for (int run = 0; run < kRuns; ++run) {
        CallPtr call;
        qint64 ringAt = clock.elapsed(), shownAt = -1;
        d.f.windows.onShow = [&](Window w, const CallPtr& shownFor) {
            if (w == Window::SmallCall && !call) {
                answering << double(clock.elapsed() - ringAt);
                d.desk.device.TakeLine();
            } else if (w == Window::SmallCall) {
                shownAt = clock.elapsed();
                d.f.windows.finish(w);
                d.line.stopRinging();
            } else if (w == Window::CallerId) {
                shownFor->customer.kind = CustSelectKind::A;
                call = shownFor;
                d.f.windows.finish(w);
            } else if (w == Window::CallResult) {
                d.saveResult(shownFor, QStringLiteral("3"));
            }
        };
        d.line.ring(callers.value(0), &error);
        if (!QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 5000))
            return failed(QStringLiteral("the first call was not answered"));
        QTest::qWait(1000);

        // The server stops; it is let go from a thread of its own, as the
        // window thread may be the one waiting on it.
        server.hang(true);
        std::thread letGo([&server] {
            std::this_thread::sleep_for(std::chrono::seconds(kHangSeconds));
            server.hang(false);
        });
        beat.phase = QStringLiteral("hang-up");
        beat.start();
        d.line.hangUp();
        ringAt = clock.elapsed() + 500;
        QTimer::singleShot(500, [&] {
            beat.phase = QStringLiteral("second ring");
            d.line.ring(callers.value(1), &error);
        });
        const bool settled = QTest::qWaitFor(
            [&] {
                return shownAt >= 0 && call->stage() == Call::Stage::Finished &&
                       !d.calls.lineCall() && !d.controls.isEnabled(DeskControls::cmdStopCall);
            },
            (kHangSeconds + 120) * 1000);
        beat.stop();
        letGo.join();
        if (!settled)
            return failed(QStringLiteral("run %1: the desk did not come back to idle").arg(run));
        stalls << beat.longest();
        where << beat.where();
        rings << double(shownAt - ringAt);
        std::printf("  run %d: longest gap %.1f ms (%s); ring → 인바운드 %lld ms\n", run,
                    beat.longest(), qPrintable(beat.where()), shownAt - ringAt);
        QTest::qWait(1000);
    }

    const double stall = bench::median(stalls), ring = bench::median(rings);
    if (stall >= 100)
        bench::cause(stallFigure, QStringLiteral("the longest gaps come during: ") +
                                      where.join(QStringLiteral(", ")));
    bench::result(stallFigure, bench::ms(stall), bench::ms(idle) + QStringLiteral(" (idle desk)"),
                  bench::ratio(stall, idle, "ours/ref"), stallTarget, stall < 100);
    bench::result(ringFigure, bench::ms(ring),
                  bench::ms(bench::median(answering)) + QStringLiteral(" (server answering)"),
                  bench::ratio(ring, bench::median(answering), "ours/ref"), ringTarget, ring < 50);
    return 0;
}
