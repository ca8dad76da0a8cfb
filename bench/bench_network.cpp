// The desk over a branch network: the branch database on the TDS stand-in
// (through the real FreeTDS driver) and the FTP server, both behind
// tools/brenvo-latency at 0 ms and at 20 ms round trip. Each figure comes
// with what crossed the wire: database round trips and connections, FTP
// commands, and how long the program waited on each.
//
// - login click to the main window;
// - one inbound call from the ring to the result saved and the file
//   uploaded, after a first call of the session: physical database
//   connections (target 1), and the database's waiting time against the
//   statements sent (target: within 1.5 × statements × round trip);
// - the customer list of 32,767 rows (target at 20 ms: under 2 s, the rows
//   in blocks, not a round trip each);
// - the login's check of 31 days × 100 recordings with nothing to do
//   (targets: under 1 s at 0 ms, under 3 s at 20 ms);
// - the login's bulk upload of 500 files against curl -T {…} (targets at
//   20 ms: at least 0.9 of curl's speed, at most 2.5 FTP commands a file).

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <utility>

#include "Awaited.h"
#include "BenchResult.h"
#include "CallDesk.h"
#include "customers/CallResult.h"
#include "LatencyProxy.h"
#include "TdsServer.h"
#include "windows/Frm000000.h"
#include "windows/Frm100000.h"
#include "windows/QtWindowOpener.h"

namespace {

constexpr double kOneWayMs = 10; // a 20 ms round trip
const double kDelays[] = {0, kOneWayMs};

QString journalPath;

qsizetype statementsSent()
{
    QFile file(journalPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

QString rtt(double oneWay)
{
    return QStringLiteral("%1 ms").arg(2 * oneWay);
}

// What crossed the wire during one piece of work.
struct Wire
{
    int dbTurns = 0, dbConnections = 0, statements = 0;
    double dbWaited = 0;
    int ftpCommands = 0, ftpConnections = 0, dataConnections = 0;
    double ftpWaited = 0;
    QStringList commands;

    QString db() const
    {
        return QStringLiteral("%1 statements, %2 database round trips, %3 connections, %4 waited")
            .arg(statements)
            .arg(dbTurns)
            .arg(dbConnections)
            .arg(bench::ms(dbWaited));
    }
    QString ftp() const
    {
        return QStringLiteral("%1 FTP commands (%2), %3 control + %4 data connections, %5 waited")
            .arg(ftpCommands)
            .arg(commands.join(QStringLiteral(", ")))
            .arg(ftpConnections)
            .arg(dataConnections)
            .arg(bench::ms(ftpWaited));
    }
};

Wire wireSince(bench::LatencyProxy& proxy, qsizetype statementsBefore)
{
    Wire w;
    const QJsonObject all = proxy.stats();
    const QJsonObject tds = all.value(QStringLiteral("tds")).toObject();
    const QJsonObject ftp = all.value(QStringLiteral("ftp")).toObject();
    w.dbTurns = tds.value(QStringLiteral("turns")).toInt();
    w.dbConnections = tds.value(QStringLiteral("connections")).toInt();
    w.dbWaited = tds.value(QStringLiteral("waited_ms")).toDouble();
    w.statements = int(statementsSent() - statementsBefore);
    const QJsonObject commands = ftp.value(QStringLiteral("commands")).toObject();
    for (auto it = commands.begin(); it != commands.end(); ++it) {
        w.ftpCommands += it.value().toInt();
        w.commands << it.key() + u' ' + QString::number(it.value().toInt());
    }
    w.ftpConnections = ftp.value(QStringLiteral("connections")).toInt();
    w.dataConnections = ftp.value(QStringLiteral("data_connections")).toInt();
    w.ftpWaited = ftp.value(QStringLiteral("waited_ms")).toDouble();
    return w;
}

// A desk whose branch database (on the stand-in) and FTP server are reached
// through the proxy only.
struct NetworkDesk
{
    NetworkDesk()
        : proxy({{QStringLiteral("tds"), d.f.standIn() ? d.f.standIn()->port() : 0, false},
                 {QStringLiteral("ftp"), d.ftp.port(), true}})
    {
        if (!d.f.isValid() || !d.ftp.isRunning() || !proxy.isRunning() || !d.simulatorListening) {
            error = QStringLiteral("desk not ready: ") + d.f.error() + d.ftp.errorString() +
                    proxy.errorString();
            return;
        }
        SqlServerAddress address;
        address.port = proxy.port(QStringLiteral("tds"));
        const QString ftpPort = QString::number(proxy.port(QStringLiteral("ftp")));
        if (!DemoFolder::useSqlServer(d.f.path(), address, &error) ||
            !d.f.exec(QString::fromLatin1(DemoFolder::kDirectoryDb),
                      QStringLiteral("UPDATE TB_BRANCH SET FtpIP = '127.0.0.1', FtpPortNo = '%1', "
                                     "FtpUser = '%2', FtpPwd = '%3'")
                          .arg(ftpPort, d.ftp.user(), d.ftp.password()))) {
            error = QStringLiteral("cannot point the desk at the proxy: ") + error;
            return;
        }
        d.f.loginAs(QStringLiteral("kim"));
        d.f.session.FtpPortNo = ftpPort;
        d.f.session.FtpUser = d.ftp.user();
        d.f.session.FtpPwd = d.ftp.password();
    }

    CallDesk d;
    bench::LatencyProxy proxy;
    QString error;
};

// Login click to the main window on screen, on a fresh desk each run.
void login()
{
    const QString target = QStringLiteral("< 300 ms (0 ms), rounds trips reported");
    for (double delay : kDelays) {
        const QString figure =
            QStringLiteral("login click to main window, database at %1 round trip").arg(rtt(delay));
        QVector<double> times;
        Wire wire;
        for (int run = 0; run < 5; ++run) {
            NetworkDesk n;
            if (!n.error.isEmpty()) {
                bench::failed(figure, n.error, target);
                return;
            }
            CallDesk& d = n.d;
            d.f.session.AgentID.clear();
            Frm000000 loginWindow(d.desk.login);
            loginWindow.show();
            if (!QTest::qWaitForWindowExposed(&loginWindow))
                continue;
            QtWindowOpener opener;
            std::unique_ptr<Frm100000> mainWindow;
            QObject::connect(&loginWindow, &Frm000000::loggedIn, [&] {
                mainWindow = std::make_unique<Frm100000>(d.desk, opener);
                mainWindow->show();
                mainWindow->load();
            });
            loginWindow.TxtLoginID->setText(QStringLiteral("kim"));
            loginWindow.TxtLoginPass->setText(QStringLiteral("1234"));
            n.proxy.setDelay(delay);
            n.proxy.reset();
            const qsizetype before = statementsSent();
            QElapsedTimer t;
            t.start();
            loginWindow.lblLogin_Click();
            if (!mainWindow || !QTest::qWaitForWindowExposed(mainWindow.get())) {
                bench::failed(figure, QStringLiteral("main window not shown"), target);
                return;
            }
            times << t.nsecsElapsed() / 1e6;
            wire = wireSince(n.proxy, before);
        }
        const double ours = bench::median(times);
        std::printf("%s: %.1f ms median of %lld; %s\n", qPrintable(figure), ours,
                    qlonglong(times.size()), qPrintable(wire.db()));
        bench::result(figure,
                      bench::ms(ours) + QStringLiteral(", %1 round trips, %2 connections")
                                            .arg(wire.dbTurns)
                                            .arg(wire.dbConnections),
                      QStringLiteral("%1 statements").arg(wire.statements), QStringLiteral("—"),
                      delay ? QStringLiteral("round trips reported") : QStringLiteral("< 300 ms"),
                      delay || ours < 300);
    }
}

// One inbound call of a known customer, from the ring to the call finished
// (result saved, file uploaded, desk reset). False when it did not end so.
bool inboundCall(CallDesk& d, const QStringList& customer, double* ms)
{
    bool saved = false;
    CallPtr call;
    d.f.windows.onShow = [&](Window w, const CallPtr& shown) {
        if (w == Window::SmallCall) {
            // The dialog is open while the caller's number comes over the feed.
            d.f.windows.openCaptions << QStringLiteral("인바운드");
        } else if (w == Window::CallerId) {
            d.pick(shown, customer.value(0), CustSelectKind::B);
            call = shown;
        } else if (w == Window::CallResult) {
            CallResult result{d.desk.resultParts(), shown};
            result.load();
            result.cmbCallStatus_Click(2); // code 3: into the day folder
            saved = result.cmdRcResultSave_Click(QStringLiteral("통화 메모"), QString());
            d.f.windows.finish(w);
        }
    };
    d.callerIdLabels.clear();
    QString error;
    QElapsedTimer t;
    t.start();
    const bool rang = d.line.ring(customer.value(3), &error) &&
                      QTest::qWaitFor([&] { return !d.callerIdLabels.isEmpty(); }, 3000);
    d.f.windows.openCaptions.removeAll(QStringLiteral("인바운드"));
    if (rang)
        d.desk.device.TakeLine();
    if (!rang ||
        !QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 10000)) {
        std::printf("  the call was not answered: %s %s\n", qPrintable(error),
                    qPrintable(d.f.messages.texts().join(u'\n')));
        return false;
    }
    QTest::qWait(300); // the caller talks
    d.line.hangUp();
    const bool finished =
        QTest::qWaitFor([&] { return call && call->stage() == Call::Stage::Finished; }, 30000);
    *ms = t.nsecsElapsed() / 1e6;
    if (!finished || !saved)
        std::printf("  the call did not end: finished %d, saved %d %s\n", finished, saved,
                    qPrintable(d.f.messages.texts().join(u'\n')));
    return finished && saved &&
           QFileInfo(d.ftp.remoteFile(call->RecFileName.left(8) + u'/' + call->RecFileName))
                   .size() == QFileInfo(call->RecFilePath).size();
}

void calls()
{
    NetworkDesk n;
    const QString target = QStringLiteral("1 connection; database waits ≤ 1.5 × statements × RTT");
    const QString figureBase = QStringLiteral("one inbound call, ring to result saved and file "
                                              "uploaded, at %1 round trip");
    if (!n.error.isEmpty()) {
        bench::failed(figureBase.arg(QStringLiteral("0 ms")), n.error, target);
        return;
    }
    CallDesk& d = n.d;
    d.open();
    d.desk.customers.lookups.SetCmbTermCombo();
    const QStringList customer =
        d.central(QStringLiteral("select ID, Name, JuminNo, MobileNumber, CampaignID, DataType "
                                 "from gogakinfo where AgentID = 'kim' order by ID limit 1"))
            .value(0)
            .split(u'|');
    double ms = 0;
    // The session's first call.
    if (!inboundCall(d, customer, &ms)) {
        bench::failed(figureBase.arg(QStringLiteral("0 ms")), QStringLiteral("first call failed"),
                      target);
        return;
    }
    for (double delay : kDelays) {
        const QString figure = figureBase.arg(rtt(delay));
        n.proxy.setDelay(delay);
        QVector<double> times;
        Wire wire;
        for (int run = 0; run < 3; ++run) {
            QTest::qWait(1100); // voice files are named to the second
            n.proxy.reset();
            const qsizetype before = statementsSent();
            if (!inboundCall(d, customer, &ms)) {
                bench::failed(figure, QStringLiteral("call %1 did not finish whole").arg(run),
                              target);
                return;
            }
            times << ms;
            wire = wireSince(n.proxy, before);
        }
        const double roundTrip = 2 * delay;
        const double allowed = 1.5 * wire.statements * roundTrip;
        const bool met = wire.dbConnections <= 1 && (!delay || wire.dbWaited <= allowed);
        std::printf("%s: %.0f ms wall (median of %lld, with 300 ms of talk and the line's "
                    "delays); %s; %s\n",
                    qPrintable(figure), bench::median(times), qlonglong(times.size()),
                    qPrintable(wire.db()), qPrintable(wire.ftp()));
        bench::result(figure,
                      QStringLiteral("database %1 in %2 round trips, %3 connection(s); FTP %4 in "
                                     "%5 commands; wall %6")
                          .arg(bench::ms(wire.dbWaited))
                          .arg(wire.dbTurns)
                          .arg(wire.dbConnections)
                          .arg(bench::ms(wire.ftpWaited))
                          .arg(wire.ftpCommands)
                          .arg(bench::ms(bench::median(times))),
                      delay ? QStringLiteral("%1 statements × %2 = %3")
                                  .arg(wire.statements)
                                  .arg(rtt(delay), bench::ms(wire.statements * roundTrip))
                            : QStringLiteral("%1 statements").arg(wire.statements),
                      delay ? bench::ratio(wire.dbWaited, wire.statements * roundTrip,
                                           "waited/(statements × RTT)")
                            : QStringLiteral("—"),
                      target, met);
        if (!met)
            bench::cause(figure, wire.db() + QStringLiteral("; ") + wire.ftp());
    }
}

// The customer list at its 32,767-row cap through FreeTDS and the stand-in.
void customerList()
{
    DemoOptions options;
    options.customers = 40000;
    options.callHistory = false;
    ProgramFolderFixture f(options, Backend::StandIn);
    const QString target = QStringLiteral("< 2 s at 20 ms, rows in blocks");
    const QString figureBase =
        QStringLiteral("customer list, 32,767 rows through FreeTDS, at %1 round trip");
    bench::LatencyProxy proxy({{QStringLiteral("tds"), f.standIn() ? f.standIn()->port() : 0}});
    SqlServerAddress address;
    address.port = proxy.port(QStringLiteral("tds"));
    QString error;
    if (!f.isValid() || !proxy.isRunning() ||
        !DemoFolder::useSqlServer(f.path(), address, &error)) {
        bench::failed(figureBase.arg(QStringLiteral("0 ms")),
                      f.error() + proxy.errorString() + error, target);
        return;
    }
    f.loginAs(QStringLiteral("kim"));
    f.exec(QString::fromLatin1(DemoFolder::kBranchDb),
           QStringLiteral("UPDATE gogakinfo SET AgentID = 'kim', Status = '0'"));
    CustomerPanel panel;
    DeskControls desk;
    SpreadModel list(41);
    CustomerSide side(f.db, panel, desk, list, f.messages);
    for (double delay : kDelays) {
        const QString figure = figureBase.arg(rtt(delay));
        proxy.setDelay(delay);
        QVector<double> times;
        Wire wire;
        for (int run = 0; run < 3; ++run) {
            proxy.reset();
            const qsizetype before = statementsSent();
            QElapsedTimer t;
            t.start();
            side.search.GetCustList(QStringLiteral("0"), QString(), QString(), QString(), QString(),
                                    QStringLiteral("999"));
            f.answered(); // the link reads it, off the window thread
            times << t.nsecsElapsed() / 1e6;
            wire = wireSince(proxy, before);
        }
        const double ours = bench::median(times);
        std::printf("%s: %.1f ms median of %lld, %d rows; %s\n", qPrintable(figure), ours,
                    qlonglong(times.size()), list.MaxRows(), qPrintable(wire.db()));
        if (list.MaxRows() != 32767) {
            bench::failed(figure, QStringLiteral("list holds %1 rows").arg(list.MaxRows()), target);
            continue;
        }
        const bool met = wire.dbTurns < 100 && (!delay || ours < 2000);
        bench::result(
            figure, bench::ms(ours) + QStringLiteral(", %1 round trips").arg(wire.dbTurns),
            QStringLiteral("%1 statements").arg(wire.statements), QStringLiteral("—"),
            delay ? QStringLiteral("< 2 s, rows in blocks") : QStringLiteral("rows in blocks"),
            met);
        if (!met)
            bench::cause(figure, wire.db());
    }
}

// Recordings of this agent over the last days, each of that many bytes:
// sent (every copy on the server whole, the rows marked) or left unsent (no
// server copy, the rows waiting).
bool fillRecordings(NetworkDesk& n, int days, int perDay, qsizetype bytes, bool sent)
{
    ProgramFolderFixture& f = n.d.f;
    const QByteArray voice(bytes, '\x11');
    for (int day = 0; day < days; ++day) {
        const QString folder =
            QDate::currentDate().addDays(-day).toString(QStringLiteral("yyyyMMdd"));
        QDir().mkpath(f.path(QStringLiteral("RECDATA/") + folder));
        QDir().mkpath(n.d.ftp.remoteFile(folder));
        for (int i = 0; i < perDay; ++i) {
            const QString name = folder + QStringLiteral("%1").arg(i * 10, 6, 10, QChar(u'0')) +
                                 QStringLiteral("0001kim.vox");
            QStringList copies{f.path(QStringLiteral("RECDATA/") + folder + u'/' + name)};
            if (sent)
                copies << n.d.ftp.remoteFile(folder + u'/' + name);
            for (const QString& path : copies) {
                QFile file(path);
                if (!file.open(QIODevice::WriteOnly) || file.write(voice) != voice.size())
                    return false;
            }
        }
        const QString rows =
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < %1) INSERT INTO recfile (BranchID, TeamID, AgentID, RecBound, "
                           "Status, R_Date, FolderName, R_Path, UploadStatus%2) SELECT '0001', "
                           "'01', 'kim', 'I', '3', '%3', '%3', '%3' || printf('%06d', i * 10) || "
                           "'0001kim.vox', '%4'%5 FROM n")
                .arg(perDay - 1);
        const QString local = QStringLiteral(", '") + f.path(QStringLiteral("RECDATA/")) + folder +
                              QStringLiteral("/' || '") + folder +
                              QStringLiteral("' || printf('%06d', i * 10) || '0001kim.vox'");
        const QString status = sent ? QStringLiteral("1") : QStringLiteral("0");
        if (!f.exec(QString::fromLatin1(DemoFolder::kLocalDb),
                    rows.arg(QStringLiteral(", FileFullPath"), folder, status, local)) ||
            !f.exec(QString::fromLatin1(DemoFolder::kBranchDb),
                    rows.arg(QString(), folder, status, QString())))
            return false;
    }
    return true;
}

// The login's bulk upload of 500 recordings left unsent, against one
// curl -T {…} of the same files into an existing folder, both through the
// proxy, side by side; the FTP commands per file beside the times.
void bulkUpload()
{
    constexpr int kFiles = 500;
    NetworkDesk n;
    const QString figureBase = QStringLiteral("bulk upload, 500 × 4 KiB at login, at %1 round "
                                              "trip (vs one curl -T {…} through the same proxy)");
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (!n.error.isEmpty() || curl.isEmpty() ||
        !n.d.f.exec(QString::fromLatin1(DemoFolder::kLocalDb),
                    QStringLiteral("UPDATE recfile SET UploadStatus = '1'")) ||
        !fillRecordings(n, 1, kFiles, 4096, false)) {
        bench::failed(figureBase.arg(QStringLiteral("0 ms")),
                      n.error.isEmpty() ? QStringLiteral("no curl, or cannot write the recordings")
                                        : n.error,
                      QStringLiteral("≥ 0.9 × curl"));
        return;
    }
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QDir folder(n.d.f.path(QStringLiteral("RECDATA/") + day));
    QStringList files;
    for (const QString& name : folder.entryList(QDir::Files))
        files << folder.filePath(name);
    const QStringList curlArguments{
        QStringLiteral("-sS"),
        QStringLiteral("-u"),
        n.d.ftp.user() + u':' + n.d.ftp.password(),
        QStringLiteral("-T"),
        u'{' + files.join(u',') + u'}',
        QStringLiteral("ftp://127.0.0.1:%1/curl/").arg(n.proxy.port(QStringLiteral("ftp")))};
    const auto waiting = [&](const QString& sql) {
        return n.d.local(sql).value(0).toInt() + n.d.central(sql).value(0).toInt();
    };
    for (double delay : kDelays) {
        const QString figure = figureBase.arg(rtt(delay));
        const QString target = delay ? QStringLiteral("≥ 0.9 × curl, ≤ 2.5 FTP commands a file")
                                     : QStringLiteral("≤ 2.5 FTP commands a file");
        n.proxy.setDelay(delay);
        QVector<double> ours, theirs;
        Wire ourWire, curlWire;
        bool whole = true;
        for (int round = 0; round < (delay ? 2 : 3); ++round) {
            QDir(n.d.ftp.remoteFile(day)).removeRecursively();
            QDir(n.d.ftp.remoteFile(QStringLiteral("curl"))).removeRecursively();
            QDir().mkpath(n.d.ftp.remoteFile(QStringLiteral("curl")));
            for (const char* db : {DemoFolder::kLocalDb, DemoFolder::kBranchDb})
                n.d.f.exec(QString::fromLatin1(db),
                           QStringLiteral("UPDATE recfile SET UploadStatus = '0'"));
            n.proxy.reset();
            qsizetype before = statementsSent();
            QElapsedTimer clock;
            clock.start();
            {
                FtpWorker ftp;
                awaited<RecordingUpload::Pending>(
                    [&](auto done) { n.d.desk.upload.UploadPending(ftp, done); });
            }
            ours << clock.nsecsElapsed() / 1e6;
            ourWire = wireSince(n.proxy, before);
            whole =
                whole && QDir(n.d.ftp.remoteFile(day)).entryList(QDir::Files).size() == kFiles &&
                waiting(QStringLiteral("SELECT count(*) FROM recfile WHERE UploadStatus = '1'")) ==
                    2 * kFiles;

            n.proxy.reset();
            before = statementsSent();
            QProcess process;
            clock.restart();
            process.start(curl, curlArguments);
            whole = whole && process.waitForFinished(600000) && process.exitCode() == 0;
            theirs << clock.nsecsElapsed() / 1e6;
            curlWire = wireSince(n.proxy, before);
        }
        const double speed = bench::pairedRatio(theirs, ours);
        const double perFile = double(ourWire.ftpCommands) / kFiles;
        std::printf("%s: ours %.0f ms, curl %.0f ms (medians), curl/ours %.2f; ours %s; %s; curl "
                    "%s\n",
                    qPrintable(figure), bench::median(ours), bench::median(theirs), speed,
                    qPrintable(ourWire.ftp()), qPrintable(ourWire.db()),
                    qPrintable(curlWire.ftp()));
        if (!whole) {
            bench::failed(figure, QStringLiteral("not every file sent whole and marked"), target);
            continue;
        }
        const bool met = perFile <= 2.5 && (!delay || speed >= 0.9);
        bench::result(
            figure,
            bench::ms(bench::median(ours)) +
                QStringLiteral(", %1 FTP commands a file").arg(perFile, 0, 'f', 2),
            bench::ms(bench::median(theirs)) +
                QStringLiteral(", %1 a file").arg(double(curlWire.ftpCommands) / kFiles, 0, 'f', 2),
            bench::ratioOf(speed, "curl/ours, paired"), target, met);
        if (!met)
            bench::cause(figure, QStringLiteral("ours: ") + ourWire.ftp() + QStringLiteral("; ") +
                                     ourWire.db() + QStringLiteral("; curl: ") + curlWire.ftp());
    }
}

void reconciliation()
{
    NetworkDesk n;
    const QString figureBase =
        QStringLiteral("login check of 31 days × 100 recordings, nothing to do, at %1 round trip");
    if (!n.error.isEmpty() ||
        !n.d.f.exec(QString::fromLatin1(DemoFolder::kLocalDb),
                    QStringLiteral("DELETE FROM recfile")) ||
        !fillRecordings(n, 31, 100, 800, true)) {
        bench::failed(figureBase.arg(QStringLiteral("0 ms")),
                      n.error.isEmpty() ? QStringLiteral("cannot write the recordings") : n.error,
                      QStringLiteral("< 1 s"));
        return;
    }
    RecordingReconciliation& check = n.d.desk.reconciliation;
    for (double delay : kDelays) {
        const QString figure = figureBase.arg(rtt(delay));
        const double limit = delay ? 3000 : 1000;
        const QString target = QStringLiteral("< %1 s").arg(limit / 1000);
        n.proxy.setDelay(delay);
        QVector<double> times;
        Wire wire;
        bool clean = true;
        for (int run = 0; run < 3; ++run) {
            FtpWorker ftp;
            n.proxy.reset();
            const qsizetype before = statementsSent();
            QElapsedTimer t;
            t.start();
            const auto found = awaited<RecordingReconciliation::Findings>(
                [&](auto done) { check.Reconcile(ftp, done); });
            times << t.nsecsElapsed() / 1e6;
            wire = wireSince(n.proxy, before);
            clean = clean && !found.any() && found.files == 3100;
        }
        const double ours = bench::median(times);
        std::printf("%s: %.1f ms median of %lld; %s; %s\n", qPrintable(figure), ours,
                    qlonglong(times.size()), qPrintable(wire.db()), qPrintable(wire.ftp()));
        if (!clean) {
            bench::failed(figure, QStringLiteral("the check found something to do"), target);
            continue;
        }
        bench::result(figure,
                      bench::ms(ours) + QStringLiteral(", %1 database round trips, %2 FTP commands "
                                                       "over %3 connections")
                                            .arg(wire.dbTurns)
                                            .arg(wire.ftpCommands)
                                            .arg(wire.ftpConnections),
                      QStringLiteral("—"), QStringLiteral("—"), target, ours < limit);
        if (ours >= limit)
            bench::cause(figure, wire.db() + QStringLiteral("; ") + wire.ftp());
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Every statement sent to the stand-in, to count them.
    QTemporaryDir journal;
    journalPath = journal.filePath(QStringLiteral("statements.jsonl"));
    qputenv("BRENVO_SQL_JOURNAL", journalPath.toUtf8());
    Backends::use(Backend::StandIn);
    const std::pair<const char*, void (*)()> parts[] = {{"login", login},
                                                        {"calls", calls},
                                                        {"customers", customerList},
                                                        {"reconciliation", reconciliation},
                                                        {"upload", bulkUpload}};
    // ONLY=name runs that part alone.
    const QByteArray only = qgetenv("ONLY");
    for (const auto& [name, run] : parts)
        if (only.isEmpty() || only == name)
            run();
    return 0;
}
