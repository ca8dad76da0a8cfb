// FtpCientOCX against the curl command line, both against brenvo-ftpd on
// loopback: a 60-minute recording (8000 Hz x 4 bit = 14,400,000 bytes) up and
// down, and 500 small uploads in a row over one connection. Prints the median
// times and the speed ratio curl time / our time (target: at least 0.9).

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "BenchResult.h"
#include "FtpCommands.h"
#include "FtpServer.h"
#include "platform/FtpCientOCX.h"

namespace {

constexpr qint64 kHourOfVox = 8000LL * 3600 / 2; // 4-bit samples: two per byte
constexpr int kRounds = 5;
constexpr int kSmallFiles = 500;
constexpr qint64 kSmallSize = 4096;

bool writeRandomFile(const QString& path, qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        data[i] = char(generator.generate());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == size;
}

QByteArray digest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (file.open(QIODevice::ReadOnly))
        hash.addData(&file);
    return hash.result();
}

// Runs ours and theirs alternately kRounds times (so that a busy moment of
// the machine hits both alike) and keeps the median time of each, in
// milliseconds, and the median of the side-by-side ratios; -1 when a run failed.
struct Pair
{
    double ours = -1;
    double theirs = -1;
    double speed = -1;
};

Pair medianOf(const std::function<bool()>& ours, const std::function<bool()>& theirs)
{
    QVector<double> oursTimes, theirTimes;
    bool oursFailed = false, theirsFailed = false;
    const auto time = [](const std::function<bool()>& run, QVector<double>& keep, bool& failed) {
        if (failed || !run)
            return;
        QElapsedTimer clock;
        clock.start();
        if (!run()) {
            failed = true;
            return;
        }
        keep << clock.nsecsElapsed() / 1e6;
    };
    for (int i = 0; i < kRounds; ++i) {
        time(ours, oursTimes, oursFailed);
        time(theirs, theirTimes, theirsFailed);
    }
    if (oursFailed || theirsFailed)
        return {oursFailed ? -1 : bench::median(oursTimes),
                theirsFailed ? -1 : bench::median(theirTimes)};
    return {bench::median(oursTimes), bench::median(theirTimes),
            bench::pairedRatio(theirTimes, oursTimes)};
}

bool runCurl(const QString& curl, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(curl, QStringList{QStringLiteral("-sS")} + arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void report(const char* what, const Pair& times, const char* theirName)
{
    const double ours = times.ours, theirs = times.theirs;
    const QString figure =
        QStringLiteral("FTP %1 (vs %2)").arg(QLatin1String(what), QLatin1String(theirName));
    const QString target = QStringLiteral("≥ 0.9 × curl speed");
    if (ours < 0 || theirs < 0) {
        std::printf("  %-22s FAILED (ours %.1f ms, %s %.1f ms)\n", what, ours, theirName, theirs);
        bench::failed(figure,
                      ours < 0 ? QStringLiteral("our run failed") : QStringLiteral("curl failed"),
                      target);
        return;
    }
    const double ratio = times.speed;
    std::printf("  %-22s FtpCientOCX %8.1f ms   %-10s %8.1f ms   paired ratio %.2f %s\n", what,
                ours, theirName, theirs, ratio,
                ratio >= 0.9 ? "(ok, target >= 0.9)" : "(BELOW 0.9)");
    bench::result(figure, bench::ms(ours), bench::ms(theirs),
                  bench::ratioOf(ratio, "curl/ours, paired"), target, ratio >= 0.9);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    QTemporaryDir work;
    FtpServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "bench_ftp: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const QString recording =
        QDir(work.path()).filePath(QStringLiteral("20260101090000_0001_A01.vox"));
    if (!writeRandomFile(recording, kHourOfVox, 60)) {
        std::fprintf(stderr, "bench_ftp: cannot write %s\n", qPrintable(recording));
        return 1;
    }
    const QByteArray recordingDigest = digest(recording);
    const QString base = QStringLiteral("ftp://%1:%2/").arg(server.host()).arg(server.port());
    const QString credentials = server.user() + u':' + server.password();

    std::printf("bench_ftp: brenvo-ftpd on %s:%d, median of %d alternating rounds\n",
                qPrintable(server.host()), server.port(), kRounds);
    std::printf("  60-minute .vox: %lld bytes\n", kHourOfVox);

    FtpCientOCX ftp;
    // Each of our runs logs in afresh, as each curl process must.
    const auto connect = [&] {
        ftp.FtpDisconnect();
        return ftp.FtpConnect(server.host(), server.user(), server.password(), server.port());
    };
    if (!connect()) {
        std::fprintf(stderr, "bench_ftp: %s\n", qPrintable(ftp.lastError()));
        return 1;
    }
    const std::function<bool()> none;

    // Upload: ours includes the SIZE check that proves the server holds the file.
    const Pair up = medianOf(
        [&] { return connect() && ftp.FtpUpload(recording, QStringLiteral("ours.vox")); },
        curl.isEmpty() ? none : [&] {
            return runCurl(curl, {QStringLiteral("-u"), credentials, QStringLiteral("-T"),
                                  recording, base + QStringLiteral("curl.vox")});
        });
    const bool upOk = digest(server.remoteFile(QStringLiteral("ours.vox"))) == recordingDigest;
    report("upload 14.4 MB", upOk ? up : Pair{-1, up.theirs}, "curl -T");

    const QString back = QDir(work.path()).filePath(QStringLiteral("back.vox"));
    const Pair down = medianOf(
        [&] { return connect() && ftp.FtpDownload(QStringLiteral("ours.vox"), back); },
        curl.isEmpty() ? none : [&] {
            return runCurl(curl, {QStringLiteral("-u"), credentials, QStringLiteral("-o"),
                                  QDir(work.path()).filePath(QStringLiteral("curl-back.vox")),
                                  base + QStringLiteral("ours.vox")});
        });
    const bool downOk = digest(back) == recordingDigest;
    report("download 14.4 MB", downOk ? down : Pair{-1, down.theirs}, "curl -o");

    // 500 small files in a row: ours after one FtpConnect over its one control
    // connection (FtpMakeDir/FtpChangeDir once), curl in one process with URL
    // globbing, which reuses its connection too.
    QStringList smallFiles;
    const QString smallDir = QDir(work.path()).filePath(QStringLiteral("small"));
    QDir().mkpath(smallDir);
    for (int i = 0; i < kSmallFiles; ++i) {
        smallFiles << QDir(smallDir).filePath(QStringLiteral("s%1.vox").arg(i, 3, 10, QChar(u'0')));
        writeRandomFile(smallFiles.last(), kSmallSize, quint32(i));
    }
    int ourRound = 0, curlRound = 0;
    int connections = 0;
    const Pair small = medianOf(
        [&] {
            const QString folder = QStringLiteral("ours%1").arg(ourRound++);
            if (!connect())
                return false;
            const int before = ftp.connectionsMade();
            ftp.FtpMakeDir(folder);
            ftp.FtpChangeDir(folder);
            for (const QString& file : smallFiles)
                if (!ftp.FtpUpload(file, QFileInfo(file).fileName()))
                    return false;
            connections = ftp.connectionsMade() - before + 1;
            return true;
        },
        curl.isEmpty() ? none : [&] {
            const QString folder = QStringLiteral("curl%1").arg(curlRound++);
            return runCurl(curl, {QStringLiteral("-u"), credentials, QStringLiteral("--ftp-create-dirs"),
                                  QStringLiteral("-T"), u'{' + smallFiles.join(u',') + u'}',
                                  base + folder + u'/'});
        });
    std::printf("  %d x %lld bytes, FtpCientOCX over %d control connection(s) per run; each of\n"
                "  its uploads also asks SIZE (one round trip more than curl -T)\n",
                kSmallFiles, kSmallSize, connections);
    report("500 small uploads", small, "curl -T {}");
    if (small.speed >= 0 && small.speed < 0.9) {
        const auto ours = bench::ourCommands([&] {
            connect();
            ftp.FtpMakeDir(QStringLiteral("oursv"));
            ftp.FtpChangeDir(QStringLiteral("oursv"));
            for (const QString& file : smallFiles)
                ftp.FtpUpload(file, QFileInfo(file).fileName());
        });
        const auto theirs = bench::curlCommands(
            curl, {QStringLiteral("-u"), credentials, QStringLiteral("--ftp-create-dirs"),
                   QStringLiteral("-T"), u'{' + smallFiles.join(u',') + u'}',
                   base + QStringLiteral("curlv/")});
        bench::cause(
            QStringLiteral("FTP 500 small uploads (vs curl -T {})"),
            QStringLiteral("FTP commands per file: ours %1; curl %2")
                .arg(bench::perFile(ours, kSmallFiles), bench::perFile(theirs, kSmallFiles)));
    }
    if (curl.isEmpty())
        std::printf("  curl not found: no comparison\n");
    ftp.FtpDisconnect();
    return upOk && downOk ? 0 : 1;
}
