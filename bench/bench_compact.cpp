// Compaction of a local record file of 200,000 recordings (a third of them
// deleted again) at quit, against the sqlite3 shell's VACUUM of an identical
// file in the same run. Target: within 1.2 times sqlite3.

#include "BenchResult.h"
#include "DemoFolder.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "shell/LocalFileRotation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int Rows = 200000;
constexpr int Rounds = 5;

class SilentSink : public MessageSink
{
public:
    void showMessage(const QString&, const QString&, MessageIcon) override {}
    void setBusyCursor(bool) override {}
};

bool sqlite(const QString& file, const QString& sql)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {file, sql});
    return shell.waitForFinished(-1) && shell.exitStatus() == QProcess::NormalExit &&
           shell.exitCode() == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    QString error;
    DemoOptions options;
    options.customers = 10;
    if (!DemoFolder::create(dir.path(), options, &error)) {
        out << "demo folder: " << error << Qt::endl;
        return 1;
    }
    const QString local = dir.filePath(QStringLiteral("Brenvo.mdb"));
    const QString fill =
        QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
            "INSERT INTO recfile (BranchID, BranchName, TeamID, AgentID, Name, JuminNo, "
            "CampaignID, RegDate, R_Tel, "
            "RecBound, Status, R_Date, R_StartTime, R_EndTime, R_Time, FolderName, R_Path, CustID, "
            "UploadStatus, tMemo, "
            "FileFullPath) SELECT '0001', '강남지점', '01', 'kim', '홍길동' || i, '8001011234567', "
            "'10001', "
            "'2026-01-05', '01012345678', 'O', '4', '20260105', '093000', '093512', '312', "
            "'20260105', "
            "'20260105093000' || i || '.vox', i, '1', '고객이 다시 전화하기로 함', "
            "'C:/Brenvo/RECDATA/20260105/20260105093000' || i || '.vox' FROM n; "
            "DELETE FROM recfile WHERE ID % 3 = 0;")
            .arg(Rows);
    if (!sqlite(local, fill)) {
        out << "cannot fill " << local << Qt::endl;
        return 1;
    }
    const QString pristine = dir.filePath(QStringLiteral("pristine.db"));
    const QString reference = dir.filePath(QStringLiteral("reference.db"));
    QFile::copy(local, pristine);

    Session session;
    session.programFolder = dir.path();
    SilentSink sink;
    ErrorLog errors(dir.path(), sink);
    Database db(session, errors, sink);
    LocalFileRotation rotation(db);

    QVector<double> ours, theirs;
    bool referenceOk = true;
    for (int round = 0; round < Rounds; ++round) {
        QFile::remove(local);
        QFile::remove(reference);
        QFile::copy(pristine, local);
        QFile::copy(pristine, reference);
        QElapsedTimer timer;
        timer.start();
        rotation.CompactLocalDB();
        ours << timer.nsecsElapsed() / 1e6;
        timer.restart();
        if (!sqlite(reference, QStringLiteral("VACUUM"))) {
            out << "sqlite3 VACUUM failed" << Qt::endl;
            referenceOk = false;
        }
        theirs << timer.nsecsElapsed() / 1e6;
    }
    out << "rows " << Rows << ", file " << QFileInfo(pristine).size() / 1024 << " KiB -> "
        << QFileInfo(local).size() / 1024 << " KiB (sqlite3: " << QFileInfo(reference).size() / 1024
        << " KiB)" << Qt::endl;
    const double o = bench::median(ours), t = bench::median(theirs);
    out << "CompactLocalDB " << o << " ms, sqlite3 VACUUM " << t << " ms (median of " << Rounds
        << "), ratio " << QString::number(o / std::max(t, 1e-3), 'f', 2) << Qt::endl;
    const QString figure = QStringLiteral("compaction of 200,000 recfile rows (vs sqlite3 VACUUM)");
    const QString target = QStringLiteral("≤ 1.2 × sqlite3 time");
    const bool compacted = QFileInfo(local).size() < QFileInfo(pristine).size();
    if (!referenceOk || !compacted) {
        bench::failed(figure,
                      compacted ? QStringLiteral("sqlite3 failed")
                                : QStringLiteral("file not compacted"),
                      target);
        return 1;
    }
    bench::result(figure, bench::ms(o), bench::ms(t), bench::ratio(o, t, "ours/ref"), target,
                  o <= 1.2 * t);
    return 0;
}
