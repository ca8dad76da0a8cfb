// The bulk upload at login: 500 small recordings left unsent, sent by
// RecordingUpload::UploadPending over their local rows with the progress bar
// following, against one curl process sending the same files over one control
// connection. Target: at least 0.8 of curl's speed, with the progress shown
// live (a progress signal per file).

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cstdio>

#include "Awaited.h"
#include "BenchResult.h"
#include "FtpCommands.h"
#include "FtpServer.h"
#include "platform/FtpWorker.h"
#include "platform/OrvelMedia.h"
#include "ProgramFolderFixture.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"

namespace {

constexpr int kFiles = 500;
constexpr qint64 kSize = 4096;
constexpr int kRounds = 5;

bool writeRandomFile(const QString& path, quint32 seed)
{
    QByteArray data(kSize, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(data.data()), kSize / 4);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == kSize;
}

void resetRows(ProgramFolderFixture& f, const QString& day)
{
    for (const char* file : {"Brenvo.mdb", "branch0001.db"})
        f.exec(QString::fromLatin1(file),
               QStringLiteral("UPDATE recfile SET UploadStatus = '0' WHERE R_Date = '") + day +
                   u'\'');
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString figure = QStringLiteral("bulk upload, 500 × 4 KiB at login (vs one curl -T {…})");
    const QString target = QStringLiteral("≥ 0.8 × curl speed, ≥ 500 progress signals");
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    DemoOptions options;
    options.customers = 10;
    options.callHistory = false;
    ProgramFolderFixture f(options);
    FtpServer server;
    if (!f.isValid() || !server.isRunning() || curl.isEmpty()) {
        bench::failed(figure, f.isValid() ? server.errorString() : f.error(), target);
        return 1;
    }
    f.loginAs(QStringLiteral("kim"));
    f.session.FtpIP = server.host();
    f.session.FtpUser = server.user();
    f.session.FtpPwd = server.password();
    f.session.FtpPortNo = QString::number(server.port());

    // Yesterday's recordings, rows in both tables as a call leaves them when
    // the server was away.
    const QString day = QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyyMMdd"));
    const QString folder = f.path(QStringLiteral("RECDATA/") + day);
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < kFiles; ++i) {
        const QString name =
            day + QStringLiteral("%1").arg(i, 6, 10, QChar(u'0')) + QStringLiteral("0001kim.vox");
        files << QDir(folder).filePath(name);
        if (!writeRandomFile(files.last(), quint32(i))) {
            bench::failed(figure, QStringLiteral("cannot write ") + files.last(), target);
            return 1;
        }
    }
    const QString rows =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
                       "%1) INSERT INTO recfile (BranchID, TeamID, AgentID, Name, R_Tel, RecBound, "
                       "Status, R_Date, FolderName, R_Path, CustID, UploadStatus%2) SELECT '0001', "
                       "'01', 'kim', '어제고객', '01012340000', 'O', '1', '%3', '%3', "
                       "'%3' || printf('%06d', i) || '0001kim.vox', i, '0'%4 FROM n")
            .arg(kFiles - 1);
    const bool filled =
        f.exec(QStringLiteral("Brenvo.mdb"),
               QStringLiteral("UPDATE recfile SET UploadStatus = '1'")) &&
        f.exec(QStringLiteral("Brenvo.mdb"),
               rows.arg(QStringLiteral(", FileFullPath"), day,
                        QStringLiteral(", '") + folder + QStringLiteral("/' || '") + day +
                            QStringLiteral("' || printf('%06d', i) || '0001kim.vox'"))) &&
        f.exec(QStringLiteral("branch0001.db"), rows.arg(QString(), day, QString()));
    if (!filled) {
        bench::failed(figure, QStringLiteral("cannot write the recfile rows"), target);
        return 1;
    }

    Database& db = f.db;
    RecordingRecords records(db);
    OrvelMedia media;
    RecordingUpload upload(f.session, db, records, media);
    int progress = 0;
    QObject::connect(&upload, &RecordingUpload::progressValue, [&](int) { ++progress; });

    const QString base = QStringLiteral("ftp://%1:%2/").arg(server.host()).arg(server.port());
    const QString credentials = server.user() + u':' + server.password();
    const QString glob = u'{' + files.join(u',') + u'}';
    QVector<double> ours, theirs;
    int minProgress = kFiles, uploaded = 0, connections = 0;
    bool curlOk = true;
    for (int round = 0; round < kRounds; ++round) {
        // Each round starts from an empty server and unsent rows.
        QDir(server.remoteFile(day)).removeRecursively();
        resetRows(f, day);
        progress = 0;
        FtpWorker ftp;
        QElapsedTimer clock;
        clock.start();
        awaited<RecordingUpload::Pending>([&](auto done) { upload.UploadPending(ftp, done); });
        ours << clock.nsecsElapsed() / 1e6;
        connections = awaited<int>([&](auto done) {
            ftp.run<int>(
                &upload, [](FtpCientOCX& control) { return control.connectionsMade(); }, done);
        });
        minProgress = std::min(minProgress, progress);
        uploaded = QDir(server.remoteFile(day)).entryList(QDir::Files).size();

        // curl into a folder that already exists: no MKD, one connection.
        const QString curlFolder = QStringLiteral("curl%1").arg(round);
        QDir().mkpath(server.remoteFile(curlFolder));
        QProcess process;
        clock.restart();
        process.start(curl, {QStringLiteral("-sS"), QStringLiteral("-u"), credentials,
                             QStringLiteral("-T"), glob, base + curlFolder + u'/'});
        curlOk = curlOk && process.waitForFinished(600000) && process.exitCode() == 0;
        theirs << clock.nsecsElapsed() / 1e6;
        QDir(server.remoteFile(curlFolder)).removeRecursively();
    }
    const QStringList marked =
        f.rows(QStringLiteral("Brenvo.mdb"),
               QStringLiteral("SELECT count(*) FROM recfile WHERE R_Date = '") + day +
                   QStringLiteral("' AND UploadStatus = '1'"));
    const double o = bench::median(ours), t = bench::median(theirs);
    const double speed = bench::pairedRatio(theirs, ours);
    std::printf("bulk upload of %d x %lld bytes: UploadPending %.1f ms (median of %d), curl -T {} "
                "%.1f ms, paired ratio curl/ours %.2f; %d files on the server, %s rows marked, %d "
                "progress signals, %d control connection(s)\n",
                kFiles, kSize, o, kRounds, t, speed, uploaded, qPrintable(marked.value(0)),
                minProgress, connections);
    if (!curlOk || uploaded != kFiles || marked.value(0).toInt() != kFiles) {
        bench::failed(figure,
                      QStringLiteral("%1 of %2 files uploaded, %3 rows marked%4")
                          .arg(uploaded)
                          .arg(kFiles)
                          .arg(marked.value(0))
                          .arg(curlOk ? QString() : QStringLiteral(", curl failed")),
                      target);
        return 1;
    }
    resetRows(f, day);
    QDir(server.remoteFile(day)).removeRecursively();
    const auto ourTrace = bench::ourCommands([&] {
        FtpWorker ftp;
        awaited<RecordingUpload::Pending>([&](auto done) { upload.UploadPending(ftp, done); });
    });
    QDir().mkpath(server.remoteFile(QStringLiteral("curlv")));
    const auto curlTrace =
        bench::curlCommands(curl, {QStringLiteral("-u"), credentials, QStringLiteral("-T"), glob,
                                   base + QStringLiteral("curlv/")});
    const QString where =
        QStringLiteral("%1 control connection(s); FTP commands per file: ours %2, curl %3; time "
                       "per file: ours %4, curl %5 ms")
            .arg(connections)
            .arg(bench::perFile(ourTrace, kFiles), bench::perFile(curlTrace, kFiles))
            .arg(o / kFiles, 0, 'f', 2)
            .arg(t / kFiles, 0, 'f', 2);
    std::printf("  %s\n", qPrintable(where));
    if (speed < 0.8)
        bench::cause(figure, where);
    bench::result(figure, bench::ms(o) + QStringLiteral(", %1 progress").arg(minProgress),
                  bench::ms(t), bench::ratioOf(speed, "curl/ours, paired"), target,
                  speed >= 0.8 && minProgress >= kFiles);
    return 0;
}
