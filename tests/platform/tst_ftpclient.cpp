// FtpCientOCX against the real brenvo-ftpd server (pyftpdlib) on loopback.

#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "FtpServer.h"
#include "platform/FtpCientOCX.h"
#include "platform/FtpWorker.h"

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

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

    QString local(const QString& name) const { return QDir(m_local->path()).filePath(name); }
    QByteArray remote(const QString& name) const { return readFile(m_server->remoteFile(name)); }
    bool connectTo(FtpCientOCX& ftp, const QString& password = QString())
    {
        ftp.setTls({FtpCientOCX::Tls::Mode::Try, m_server->caFile()});
        return ftp.FtpConnect(m_server->host(), m_server->user(),
                              password.isEmpty() ? m_server->password() : password,
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

private slots:
    // Every test runs against a plain server and one that requires TLS.
    void initTestCase_data()
    {
        QTest::addColumn<FtpServer::Tls>("tls");
        QTest::newRow("plain") << FtpServer::Tls::None;
        QTest::newRow("TLS") << FtpServer::Tls::Required;
    }
    void init()
    {
        QFETCH_GLOBAL(FtpServer::Tls, tls);
        m_server = std::make_unique<FtpServer>(QString(), tls);
        QVERIFY2(m_server->isRunning(), qPrintable(m_server->errorString()));
        m_local = std::make_unique<QTemporaryDir>();
        QVERIFY(m_local->isValid());
    }
    void connectionAndLogin()
    {
        FtpCientOCX ftp;
        const QString file = makeLocalFile("a.vox", 10);
        QVERIFY(!ftp.FtpUpload(file, "a.vox"));
        QVERIFY2(ftp.lastError().contains("not connected"), qPrintable(ftp.lastError()));
        QVERIFY(!ftp.FtpDownload("a.vox", local("b.vox")));
        ftp.FtpDisconnect(); // harmless
        QVERIFY(!connectTo(ftp, "wrong"));
        QVERIFY(!ftp.isConnected());
        QVERIFY2(ftp.lastError().contains("530"), qPrintable(ftp.lastError()));

        QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError()));
        QVERIFY(ftp.isConnected());
        QCOMPARE(ftp.currentDir(), QString("/"));
        QCOMPARE(ftp.lastError(), QString());
        ftp.FtpDisconnect();
        QVERIFY(!ftp.isConnected());
        QVERIFY(!ftp.FtpUpload(file, "a.vox"));

        const int port = m_server->port();
        m_server->stop();
        FtpCientOCX closed;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!closed.FtpConnect("127.0.0.1", "brenvo", "x", port));
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!closed.lastError().isEmpty());
        QVERIFY(!closed.FtpConnect("127.0.0.1", "u", "p", 0));
    }

    void uploadIsByteIdentical_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::newRow("empty file") << "20260101093000_0001_A01.vox" << qint64(0);
        QTest::newRow("one byte") << "one.vox" << qint64(1);
        QTest::newRow("one minute of voice") << "20260101093000_0001_A01.vox" << qint64(240000);
        QTest::newRow("Korean name") << "녹취_홍길동 상담.vox" << qint64(64 * 1024);
        QTest::newRow("odd characters") << "a b%20#?;+&.vox" << qint64(100);
    }
    void uploadIsByteIdentical()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        const QString file = makeLocalFile("source.vox", size, quint32(size));
        // What the server held before is replaced, also by a shorter file.
        QVERIFY(writeFile(m_server->remoteFile(name), randomBytes(5000, 99)));
        FtpCientOCX ftp;
        QSignalSpy progress(&ftp, &FtpCientOCX::TransferProgress);
        QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError()));
        QVERIFY2(ftp.FtpUpload(file, name), qPrintable(ftp.lastError()));
        QCOMPARE(ftp.lastError(), QString());
        QVERIFY(remote(name) == readFile(file));
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), size);
        QCOMPARE(progress.last().at(1).toLongLong(), size);
    }

    void uploadIsRefused_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing local file") << "missing" << QString() << "no such local file";
        QTest::newRow("local folder") << "folder" << QString() << "no such local file";
        QTest::newRow("missing remote folder") << "file in nowhere" << QString() << "550";
        QTest::newRow("disk full") << "file" << QStringLiteral("disk-full") << "552";
    }
    void uploadIsRefused()
    {
        QFETCH(QString, source);
        QFETCH(QString, fault);
        QFETCH(QString, error);
        const QString file = source == "folder"    ? m_local->path()
                             : source == "missing" ? local("a.vox")
                                                   : makeLocalFile("a.vox", 50000);
        QVERIFY(m_server->setFault(fault));
        FtpCientOCX ftp;
        QVERIFY(connectTo(ftp));
        ftp.FtpChangeDir(source == "file in nowhere" ? "nowhere" : ".");
        QVERIFY(!ftp.FtpUpload(file, "a.vox"));
        QVERIFY2(!ftp.lastError().isEmpty() && ftp.lastError().contains(error),
                 qPrintable(ftp.lastError()));
        // Nothing reached the server, no folder either.
        QCOMPARE(QDir(m_server->root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void uploadFailsThenSucceeds_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("endsByItself");
        QTest::newRow("drop, 1000 bytes")
            << "drop-mid-transfer" << qint64(1000) << 1 << "" << false;
        QTest::newRow("drop, 6 KiB") << "drop-mid-transfer" << qint64(6 * 1024) << 1 << "" << false;
        QTest::newRow("drop, 5 MB")
            << "drop-mid-transfer" << qint64(5 * 1024 * 1024) << 1 << "" << false;
        QTest::newRow("first two fail") << "fail-first:2" << qint64(30000) << 2 << "451" << true;
    }
    void uploadFailsThenSucceeds()
    {
        QFETCH(QString, fault);
        QFETCH(qint64, size);
        QFETCH(int, failures);
        QFETCH(QString, error);
        QFETCH(bool, endsByItself);
        const QString file = makeLocalFile("a.vox", size);
        FtpCientOCX ftp;
        QVERIFY(connectTo(ftp));
        QVERIFY(m_server->setFault(fault));
        // As the call-end upload does: attempts on the same control until the first success.
        for (int i = 0; i < failures; ++i) {
            QVERIFY(!ftp.FtpUpload(file, "a.vox"));
            QVERIFY2(!ftp.lastError().isEmpty() && ftp.lastError().contains(error),
                     qPrintable(ftp.lastError()));
            QVERIFY(QFileInfo(m_server->remoteFile("a.vox")).size() < size);
        }
        if (!endsByItself)
            QVERIFY(m_server->setFault(QString()));
        QVERIFY2(ftp.FtpUpload(file, "a.vox"), qPrintable(ftp.lastError()));
        QVERIFY(remote("a.vox") == readFile(file));
    }

    void hangFailsWithinStallLimit()
    {
        const QString file = makeLocalFile("a.vox", 30000);
        QVERIFY(writeFile(m_server->remoteFile("b.vox"), "recording"));
        QVERIFY(m_server->setFault("hang"));
        FtpCientOCX ftp;
        ftp.setStallTimeout(2);
        QVERIFY2(connectTo(ftp), qPrintable(ftp.lastError())); // the login is still answered

        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ftp.FtpUpload(file, "a.vox"));
        const qint64 uploadMs = clock.restart();
        QVERIFY2(ftp.lastError().contains("stall"), qPrintable(ftp.lastError()));
        QVERIFY2(uploadMs >= 1500 && uploadMs < 8000, qPrintable(QString::number(uploadMs)));
        QVERIFY(!ftp.FtpDownload("b.vox", local("b.vox")));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!QFile::exists(local("b.vox")));

        QVERIFY(m_server->setFault(QString()));
        QVERIFY2(ftp.FtpUpload(file, "a.vox"), qPrintable(ftp.lastError()));
    }

    void foldersAreRelative()
    {
        const QString file = makeLocalFile("a.vox", 2000);
        FtpCientOCX ftp;
        QVERIFY(connectTo(ftp));
        ftp.FtpMakeDir("TEMP");
        ftp.FtpChangeDir("TEMP");
        ftp.FtpMakeDir("20260101");
        ftp.FtpChangeDir("20260101");
        QCOMPARE(ftp.currentDir(), QString("/TEMP/20260101"));
        QVERIFY2(ftp.FtpUpload(file, "a.vox"), qPrintable(ftp.lastError()));
        QVERIFY(remote("TEMP/20260101/a.vox") == readFile(file));
        QVERIFY(!QFile::exists(m_server->remoteFile("20260101")));

        // Every FtpConnect starts at the root again; making an existing folder is no error.
        QVERIFY(connectTo(ftp));
        QCOMPARE(ftp.currentDir(), QString("/"));
        ftp.FtpMakeDir("TEMP");
        QCOMPARE(ftp.lastError(), QString());
    }

    void download_data()
    {
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("fault");
        QTest::newRow("replaces the earlier file") << "a.vox" << true << QString();
        QTest::newRow("missing file") << "missing.vox" << false << QString();
        QTest::newRow("dropped mid-transfer") << "a.vox" << false << "drop-mid-transfer";
    }
    void download()
    {
        QFETCH(QString, fault);
        QFETCH(QString, remoteName);
        QFETCH(bool, ok);
        const QByteArray first = randomBytes(200000, 3), second = randomBytes(1234, 8);
        QVERIFY(writeFile(m_server->remoteFile("a.vox"), first));
        QVERIFY(writeFile(m_server->remoteFile("b.vox"), second));
        FtpCientOCX ftp;
        const QString temp = local("RECDATA/Temp"), target = temp + "/RemoteFile.vox";
        ftp.FtpMakeLocalDir(temp);
        QVERIFY(writeFile(target, "an earlier recording"));
        QVERIFY(m_server->setFault(fault));
        QSignalSpy progress(&ftp, &FtpCientOCX::TransferProgress);
        QVERIFY(connectTo(ftp));
        QCOMPARE(ftp.FtpDownload(remoteName, target), ok);
        QVERIFY2(ftp.lastError().isEmpty() == ok, qPrintable(ftp.lastError()));
        QVERIFY(readFile(target) == (ok ? first : QByteArray("an earlier recording")));
        QCOMPARE(filesIn(temp), QStringList{"RemoteFile.vox"});
        if (ok) {
#ifdef Q_OS_UNIX
            // The replaced file keeps its permissions (not the temporary file's 0600).
            QVERIFY(QFileInfo(target).permission(QFile::ReadOther));
#endif
            QCOMPARE(progress.last().at(0).toLongLong(), qint64(first.size()));
            QVERIFY2(ftp.FtpDownload("b.vox", target), qPrintable(ftp.lastError()));
            QVERIFY(readFile(target) == second);
        } else {
            // Without an earlier file, nothing is left behind.
            QVERIFY(QFile::remove(target));
            QVERIFY(!ftp.FtpDownload(remoteName, target));
            QCOMPARE(filesIn(temp), QStringList());
        }
    }

    // Each TLS setting against each server: the connection and a transfer
    // with its size check, or the connection refused and why.
    void tls_data()
    {
        QTest::addColumn<FtpServer::Tls>("server");
        QTest::addColumn<QString>("setting");   // FtpTls
        QTest::addColumn<QString>("authority"); // FtpCaFile, from the test's certificates
        QTest::addColumn<QString>("refusal");   // part of the error; '' when all goes through
        using enum FtpServer::Tls;
        const auto row = [](const char* name, FtpServer::Tls server, const char* setting,
                            const char* authority, const char* refusal) {
            QTest::newRow(name) << server << QString(setting) << QString(authority)
                                << QString(refusal);
        };
        row("offered, require", Offered, " Require ", "ca.pem", "");
        row("offered, off", Offered, "off", "", "");
        row("none, require", None, "require", "", "offers no TLS");
        row("none, mistyped", None, "yes", "", "offers no TLS");
        row("required, off", Required, "off", "", "SSL/TLS required");
        row("another authority", Required, "try", "other-ca.pem", "not signed by an authority");
        row("the system's authorities", Required, "try", "", "not signed");
        row("another name", WrongName, "try", "ca.pem", "not name this server");
        row("no authority file", Required, "try", "gone.pem", "FtpCaFile");
    }
    void tls()
    {
        QFETCH(FtpServer::Tls, server);
        QFETCH(QString, setting);
        QFETCH(QString, authority);
        QFETCH(QString, refusal);
        m_server = std::make_unique<FtpServer>(QString(), server);
        QVERIFY2(m_server->isRunning(), qPrintable(m_server->errorString()));
        FtpCientOCX ftp;
        ftp.setTls(FtpCientOCX::Tls::fromSettings(setting, authority,
                                                  QFileInfo(m_server->caFile()).path()));
        QCOMPARE(ftp.FtpConnect(m_server->host(), m_server->user(), m_server->password(),
                                m_server->port()) &&
                     ftp.FtpUpload(makeLocalFile("a.vox", 100000), "a.vox"),
                 refusal.isEmpty());
        QVERIFY2(ftp.lastError().contains(refusal), qPrintable(ftp.lastError()));
    }

    void uploadsReuseOneConnection()
    {
        const QString file = makeLocalFile("a.vox", 4000);
        FtpCientOCX ftp;
        QVERIFY(connectTo(ftp));
        for (int i = 0; i < 50; ++i)
            QVERIFY2(ftp.FtpUpload(file, QString("f%1.vox").arg(i)), qPrintable(ftp.lastError()));
        QCOMPARE(QDir(m_server->root()).entryList(QDir::Files).size(), 50);
        // A new FtpConnect to the same server keeps the live connection.
        QVERIFY(connectTo(ftp));
        QCOMPARE(ftp.connectionsMade(), 1);
        ftp.FtpDisconnect();
        QVERIFY(connectTo(ftp));
        QCOMPARE(ftp.connectionsMade(), 2);
    }

    // On the worker the window thread keeps its events while a transfer
    // runs; progress and the result arrive on the window thread, in order.
    void workerKeepsTheWindowThreadFree()
    {
        // 2 MiB/s: a 5 MB upload takes about two seconds.
        const qint64 size = 5 * 1024 * 1024;
        const QString file = makeLocalFile("a.vox", size);
        QVERIFY(m_server->setFault("slow:2048"));
        FtpWorker worker;
        QList<qint64> done;
        bool allHere = true;
        QObject::connect(&worker, &FtpWorker::TransferProgress, [&](qint64 d, qint64 total) {
            allHere = allHere && QThread::currentThread() == thread();
            if (total == size)
                done << d;
        });
        QStringList results;
        const auto job = [&](const char* what, std::function<bool(FtpCientOCX&)> transfer) {
            worker.run<QString>(
                this,
                [this, what, transfer](FtpCientOCX& ftp) {
                    return QLatin1String(what) +
                           (connectTo(ftp) && transfer(ftp) ? QString() : ": " + ftp.lastError());
                },
                [&](const QString& result) {
                    allHere = allHere && QThread::currentThread() == thread();
                    results << result;
                });
        };
        job("up", [&](FtpCientOCX& ftp) { return ftp.FtpUpload(file, "a.vox"); });
        job("down", [&](FtpCientOCX& ftp) { return ftp.FtpDownload("a.vox", local("back.vox")); });
        int ticks = 0;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                ++ticks;
                return results.size() == 2;
            },
            20000));
        QCOMPARE(results, (QStringList{"up", "down"}));
        QVERIFY2(ticks >= int(clock.elapsed() / 50), qPrintable(QString::number(ticks)));
        QVERIFY(std::any_of(done.begin(), done.end(), [&](qint64 d) { return d > 0 && d < size; }));
        QCOMPARE(done.last(), size);
        QVERIFY(readFile(local("back.vox")) == readFile(file));
        QVERIFY(allHere);
    }

    void interruptedTransfer_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("abort") << false;
        QTest::newRow("worker destroyed") << true;
    }
    void interruptedTransfer()
    {
        QFETCH(bool, destroy);
        const QString file = makeLocalFile("a.vox", 5 * 1024 * 1024);
        QVERIFY(m_server->setFault("slow:1024"));
        auto worker = std::make_unique<FtpWorker>();
        QString error;
        bool ended = false;
        worker->run<QString>(
            this,
            [this, file](FtpCientOCX& ftp) {
                return connectTo(ftp) && ftp.FtpUpload(file, "a.vox") ? QString() : ftp.lastError();
            },
            [&](const QString& result) {
                error = result;
                ended = true;
            });
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        if (destroy) {
            worker.reset();
            QVERIFY(!ended); // its answer is dropped with it
        } else {
            worker->abort();
            QVERIFY(QTest::qWaitFor([&] { return ended; }, 3000));
            QVERIFY2(error.contains("aborted"), qPrintable(error));
        }
        QVERIFY(clock.elapsed() < 3000);
    }
};

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
