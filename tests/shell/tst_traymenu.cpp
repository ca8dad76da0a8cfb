#include <QTest>

#include "LineSimulator.h"
#include "login/AgentStatus.h"
#include "platform/DorvanePlus.h"
#include "ProgramFolderFixture.h"
#include "shell/LocalFileRotation.h"
#include "shell/TrayMenu.h"

class TestTrayMenu : public QObject
{
    Q_OBJECT

private slots:
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
        QVERIFY(device.OpenDevice());
        LocalFileRotation rotation(f.db);
        TrayMenu tray(device, status, rotation, f.messages);
        QStringList steps;
        connect(&tray, &TrayMenu::ending, this, [&] { steps << "ending"; });
        connect(&tray, &TrayMenu::UpdateIcon, this,
                [&](int action) { steps << QString::number(action); });
        connect(&tray, &TrayMenu::unloadOwner, this, [&] { steps << "unload"; });
        connect(&tray, &TrayMenu::programEnded, this, [&] {
            steps << f.rows("branch0001.db",
                            "SELECT Login || Status FROM AgentLogin WHERE AgentID = 'kim'");
        });

        QVERIFY(line.ring("0212345678", &error));
        line.pickUp();
        QTRY_VERIFY(device.IsLineBusy());
        QVERIFY(!tray.mExit_Click());
        QCOMPARE(f.messages.messages.size(), 1);
        QCOMPARE(f.messages.messages.at(0).text,
                 QStringLiteral("지금은 통화중입니다 종료하실수 없습니다."));
        QCOMPARE(f.messages.messages.at(0).caption, QStringLiteral("통화중 종료오류"));
        QCOMPARE(f.messages.messages.at(0).icon, MessageIcon::Information);
        QCOMPARE(steps, QStringList());
        QCOMPARE(
            f.rows("branch0001.db", "SELECT Login || Status FROM AgentLogin WHERE AgentID = 'kim'"),
            QStringList{"11"});

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

QTEST_GUILESS_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
