// The test and demo FTP server's explicit TLS, through libcurl as the
// program's FTP control speaks it: a file up and back down under PROT P, and
// what a client without TLS or trusting another authority meets.

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cstdio>
#include <curl/curl.h>

#include "FtpServer.h"

using namespace Qt::StringLiterals;

class TestFtpd : public QObject
{
    Q_OBJECT

    // Sends 200,000 bytes up as a.vox, or fetches a.vox: the result and the bytes that went.
    static QPair<int, qint64> transfer(const FtpServer& server, bool tls, const QString& caFile,
                                       bool upload)
    {
        FILE* file = std::tmpfile();
        for (int i = 0; upload && i < 200000; ++i)
            std::fputc('v', file);
        std::rewind(file);
        // libcurl keeps copies of the strings it is given.
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL,
                         qPrintable(u"ftp://%1:%2/a.vox"_s.arg(server.host()).arg(server.port())));
        curl_easy_setopt(curl, CURLOPT_USERPWD,
                         qPrintable(server.user() + u':' + server.password()));
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(tls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
        curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(caFile).constData());
        curl_easy_setopt(curl, CURLOPT_UPLOAD, long(upload));
        curl_easy_setopt(curl, upload ? CURLOPT_READDATA : CURLOPT_WRITEDATA, file);
        const CURLcode result = curl_easy_perform(curl);
        curl_off_t bytes = 0;
        curl_easy_getinfo(curl, upload ? CURLINFO_SIZE_UPLOAD_T : CURLINFO_SIZE_DOWNLOAD_T, &bytes);
        curl_easy_cleanup(curl);
        std::fclose(file);
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
        const qint64 size = result == CURLE_OK ? 200000 : 0;
        QCOMPARE(transfer(ftp, tls, caFile, true), qMakePair(result, size));
        if (result == CURLE_OK)
            QCOMPARE(transfer(ftp, tls, caFile, false), qMakePair(result, size));
    }
};

QTEST_GUILESS_MAIN(TestFtpd)
#include "tst_ftpd.moc"
