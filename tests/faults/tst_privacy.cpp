#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DeskFixture.h"
#include "platform/SingleInstance.h"

// Nothing the desk leaves behind serves another person: no password, file or lock.
class TestPrivacy : public QObject
{
    Q_OBJECT

    // The mode bits, set-group-id among them; stat reads them for root too.
    static int mode(const QString& path)
    {
        struct stat st;
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }

private slots:
    // The directory server down, or no branch database: the connection's box
    // and block, and the check's block in the file, carry "****" where the connection
    // string and the login statement had the database's and agent's passwords.
    void passwordsNeverShown_data() { Backends::addRows(); }
    void passwordsNeverShown()
    {
        USE_BACKEND_ROW();
        const QString typed = "Typed'Secret9";
        for (const QString branch : {"0001", "0003"}) {
            ProgramFolderFixture f;
            if (branch == "0001")
                f.takeDirectoryDown();
            AgentStatus status{f.db, f.messages};
            LoginProcedure login{f.db, status, f.messages};
            QVERIFY(login.attempt(branch, "kim", typed) != LoginProcedure::Outcome::LoggedIn);
            const QStringList texts = f.messages.texts();
            QCOMPARE(texts.size(), 2);
            QVERIFY(texts.at(0).startsWith("데이터베이스 연결을 실패했습니다.\r\nProvider="));
            QFile log(f.errors.logFilePath(QDate::currentDate()));
            QVERIFY(log.open(QIODevice::ReadOnly));
            const QString shown = texts.join(u'\n') + QString::fromUtf8(log.readAll());
            for (const QString& function : branch == "0001"
                                               ? QStringList{"BranchSQLDBConnect", "CheckBranch"}
                                               : QStringList{"SQLDBConnect", "LoginProcess"})
                QVERIFY(shown.contains("ERROR FUNCTION    : " + function + "\r\n"));
            for (const QString& secret :
                 {SqlServerAddress().password, typed, SqlDialect::quoted(typed)})
                QVERIFY2(!shown.contains(secret), qPrintable(shown));
            // Asked again, the agent is told again.
            login.attempt(branch, "kim", typed);
            QCOMPARE(f.messages.texts().size(), 4);
        }
    }

    // What the desk makes in its folder (recordings, the fetched copy, the
    // error log, the compacted record file) is its user's alone, or its
    // group's too in a set-group-id folder; a file that was there keeps its mode.
    void filesForTheUserOnly_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::newRow("private folder") << false;
        QTest::newRow("set-group-id folder") << true;
    }
    void filesForTheUserOnly()
    {
        QFETCH(bool, shared);
        DeskFixture d;
        FtpServer ftp;
        d.useFtp(ftp);
        QVERIFY(QDir(d.f.path("RECDATA")).removeRecursively());
        QCOMPARE(::chmod(QFile::encodeName(d.f.path()).constData(), shared ? 02770 : 0700), 0);
        const CallPtr call = Call::outbound();
        d.desk.recorder.StartRecording(*call, "2026-12-06 10:00:00");
        d.desk.media.writeLineAudio(QByteArray(3200, '\x10'));
        d.desk.recorder.StopRecording(*call, "2026-12-06 10:00:02");
        QVERIFY(QFile::copy(call->RecFilePath, ftp.remoteFile("a.vox")));
        d.desk.localRecordings.PlayRemoteRecfile(".", "a.vox", "1");
        QVERIFY(QTest::qWaitFor([&d] { return !d.desk.ftp.isBusy(); }, 10000));
        d.f.errors.WriteErrorLog("first", "", "", "");
        const QString log = d.f.errors.logFilePath(QDate::currentDate());
        const int folder = shared ? 02770 : 0700, file = shared ? 0660 : 0600;
        QCOMPARE(mode(log), file);
        QCOMPARE(::chmod(QFile::encodeName(log).constData(), 0644), 0);
        d.f.errors.WriteErrorLog("second", "", "", "");
        QCOMPARE(mode(log), 0644);
        d.desk.rotation.CompactLocalDB();
        for (const QString& path :
             QStringList{"RECDATA", "RECDATA/20261206", "RECDATA/20261206/" + call->RecFileName,
                         "RECDATA/Temp", "RECDATA/Temp/RemoteFile.vox", "ERRORLOG", "Brenvo.mdb"})
            QVERIFY2(mode(d.f.path(path)) == (path.contains('.') ? file : folder),
                     qPrintable(path));
    }

    // The single copy's lock lives where only its user writes: the runtime
    // folder, Qt's own in TMPDIR when that one is open to others, else the
    // cache folder. A lock another user put there is never obeyed.
    void singleCopyLock()
    {
        QTemporaryDir runtime, temp, cache, program;
        const auto folder = [&program] {
            return SingleInstance::keyPath(program.path()).section(u'/', 0, -2);
        };
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        QCOMPARE(folder(), runtime.path());
        QCOMPARE(::chmod(QFile::encodeName(runtime.path()).constData(), 01777), 0);
        QCOMPARE(folder().section(u'/', 0, -2), temp.path());
        QCOMPARE(mode(folder()), 0700);
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() != 0 || !nobody)
            QSKIP("only root can leave a folder or a lock of another user's");
        const auto give = [nobody](const QString& path) {
            return ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid);
        };
        QCOMPARE(give(folder()), 0);
        QCOMPARE(folder(), cache.path() + "/brenvo");
        QCOMPARE(mode(folder()), 0700);
        // As a live copy's: this process's lock file, handed to nobody.
        const QString key = SingleInstance::keyPath(program.path());
        QLockFile live(key + ".live");
        QVERIFY(live.tryLock(0) && QFile::copy(key + ".live", key + ".lock"));
        QCOMPARE(give(key + ".lock"), 0);
        QVERIFY(SingleInstance(program.path()).isFirst());
    }
};

QTEST_GUILESS_MAIN(TestPrivacy)
#include "tst_privacy.moc"
