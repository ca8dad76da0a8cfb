// FtpCientOCX against the real brenvo-ftpd server (pyftpdlib) on loopback.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "FtpServer.h"
#include "platform/FtpCientOCX.h"

namespace {

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(generator.generate() & 0xff);
    return data;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectAndDisconnect();
    void wrongPasswordIsRefused();
    void closedPortFailsQuickly();
    void operationsNeedAConnection();
    void uploadIsByteIdentical_data();
    void uploadIsByteIdentical();
    void uploadOfMissingLocalFileFails();
    void uploadReplacesRemoteFile();
    void makeAndChangeDirAreRelative();
    void changeDirToMissingFolderMakesUploadFail();
    void downloadReplacesEarlierFile();
    void failedDownloadKeepsEarlierFile_data();
    void failedDownloadKeepsEarlierFile();
    void refusedLogin();
    void dropMidTransfer_data();
    void dropMidTransfer();
    void diskFull();
    void failFirstTwoThenThirdAttemptWorks();
    void hangFailsWithinStallLimit();
    void uploadsReuseOneConnection();
    void eventsKeepFlowingDuringTransfer();
    void reentrantCallsAreRefused();
    void abortStopsTransfer();
    void destroyedDuringTransfer();

private:
    QString local(const QString& name) const { return QDir(m_local->path()).filePath(name); }
    bool connectTo(FtpCientOCX& ftp)
    {
        return ftp.FtpConnect(m_server->host(), m_server->user(), m_server->password(),
                              m_server->port());
    }
    QString makeLocalFile(const QString& name, qint64 size, quint32 seed = 1)
    {
        const QString path = local(name);
        if (!writeFile(path, randomBytes(size, seed)))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    std::unique_ptr<FtpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_local;
};

void TestFtpClient::init()
{
    m_server = std::make_unique<FtpServer>();
    QVERIFY2(m_server->isRunning(), qPrintable(m_server->errorString()));
    m_local = std::make_unique<QTemporaryDir>();
    QVERIFY(m_local->isValid());
}

void TestFtpClient::cleanup()
{
    m_server.reset();
    m_local.reset();
}

void TestFtpClient::connectAndDisconnect()
{
    FtpCientOCX ftp;
    QVERIFY(!ftp.isConnected());
    QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError()));
    QVERIFY(ftp.isConnected());
    QCOMPARE(ftp.currentDir(), QStringLiteral("/"));
    QCOMPARE(ftp.lastError(), QString());
    ftp.FtpDisconnect();
    QVERIFY(!ftp.isConnected());
    // The control can connect again after a disconnect.
    QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError()));
}

void TestFtpClient::wrongPasswordIsRefused()
{
    FtpCientOCX ftp;
    QVERIFY(!ftp.FtpConnect(m_server->host(), m_server->user(), QStringLiteral("wrong"),
                            m_server->port()));
    QVERIFY(!ftp.isConnected());
    QVERIFY2(ftp.lastError().contains(QStringLiteral("530")), qPrintable(ftp.lastError()));
}

void TestFtpClient::closedPortFailsQuickly()
{
    const int port = m_server->port();
    m_server->stop();
    FtpCientOCX ftp;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ftp.FtpConnect(QStringLiteral("127.0.0.1"), QStringLiteral("brenvo"),
                            QStringLiteral("x"), port));
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!ftp.lastError().isEmpty());
    QVERIFY(
        !ftp.FtpConnect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), 0));
}

void TestFtpClient::operationsNeedAConnection()
{
    FtpCientOCX ftp;
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 10);
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY2(ftp.lastError().contains(QStringLiteral("not connected")),
             qPrintable(ftp.lastError()));
    QVERIFY(!ftp.FtpDownload(QStringLiteral("a.vox"), local(QStringLiteral("b.vox"))));
    ftp.FtpDisconnect(); // harmless
    QVERIFY(connectTo(ftp));
    ftp.FtpDisconnect();
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
}

void TestFtpClient::uploadIsByteIdentical_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::newRow("empty file") << QStringLiteral("20260101093000_0001_A01.vox") << qint64(0);
    QTest::newRow("one byte") << QStringLiteral("one.vox") << qint64(1);
    QTest::newRow("one minute of voice")
        << QStringLiteral("20260101093000_0001_A01.vox") << qint64(8000 * 60 / 2);
    QTest::newRow("5 MB") << QStringLiteral("big.vox") << qint64(5 * 1024 * 1024);
    QTest::newRow("Korean name") << QStringLiteral("녹취_홍길동 상담.vox") << qint64(64 * 1024);
    QTest::newRow("odd characters") << QStringLiteral("a b%20#?;+&.vox") << qint64(100);
}

void TestFtpClient::uploadIsByteIdentical()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    const QString file = makeLocalFile(QStringLiteral("source.vox"), size, quint32(size));
    FtpCientOCX ftp;
    QSignalSpy progress(&ftp, &FtpCientOCX::TransferProgress);
    QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError()));
    QVERIFY2(ftp.FtpUpload(file, name), qPrintable(ftp.lastError()));
    QCOMPARE(ftp.lastError(), QString());
    QVERIFY(QFile::exists(m_server->remoteFile(name)));
    QVERIFY(readFile(m_server->remoteFile(name)) == readFile(file));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), size);
    QCOMPARE(progress.last().at(1).toLongLong(), size);
}

void TestFtpClient::uploadOfMissingLocalFileFails()
{
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    QVERIFY(!ftp.FtpUpload(local(QStringLiteral("missing.vox")), QStringLiteral("missing.vox")));
    QVERIFY2(ftp.lastError().contains(QStringLiteral("no such local file")),
             qPrintable(ftp.lastError()));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("missing.vox"))));
    // A folder is not a file either.
    QVERIFY(!ftp.FtpUpload(m_local->path(), QStringLiteral("folder.vox")));
}

void TestFtpClient::uploadReplacesRemoteFile()
{
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    const QString first = makeLocalFile(QStringLiteral("first.vox"), 5000, 1);
    const QString second = makeLocalFile(QStringLiteral("second.vox"), 300, 2);
    QVERIFY(ftp.FtpUpload(first, QStringLiteral("x.vox")));
    QVERIFY2(ftp.FtpUpload(second, QStringLiteral("x.vox")), qPrintable(ftp.lastError()));
    QVERIFY(readFile(m_server->remoteFile(QStringLiteral("x.vox"))) == readFile(second));
}

void TestFtpClient::makeAndChangeDirAreRelative()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 2000);
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    ftp.FtpMakeDir(QStringLiteral("TEMP"));
    QCOMPARE(ftp.lastError(), QString());
    ftp.FtpChangeDir(QStringLiteral("TEMP"));
    ftp.FtpMakeDir(QStringLiteral("20260101"));
    QCOMPARE(ftp.lastError(), QString());
    ftp.FtpChangeDir(QStringLiteral("20260101"));
    QCOMPARE(ftp.currentDir(), QStringLiteral("/TEMP/20260101"));
    QVERIFY2(ftp.FtpUpload(file, QStringLiteral("a.vox")), qPrintable(ftp.lastError()));
    QVERIFY(QFileInfo(m_server->remoteFile(QStringLiteral("TEMP"))).isDir());
    QVERIFY(readFile(m_server->remoteFile(QStringLiteral("TEMP/20260101/a.vox"))) ==
            readFile(file));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("20260101"))));

    // Every FtpConnect starts at the root again; making an existing folder is no error.
    QVERIFY(connectTo(ftp));
    QCOMPARE(ftp.currentDir(), QStringLiteral("/"));
    ftp.FtpMakeDir(QStringLiteral("TEMP"));
    QCOMPARE(ftp.lastError(), QString());
    ftp.FtpMakeDir(QStringLiteral("20260102"));
    ftp.FtpChangeDir(QStringLiteral("20260102"));
    QVERIFY(ftp.FtpUpload(file, QStringLiteral("b.vox")));
    QVERIFY(QFile::exists(m_server->remoteFile(QStringLiteral("20260102/b.vox"))));

    // "..", "." and several parts at once; a leading "/" starts at the root.
    ftp.FtpChangeDir(QStringLiteral(".."));
    QCOMPARE(ftp.currentDir(), QStringLiteral("/"));
    ftp.FtpChangeDir(QStringLiteral("TEMP/./20260101"));
    QCOMPARE(ftp.currentDir(), QStringLiteral("/TEMP/20260101"));
    ftp.FtpChangeDir(QStringLiteral("/20260102"));
    QCOMPARE(ftp.currentDir(), QStringLiteral("/20260102"));
    ftp.FtpChangeDir(QStringLiteral("../.."));
    QCOMPARE(ftp.currentDir(), QStringLiteral("/"));

    // Korean folder names travel too.
    ftp.FtpMakeDir(QStringLiteral("상담"));
    ftp.FtpChangeDir(QStringLiteral("상담"));
    QVERIFY2(ftp.FtpUpload(file, QStringLiteral("c.vox")), qPrintable(ftp.lastError()));
    QVERIFY(QFile::exists(m_server->remoteFile(QStringLiteral("상담/c.vox"))));
}

void TestFtpClient::changeDirToMissingFolderMakesUploadFail()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 100);
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    ftp.FtpChangeDir(QStringLiteral("nowhere"));
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY2(ftp.lastError().contains(QStringLiteral("550")), qPrintable(ftp.lastError()));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("a.vox"))));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("nowhere"))));
}

void TestFtpClient::downloadReplacesEarlierFile()
{
    const QByteArray first = randomBytes(70000, 7);
    const QByteArray second = randomBytes(1234, 8);
    QVERIFY(QDir().mkpath(m_server->remoteFile(QStringLiteral("20260101"))));
    QVERIFY(writeFile(m_server->remoteFile(QStringLiteral("20260101/a.vox")), first));
    QVERIFY(writeFile(m_server->remoteFile(QStringLiteral("20260101/b.vox")), second));

    FtpCientOCX ftp;
    const QString temp = local(QStringLiteral("RECDATA/Temp"));
    ftp.FtpMakeLocalDir(temp);
    QVERIFY(QFileInfo(temp).isDir());
    const QString target = QDir(temp).filePath(QStringLiteral("RemoteFile.vox"));
    QVERIFY(writeFile(target, "an earlier recording"));

    QSignalSpy progress(&ftp, &FtpCientOCX::TransferProgress);
    QVERIFY(connectTo(ftp));
    ftp.FtpChangeDir(QStringLiteral("20260101"));
    QVERIFY2(ftp.FtpDownload(QStringLiteral("a.vox"), target), qPrintable(ftp.lastError()));
    QVERIFY(readFile(target) == first);
#ifdef Q_OS_UNIX
    // The replaced file keeps its permissions (not the temporary file's 0600).
    QVERIFY(QFileInfo(target).permission(QFile::ReadOther));
#endif
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(first.size()));
    // A second fetch into the same file overwrites it, also with a shorter file.
    QVERIFY2(ftp.FtpDownload(QStringLiteral("b.vox"), target), qPrintable(ftp.lastError()));
    QVERIFY(readFile(target) == second);
    QCOMPARE(QDir(temp).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("RemoteFile.vox")});
}

void TestFtpClient::failedDownloadKeepsEarlierFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("remoteName");
    QTest::newRow("missing file") << QString() << QStringLiteral("missing.vox");
    QTest::newRow("dropped mid-transfer")
        << QStringLiteral("drop-mid-transfer") << QStringLiteral("a.vox");
}

void TestFtpClient::failedDownloadKeepsEarlierFile()
{
    QFETCH(QString, fault);
    QFETCH(QString, remoteName);
    QVERIFY(writeFile(m_server->remoteFile(QStringLiteral("a.vox")), randomBytes(200000, 3)));
    const QString target = local(QStringLiteral("RemoteFile.vox"));
    QVERIFY(writeFile(target, "an earlier recording"));
    QVERIFY(m_server->setFault(fault));

    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    QVERIFY(!ftp.FtpDownload(remoteName, target));
    QVERIFY(!ftp.lastError().isEmpty());
    QCOMPARE(readFile(target), QByteArray("an earlier recording"));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("RemoteFile.vox")});
    // Without an earlier file, nothing is left behind.
    QVERIFY(QFile::remove(target));
    QVERIFY(!ftp.FtpDownload(remoteName, target));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestFtpClient::refusedLogin()
{
    QVERIFY(m_server->setFault(QStringLiteral("refuse-login")));
    FtpCientOCX ftp;
    QVERIFY(!connectTo(ftp));
    QVERIFY(!ftp.isConnected());
    QVERIFY2(ftp.lastError().contains(QStringLiteral("530")), qPrintable(ftp.lastError()));
    // The server recovers without a restart.
    QVERIFY(m_server->setFault(QString()));
    QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError()));
}

void TestFtpClient::dropMidTransfer_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("1000 bytes") << qint64(1000);
    QTest::newRow("6 KiB") << qint64(6 * 1024);
    QTest::newRow("5 MB") << qint64(5 * 1024 * 1024);
}

void TestFtpClient::dropMidTransfer()
{
    QFETCH(qint64, size);
    const QString file = makeLocalFile(QStringLiteral("a.vox"), size);
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    QVERIFY(m_server->setFault(QStringLiteral("drop-mid-transfer")));
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY(!ftp.lastError().isEmpty());
    qInfo("lastError: %s", qPrintable(ftp.lastError()));
    QVERIFY(QFileInfo(m_server->remoteFile(QStringLiteral("a.vox"))).size() < size);
    // The retry after the server recovered works on the same control.
    QVERIFY(m_server->setFault(QString()));
    QVERIFY2(ftp.FtpUpload(file, QStringLiteral("a.vox")), qPrintable(ftp.lastError()));
    QVERIFY(readFile(m_server->remoteFile(QStringLiteral("a.vox"))) == readFile(file));
}

void TestFtpClient::diskFull()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 50000);
    QVERIFY(m_server->setFault(QStringLiteral("disk-full")));
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY2(ftp.lastError().contains(QStringLiteral("552")), qPrintable(ftp.lastError()));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("a.vox"))));
}

void TestFtpClient::failFirstTwoThenThirdAttemptWorks()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 30000);
    QVERIFY(m_server->setFault(QStringLiteral("fail-first:2")));
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    // As the call-end upload does: up to three attempts, stopping at the first success.
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY2(ftp.lastError().contains(QStringLiteral("451")), qPrintable(ftp.lastError()));
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY2(ftp.FtpUpload(file, QStringLiteral("a.vox")), qPrintable(ftp.lastError()));
    QVERIFY(readFile(m_server->remoteFile(QStringLiteral("a.vox"))) == readFile(file));
}

void TestFtpClient::hangFailsWithinStallLimit()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 30000);
    QVERIFY(QDir().mkpath(m_server->remoteFile(QStringLiteral("d"))));
    QVERIFY(writeFile(m_server->remoteFile(QStringLiteral("d/b.vox")), "recording"));
    QVERIFY(m_server->setFault(QStringLiteral("hang")));
    FtpCientOCX ftp;
    ftp.setStallTimeout(2);
    QCOMPARE(ftp.stallTimeout(), 2);
    QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError())); // the login is still answered

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    const qint64 uploadMs = clock.elapsed();
    QVERIFY2(ftp.lastError().contains(QStringLiteral("stall")), qPrintable(ftp.lastError()));
    QVERIFY2(uploadMs >= 1500 && uploadMs < 8000, qPrintable(QString::number(uploadMs)));

    clock.restart();
    ftp.FtpChangeDir(QStringLiteral("d"));
    QVERIFY(!ftp.FtpDownload(QStringLiteral("b.vox"), local(QStringLiteral("b.vox"))));
    QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!QFile::exists(local(QStringLiteral("b.vox"))));

    // Once the server answers again, the same control works again.
    QVERIFY(m_server->setFault(QString()));
    QVERIFY2(ftp.FtpUpload(file, QStringLiteral("a.vox")), qPrintable(ftp.lastError()));
}

void TestFtpClient::uploadsReuseOneConnection()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 4000);
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    ftp.FtpMakeDir(QStringLiteral("20260101"));
    ftp.FtpChangeDir(QStringLiteral("20260101"));
    for (int i = 0; i < 50; ++i)
        QVERIFY2(ftp.FtpUpload(file, QStringLiteral("f%1.vox").arg(i)),
                 qPrintable(ftp.lastError()));
    QCOMPARE(ftp.connectionsMade(), 1);
    QCOMPARE(QDir(m_server->remoteFile(QStringLiteral("20260101"))).entryList(QDir::Files).size(),
             50);
    // A new FtpConnect to the same server keeps the live connection.
    QVERIFY(connectTo(ftp));
    QCOMPARE(ftp.connectionsMade(), 1);
    ftp.FtpDisconnect();
    QVERIFY(connectTo(ftp));
    QCOMPARE(ftp.connectionsMade(), 2);
}

void TestFtpClient::eventsKeepFlowingDuringTransfer()
{
    // 2 MiB/s: a 5 MB upload takes about two seconds.
    const qint64 size = 5 * 1024 * 1024;
    const QString file = makeLocalFile(QStringLiteral("a.vox"), size);
    QVERIFY(m_server->setFault(QStringLiteral("slow:2048")));
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));

    bool inTransfer = false;
    int ticksInTransfer = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (inTransfer)
            ++ticksInTransfer;
    });
    QList<qint64> done;
    bool allOnCallingThread = true;
    QObject::connect(&ftp, &FtpCientOCX::TransferProgress, [&](qint64 d, qint64 total) {
        allOnCallingThread = allOnCallingThread && QThread::currentThread() == thread();
        if (total == size)
            done << d;
    });
    timer.start();

    QElapsedTimer clock;
    clock.start();
    inTransfer = true;
    const bool uploaded = ftp.FtpUpload(file, QStringLiteral("a.vox"));
    inTransfer = false;
    const qint64 uploadMs = clock.elapsed();
    QVERIFY2(uploaded, qPrintable(ftp.lastError()));
    qInfo("upload took %lld ms, %d timer ticks during it, %lld progress signals", uploadMs,
          ticksInTransfer, qint64(done.size()));
    QVERIFY2(uploadMs > 1000, "the slow fault should make the upload take a while");
    QVERIFY(ticksInTransfer >= int(uploadMs / 20 / 3));
    QVERIFY(allOnCallingThread);
    // (Socket buffers may swallow most of an upload at once; the server paces
    // the download, so that one must show values on the way.)
    QVERIFY(!done.isEmpty());
    QCOMPARE(done.last(), size);
    QVERIFY(std::is_sorted(done.begin(), done.end()));

    done.clear();
    ticksInTransfer = 0;
    clock.restart();
    inTransfer = true;
    const bool downloaded =
        ftp.FtpDownload(QStringLiteral("a.vox"), local(QStringLiteral("back.vox")));
    inTransfer = false;
    QVERIFY2(downloaded, qPrintable(ftp.lastError()));
    qInfo("download took %lld ms, %d timer ticks during it", clock.elapsed(), ticksInTransfer);
    QVERIFY(ticksInTransfer >= int(clock.elapsed() / 20 / 3));
    QVERIFY(std::any_of(done.begin(), done.end(), [&](qint64 d) { return d > 0 && d < size; }));
    QCOMPARE(done.last(), size);
    QVERIFY(readFile(local(QStringLiteral("back.vox"))) == readFile(file));
}

void TestFtpClient::reentrantCallsAreRefused()
{
    // 1 MiB/s: pyftpdlib lets the first second's worth through at once.
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 3 * 1024 * 1024);
    QVERIFY(m_server->setFault(QStringLiteral("slow:1024")));
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));

    int attempts = 0;
    bool anyAccepted = false;
    QString refusal;
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!ftp.isBusy())
            return;
        ++attempts;
        anyAccepted |= ftp.FtpUpload(file, QStringLiteral("b.vox"));
        refusal = ftp.lastError();
        anyAccepted |= ftp.FtpConnect(m_server->host(), m_server->user(), m_server->password(),
                                      m_server->port());
        anyAccepted |= ftp.FtpDownload(QStringLiteral("a.vox"), local(QStringLiteral("c.vox")));
        ftp.FtpMakeDir(QStringLiteral("x"));
        ftp.FtpChangeDir(QStringLiteral("x"));
        ftp.FtpDisconnect();
    });
    timer.start();
    QVERIFY2(ftp.FtpUpload(file, QStringLiteral("a.vox")), qPrintable(ftp.lastError()));
    timer.stop();
    QVERIFY(attempts > 0);
    QVERIFY(!anyAccepted);
    QVERIFY2(refusal.contains(QStringLiteral("refused")), qPrintable(refusal));
    QVERIFY(ftp.isConnected());
    QCOMPARE(ftp.currentDir(), QStringLiteral("/"));
    QVERIFY(readFile(m_server->remoteFile(QStringLiteral("a.vox"))) == readFile(file));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("b.vox"))));
    QVERIFY(!QFile::exists(m_server->remoteFile(QStringLiteral("x"))));
    QVERIFY(!QFile::exists(local(QStringLiteral("c.vox"))));
}

void TestFtpClient::abortStopsTransfer()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 5 * 1024 * 1024);
    QVERIFY(m_server->setFault(QStringLiteral("slow:1024")));
    FtpCientOCX ftp;
    QVERIFY(connectTo(ftp));
    QTimer::singleShot(300, &ftp, [&ftp] { ftp.abort(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ftp.FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY(clock.elapsed() < 3000);
    QVERIFY2(ftp.lastError().contains(QStringLiteral("aborted")), qPrintable(ftp.lastError()));
}

void TestFtpClient::destroyedDuringTransfer()
{
    const QString file = makeLocalFile(QStringLiteral("a.vox"), 5 * 1024 * 1024);
    QVERIFY(m_server->setFault(QStringLiteral("slow:1024")));
    auto* ftp = new FtpCientOCX;
    QPointer<FtpCientOCX> alive(ftp);
    QVERIFY(connectTo(*ftp));
    QTimer::singleShot(300, ftp, [ftp] { delete ftp; });
    QVERIFY(!ftp->FtpUpload(file, QStringLiteral("a.vox")));
    QVERIFY(alive.isNull());
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
