// The test and demo FTP server's explicit TLS, through libcurl as the
// program's FTP control speaks it: a file up and back down under PROT P, and
// what a client without TLS or trusting another authority meets.

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cstdio>
#include <curl/curl.h>

#include "FtpServer.h"

class TestFtpd : public QObject
{
    Q_OBJECT

    // Sends file up as a.vox, or fetches a.vox into it; the bytes that went.
    static QPair<int, qint64> transfer(const FtpServer& server, bool tls, const QString& caFile,
                                       FILE* file, bool upload)
    {
        CURL* curl = curl_easy_init();
        const QByteArray url =
            QStringLiteral("ftp://%1:%2/a.vox").arg(server.host()).arg(server.port()).toUtf8();
        const QByteArray login = (server.user() + u':' + server.password()).toUtf8();
        const QByteArray ca = QFile::encodeName(caFile);
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_USERPWD, login.constData());
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(tls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.constData());
        curl_easy_setopt(curl, CURLOPT_UPLOAD, long(upload));
        curl_easy_setopt(curl, upload ? CURLOPT_READDATA : CURLOPT_WRITEDATA, file);
        const CURLcode result = curl_easy_perform(curl);
        curl_off_t bytes = 0;
        curl_easy_getinfo(curl, upload ? CURLINFO_SIZE_UPLOAD_T : CURLINFO_SIZE_DOWNLOAD_T, &bytes);
        curl_easy_cleanup(curl);
        return {int(result), qint64(bytes)};
    }

private slots:
    void tls_data()
    {
        QTest::addColumn<FtpServer::Tls>("server");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("authority");
        QTest::addColumn<int>("result");
        using enum FtpServer::Tls;
        QTest::newRow("required") << Required << true << "ca.pem" << int(CURLE_OK);
        QTest::newRow("offered") << Offered << true << "ca.pem" << int(CURLE_OK);
        QTest::newRow("offered, in clear") << Offered << false << "ca.pem" << int(CURLE_OK);
        QTest::newRow("required, in clear")
            << Required << false << "ca.pem" << int(CURLE_LOGIN_DENIED);
        QTest::newRow("another authority")
            << Required << true << "other-ca.pem" << int(CURLE_PEER_FAILED_VERIFICATION);
    }
    void tls()
    {
        QFETCH(FtpServer::Tls, server);
        QFETCH(bool, tls);
        QFETCH(QString, authority);
        QFETCH(int, result);
        FtpServer ftp({}, server);
        QVERIFY2(ftp.isRunning(), qPrintable(ftp.errorString()));
        const QString caFile = QFileInfo(ftp.caFile()).dir().filePath(authority);
        const QByteArray sent(200000, 'v');
        FILE* up = std::tmpfile();
        std::fwrite(sent.constData(), 1, sent.size(), up);
        std::rewind(up);
        const auto upload = transfer(ftp, tls, caFile, up, true);
        std::fclose(up);
        QCOMPARE(upload.first, result);
        if (result != CURLE_OK)
            return;
        QFile stored(ftp.remoteFile("a.vox"));
        QVERIFY(stored.open(QIODevice::ReadOnly) && stored.readAll() == sent);
        FILE* down = std::tmpfile();
        QCOMPARE(transfer(ftp, tls, caFile, down, false), qMakePair(result, sent.size()));
        std::fclose(down);
    }
};

QTEST_GUILESS_MAIN(TestFtpd)
#include "tst_ftpd.moc"
