// FtpCientOCX against the real brenvo-ftpd server (pyftpdlib) on loopback.

#include <QtTest>

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
        QCOMPARE(progress.last(), (QList<QVariant>{size, size}));
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
        QVERIFY2(ftp.lastError().contains(error), qPrintable(ftp.lastError()));
        // Nothing reached the server, no folder either.
        QCOMPARE(QDir(m_server->root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }

    // Dropped at several points of the transfer, then sent whole on the same control.
    void uploadFailsThenSucceeds_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("1000 bytes") << qint64(1000);
        QTest::newRow("6 KiB") << qint64(6 * 1024);
        QTest::newRow("5 MB") << qint64(5 * 1024 * 1024);
    }
    void uploadFailsThenSucceeds()
    {
        QFETCH(qint64, size);
        const QString file = makeLocalFile("a.vox", size);
        FtpCientOCX ftp;
        QVERIFY(connectTo(ftp));
        QVERIFY(m_server->setFault("drop-mid-transfer"));
        QVERIFY(!ftp.FtpUpload(file, "a.vox"));
        QVERIFY(!ftp.lastError().isEmpty());
        QVERIFY(QFileInfo(m_server->remoteFile("a.vox")).size() < size);
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

    // A download cut short keeps the earlier file whole and leaves nothing
    // behind; one that completes replaces it, keeping its permissions.
    void download()
    {
        const QByteArray first = randomBytes(200000, 3);
        QVERIFY(writeFile(m_server->remoteFile("a.vox"), first));
        FtpCientOCX ftp;
        const QString temp = local("RECDATA/Temp"), target = temp + "/RemoteFile.vox";
        ftp.FtpMakeLocalDir(temp);
        QVERIFY(writeFile(target, "an earlier recording"));
        QVERIFY(m_server->setFault("drop-mid-transfer"));
        QVERIFY(connectTo(ftp));
        QVERIFY(!ftp.FtpDownload("a.vox", target));
        QVERIFY(!ftp.lastError().isEmpty());
        QCOMPARE(readFile(target), QByteArray("an earlier recording"));
        QCOMPARE(QDir(temp).entryList(QDir::Files | QDir::Hidden), QStringList{"RemoteFile.vox"});
        QVERIFY(QFile::remove(target));
        QVERIFY(!ftp.FtpDownload("a.vox", target));
        QCOMPARE(QDir(temp).entryList(QDir::Files | QDir::Hidden), QStringList());

        QVERIFY(writeFile(target, "an earlier recording"));
        QVERIFY(m_server->setFault(QString()));
        QSignalSpy progress(&ftp, &FtpCientOCX::TransferProgress);
        QVERIFY2(ftp.FtpDownload("a.vox", target), qPrintable(ftp.lastError()));
        QVERIFY(readFile(target) == first);
        QCOMPARE(progress.last().at(0).toLongLong(), qint64(first.size()));
#ifdef Q_OS_UNIX
        // Not the temporary file's 0600.
        QVERIFY(QFileInfo(target).permission(QFile::ReadOther));
#endif
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

    // A worker destroyed mid-transfer ends it at once and drops its answer.
    void destroyedMidTransfer()
    {
        const QString file = makeLocalFile("a.vox", 5 * 1024 * 1024);
        QVERIFY(m_server->setFault("slow:1024"));
        auto worker = std::make_unique<FtpWorker>();
        bool ended = false;
        worker->run<bool>(
            this,
            [this, file](FtpCientOCX& ftp) {
                return connectTo(ftp) && ftp.FtpUpload(file, "a.vox");
            },
            [&](bool) { ended = true; });
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        worker.reset();
        QVERIFY(clock.elapsed() < 3000);
        QTest::qWait(50);
        QVERIFY(!ended);
    }
};

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
