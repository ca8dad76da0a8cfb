#include <QDir>
#include <QTest>

#include <cmath>

#include "HistoryDesk.h"
#include "platform/VoxFile.h"

namespace {

QVector<qint16> tone(int hz, int ms)
{
    QVector<qint16> samples;
    for (int i = 0; i < VoxFile::SampleRate * ms / 1000; ++i)
        samples << qint16(8000 * std::sin(2 * M_PI * hz * i / VoxFile::SampleRate));
    return samples;
}

} // namespace

class TestLocalRecordings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void folderListAndLocalRows()
    {
        HistoryDesk d;
        const QString root = d.f.path("RECDATA");
        QVERIFY(QDir(root).mkpath("20260105") && QDir(root).mkpath("Temp"));
        const QStringList entries = d.local.dirLocalFile();
        QCOMPARE(entries.first(), QStringLiteral("/"));
        QCOMPARE(entries.mid(entries.size() - 3),
                 QStringList({root, root + "/20260105", root + "/Temp"}));

        const QString voice = root + "/20260105/a.vox";
        QVERIFY(VoxFile::encode(voice, tone(440, 300)));
        for (const QString& values : {"'홍길동', '20260105', '5', '" + voice + "', '17'",
                                      QStringLiteral("'O''Neil', '20260105', '9', '/gone.vox', ''"),
                                      QStringLiteral("'김''철', 'Temp', '1', '', ''")})
            QVERIFY(d.f.exec("Brenvo.mdb", "INSERT INTO recfile (Name, FolderName, Status, "
                                           "FileFullPath, CustID) VALUES (" +
                                               values + ")"));

        SpreadModel& grid = d.local.sprLocalHist();
        d.local.dirLocalFile_Click(root + "/20260105");
        QCOMPARE(grid.MaxRows(), 2);
        QCOMPARE(grid.text(6, 1) + u'|' + grid.text(17, 1), QStringLiteral("O'Neil|"));
        QCOMPARE(grid.text(17, 2) + u'|' + grid.text(24, 2), QStringLiteral("예약|17"));
        d.local.dirLocalFile_Click(root + "/Temp");
        QCOMPARE(grid.text(6, 1), QStringLiteral("김'철"));
        d.local.dirLocalFile_Click(root);
        QCOMPARE(grid.MaxRows(), 0);
        d.local.dirLocalFile_Click("20260105");
        QCOMPARE(grid.MaxRows(), 2);
        QVERIFY(!d.f.db.MDBConnected());

        d.local.sprLocalHist_DblClick(6, 1);
        QCOMPARE(d.f.messages.texts(), QStringList{"녹취파일일 없습니다"});
        QVERIFY(!d.player.isPlaying());
        d.local.sprLocalHist_DblClick(6, 2);
        QVERIFY(d.player.isPlaying());
        QCOMPARE(d.player.title(), QStringLiteral("a.vox"));
        QCOMPARE(d.player.lengthMs(), 300);
        d.player.stop();
        QVERIFY(!d.player.isPlaying());
    }

    void remotePlayback()
    {
        HistoryDesk d;
        FtpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        d.useFtp(server);
        QVERIFY(QDir().mkpath(server.remoteFile("20260105")));
        QVERIFY(QDir().mkpath(server.remoteFile("TEMP/20260105")));
        QVERIFY(VoxFile::encode(server.remoteFile("20260105/call.vox"), tone(300, 400)));
        QVERIFY(VoxFile::encode(server.remoteFile("TEMP/20260105/call.vox"), tone(1200, 250)));
        const QString fetched = d.f.path("RECDATA/Temp/RemoteFile.vox");

        d.local.PlayRemoteRecfile("20260105", "call.vox", " 3 ");
        QCOMPARE(VoxFile::decode(fetched), VoxFile::decode(server.remoteFile("20260105/call.vox")));
        QCOMPARE(VoxFile::decode(fetched).size(), 3200);
        QVERIFY(d.player.isPlaying());
        QCOMPARE(d.player.title(), QStringLiteral("call.vox"));

        // A double click in the recording history: a result of 4 and above was
        // uploaded under TEMP; the fetch replaces the earlier file.
        QVERIFY(d.f.exec("branch0001.db",
                         "INSERT INTO recfile (CustID, FolderName, R_Path, Status) "
                         "VALUES ('PLAY', '20260105', 'call.vox', '4')"));
        d.recordings.GetRecHistByID("PLAY");
        d.recordings.SprRecHist_DblClick(15, 0);
        QCOMPARE(VoxFile::decode(fetched).size(), 3200);
        d.recordings.SprRecHist_DblClick(15, 1);
        QCOMPARE(VoxFile::decode(fetched),
                 VoxFile::decode(server.remoteFile("TEMP/20260105/call.vox")));
        QCOMPARE(d.f.messages.messages.size(), 0);

        d.local.PlayRemoteRecfile("20260105", "missing.vox", "");
        QCOMPARE(d.f.messages.texts(), QStringList{"녹취파일이 없습니다"});
        QCOMPARE(VoxFile::decode(fetched).size(), 2000);

        // A refused login shows nothing and fetches nothing.
        d.f.session.FtpPwd = "wrong";
        d.local.PlayRemoteRecfile("20260105", "call.vox", "1");
        QCOMPARE(d.f.messages.messages.size(), 1);
        QCOMPARE(VoxFile::decode(fetched).size(), 2000);
    }
};

QTEST_GUILESS_MAIN(TestLocalRecordings)
#include "tst_localrecordings.moc"
