#include <csignal>
#include <unistd.h>

#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "LineSimulator.h"
#include "ProgramFolderFixture.h"

// The program itself, as a desktop runs it (its road-test build, which takes
// commands on a local socket): ended by a signal, and run by an agent who may
// not write its folder.
class TestDesktopSession : public QObject
{
    Q_OBJECT

    static QString send(QLocalSocket& driver, const QString& line)
    {
        driver.write((line + u'\n').toUtf8());
        while (!driver.canReadLine() && driver.waitForReadyRead(5000)) {
        }
        const QString answer = QString::fromUtf8(driver.readLine()).trimmed();
        return answer.startsWith(QStringLiteral("OK")) ? answer.mid(3) : QStringLiteral("ERR");
    }

private slots:
    void endsAsExitDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("inCall");
        QTest::newRow("SIGTERM while recording") << SIGTERM << false << true;
        QTest::newRow("SIGHUP, read-only program folder") << SIGHUP << true << false;
    }

    void endsAsExitDoes()
    {
        QFETCH(int, signal);
        QFETCH(bool, readOnly);
        QFETCH(bool, inCall);
        // Root writes anywhere: the read-only case runs as nobody.
        const bool asNobody = readOnly && ::geteuid() == 0;
        if (asNobody && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("root cannot be refused a folder and setpriv is missing to drop to nobody");
        ProgramFolderFixture f;
        LineSimulator line;
        QString error;
        QVERIFY2(line.listen(0, &error), qPrintable(error));
        line.setFeedPort(1); // no caller number: the caller is registered as new

        // The program folder holds the settings and the local file; the branch
        // databases lie beside it, as a server would be.
        QVERIFY(QDir(f.path()).mkpath(QStringLiteral("desk")) && QDir(f.path()).mkpath("run"));
        QVERIFY(QFile::copy(f.path("Brenvo.mdb"), f.path("desk/Brenvo.mdb")));
        QVERIFY(f.write("desk/Brenvo.ini", "[Branch]\nBranchID=0001\n[Database]\nDBIp=sqlite:" +
                                               f.path("directory.db").toUtf8() +
                                               "\nDBUser=u\nDBPass=p\nDBPort=1433\n"));
        QVERIFY(f.exec("directory.db",
                       "UPDATE TB_BRANCH SET BranchIP = 'sqlite:" + f.path("branch0001.db") + "'"));
        QVERIFY(f.fragment("desk/Brenvo.mdb", 0));
        const qint64 sizeBefore = QFileInfo(f.path("desk/Brenvo.mdb")).size();
        if (asNobody)
            QCOMPARE(QProcess::execute("chown", {"-R", "nobody:nogroup", f.path()}), 0);
        QVERIFY(QFile::setPermissions(f.path("run"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (readOnly)
            QVERIFY(QFile::setPermissions(f.path("desk"), QFile::ReadOwner | QFile::ExeOwner |
                                                              QFile::ReadOther | QFile::ExeOther));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("BRENVO_HOME", f.path("desk"));
        env.insert("BRENVO_LINE_PORT", QString::number(line.port()));
        env.insert("BRENVO_SILENT_AUDIO", "1");
        env.insert("XDG_RUNTIME_DIR", f.path("run"));
        env.insert("BRENVO_TEST_DRIVER", f.path("driver.sock"));
        const QString exe =
            qEnvironmentVariable("BRENVO_BUILD_DIR") + "/tests/roadtest/brenvo-roadtest";
        QProcess first;
        first.setProcessEnvironment(env);
        if (asNobody)
            first.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", exe});
        else
            first.start(exe);
        QLocalSocket driver;
        QVERIFY(QTest::qWaitFor(
            [&] {
                driver.connectToServer(f.path("driver.sock"));
                return driver.waitForConnected(100);
            },
            20000));
        if (readOnly) {
            QTRY_VERIFY_WITH_TIMEOUT(send(driver, "message").startsWith("프로그램 폴더 오류\t"),
                                     10000);
            QVERIFY(send(driver, "message").contains(f.path("desk")));
            send(driver, "answer");
        }
        QTRY_COMPARE_WITH_TIMEOUT(send(driver, "read Frm000000"), QStringLiteral("Brenvo Login"),
                                  10000);
        for (const char* command : {"type TxtLoginID kim", "key TxtLoginID Return",
                                    "type TxtLoginPass 1234", "key TxtLoginPass Return"})
            QCOMPARE(send(driver, command), QString());
        QTRY_VERIFY_WITH_TIMEOUT(send(driver, "read Frm100000").startsWith("Brenvo-김민수-(kim)-"),
                                 20000);

        QCOMPARE(f.rows("branch0001.db", "SELECT Login FROM AgentLogin WHERE AgentID = 'kim'"),
                 QStringList{"1"});

        if (inCall) {
            QVERIFY(line.ring(QStringLiteral("0299990003"), &error));
            QTRY_VERIFY_WITH_TIMEOUT(send(driver, "windows").contains("인바운드"), 10000);
            line.pickUp();
            QTRY_VERIFY_WITH_TIMEOUT(send(driver, "windows").contains("고객선택"), 10000);
            send(driver, "click cmdStartCall");
            QTRY_COMPARE_WITH_TIMEOUT(send(driver, "enabled cmdStopCall"), QStringLiteral("1"),
                                      10000);
        }
        ::kill(pid_t(first.processId()), signal);
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(
            f.rows("branch0001.db", "SELECT Login || Status FROM AgentLogin WHERE AgentID = 'kim'"),
            QStringList{"00"});
        QVERIFY(!QFile::exists(f.path("desk/Brenvo_1.mdb")));
        QCOMPARE(QFileInfo(f.path("desk/Brenvo.mdb")).size() < sizeBefore, !readOnly);
        QString logs;
        for (const QFileInfo& log : QDir(f.path("desk/ERRORLOG")).entryInfoList(QDir::Files)) {
            QFile file(log.filePath());
            logs += file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        QVERIFY2(!QFile::exists(f.path("desk/ERRORLOG")), qPrintable(logs));
    }
};

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktopsession.moc"
