#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "line/DorvanePlus.h"
#include "LineSimulator.h"
#include "login/AgentStatus.h"
#include "ProgramFolderFixture.h"
#include "shell/LocalFileRotation.h"
#include "shell/TrayMenu.h"

namespace {

QByteArray bytes(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList recordings(ProgramFolderFixture& f)
{
    return f.rows("Brenvo.mdb", "SELECT ID, Name, R_Path, tMemo FROM recfile ORDER BY ID");
}

// A local file of 3,000 recordings with every third one deleted again, so it has free pages.
QStringList fillLocal(ProgramFolderFixture& f)
{
    f.exec("Brenvo.mdb",
           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
           "INSERT INTO recfile (Name, R_Path, tMemo) SELECT '김''철 ' || i, 'r' || i, "
           "printf('%.200c', 'x') FROM n");
    f.exec("Brenvo.mdb", "DELETE FROM recfile WHERE ID % 3 = 0");
    return recordings(f);
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void compaction_data()
    {
        QTest::addColumn<QString>("inTheWay");
        QTest::newRow("nothing in the way") << "";
        QTest::newRow("stale copy of an interrupted quit") << "file";
        QTest::newRow("a folder of the copy's name") << "folder";
    }

    void compaction()
    {
        QFETCH(QString, inTheWay);
        ProgramFolderFixture f;
        const QStringList rows = fillLocal(f);
        const QString main = f.path("Brenvo.mdb");
        const QString copy = f.path("Brenvo_1.mdb");
        const QByteArray before = bytes(main);
        if (inTheWay == "file")
            QVERIFY(QFile::copy(main, copy));
        if (inTheWay == "folder")
            QVERIFY(QDir(f.path()).mkpath("Brenvo_1.mdb/inside"));

        LocalFileRotation rotation(f.db);
        rotation.CompactLocalDB();
        if (inTheWay.isEmpty())
            QVERIFY(bytes(main).size() < before.size());
        else
            QCOMPARE(bytes(main), before);
        QCOMPARE(QFileInfo::exists(copy), inTheWay == "folder");
        QCOMPARE(f.messages.messages.size(), 0);

        // The next start finds its file whole, and the next quit compacts.
        QVERIFY(!rotation.RecoverLocalDB());
        QVERIFY(f.db.MDBConnection());
        f.db.MDBClose();
        QCOMPARE(recordings(f), rows);
        if (inTheWay == "file") {
            rotation.CompactLocalDB();
            QVERIFY(bytes(main).size() < before.size());
        }
    }

    void startUpRecovery()
    {
        ProgramFolderFixture f;
        const QStringList rows = fillLocal(f);
        const QString main = f.path("Brenvo.mdb");
        const QString copy = f.path("Brenvo_1.mdb");
        LocalFileRotation rotation(f.db);

        // The main file gone, the copy complete: the copy comes back.
        QVERIFY(QFile::rename(main, copy));
        QVERIFY(rotation.RecoverLocalDB());
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(recordings(f), rows);

        // A copy cut short is no database: kept, but not trusted.
        const QByteArray whole = bytes(main);
        QVERIFY(QFile::remove(main));
        QVERIFY(f.write("Brenvo_1.mdb", whole.left(whole.size() / 2)));
        QVERIFY(!rotation.RecoverLocalDB());
        QVERIFY(!QFileInfo::exists(main) && QFileInfo::exists(copy));

        // Without a main file a quit compacts nothing and creates nothing.
        QVERIFY(QFile::remove(copy));
        rotation.CompactLocalDB();
        QVERIFY(!QFileInfo::exists(main) && !QFileInfo::exists(copy));
    }

    void busyLineRefusesExitNotTheSessionEnd()
    {
        ProgramFolderFixture f;
        f.loginAs("kim");
        AgentStatus status(f.db, f.messages);
        QVERIFY(status.SetLoginANDStatus("1", "1"));
        LineSimulator line;
        QString error;
        QVERIFY2(line.listen(0, &error), qPrintable(error));
        DorvanePlus device;
        device.setLinePort(line.port());
        QSignalSpy opened(&device, &DorvanePlus::DeviceOpened);
        device.OpenDevice();
        QTRY_COMPARE(opened.value(0), QVariantList{true});
        LocalFileRotation rotation(f.db);
        TrayMenu tray(device, status, rotation, f.messages);
        QStringList steps;
        connect(&tray, &TrayMenu::ending, this, [&] { steps << "ending"; });
        connect(&tray, &TrayMenu::UpdateIcon, this,
                [&](int action) { steps << QString::number(action); });
        connect(&tray, &TrayMenu::unloadOwner, this, [&] { steps << "unload"; });
        const auto kim = [&f] {
            return f.rows("branch0001.db",
                          "SELECT Login || Status FROM AgentLogin WHERE AgentID = 'kim'");
        };
        connect(&tray, &TrayMenu::programEnded, this, [&] { steps << kim(); });

        QVERIFY(line.ring("0212345678", &error));
        line.pickUp();
        QTRY_VERIFY(device.IsLineBusy());
        QVERIFY(!tray.mExit_Click());
        QCOMPARE(f.messages.messages.value(0).icon, MessageIcon::Information);
        QCOMPARE(steps, QStringList());
        QCOMPARE(kim(), QStringList{"11"});

        // The session's end quits all the same, once: icon, window, agent row,
        // compaction, end; "&Exit" afterwards does nothing.
        QVERIFY(f.fragment("Brenvo.mdb", 10));
        const qint64 sizeBefore = QFileInfo(f.path("Brenvo.mdb")).size();
        tray.endSession();
        tray.endSession();
        QVERIFY(tray.mExit_Click());
        QCOMPARE(steps, QStringList({"ending", "2", "unload", "00"}));
        QVERIFY(QFileInfo(f.path("Brenvo.mdb")).size() < sizeBefore);
        QCOMPARE(f.rows("Brenvo.mdb", "SELECT count(*) FROM recfile"), QStringList{"10"});
        QCOMPARE(f.messages.messages.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestShell)
#include "tst_shell.moc"
