#include <QMenuBar>
#include <QTest>

#include "CallDesk.h"
#include "customers/CustomerSearch.h"
#include "customers/LookupLists.h"
#include "histories/CallHistory.h"
#include "histories/LocalRecordings.h"
#include "histories/RecordingHistory.h"
#include "histories/RecordingPlayer.h"
#include "platform/SpreadModel.h"
#include "platform/VoxFile.h"
#include "shell/LocalFileRotation.h"
#include "shell/TrayMenu.h"
#include "windows/Frm100000.h"
#include "windows/FrmSysTray.h"
#include "windows/QtWindowOpener.h"

// The main window with its history pages and tray, as the application builds it.
struct TrayDesk
{
    explicit TrayDesk(const QString& agent, bool notificationArea = true)
        : d(agent), trayAvailable(notificationArea)
    {
        w.trayAvailable = [this] { return trayAvailable; };
        w.show();
        w.load();
    }

    CallDesk d;
    bool trayAvailable;
    RecordingPlayer& player = d.desk.player;
    LocalRecordings& local = d.desk.localRecordings;
    RecordingHistory& recordings = d.desk.recordingHistory;
    TrayMenu& tray = d.desk.trayMenu;
    QtWindowOpener opener;
    Frm100000 w{d.desk, opener};
};

class TestFrmSysTray : public QObject
{
    Q_OBJECT

private slots:
    void startUpAndPages()
    {
        TrayDesk desk("lee");
        HistoryPages* pages = desk.w.histories;
        QCOMPARE(desk.w.tabAgent->widget(1)->findChild<fpSpread*>("SprRecHist"), pages->SprRecHist);
        QCOMPARE(pages->cmbCallAgent->currentText(), QStringLiteral("lee | 이서연"));
        QCOMPARE(pages->cmbRecAgent->currentText(), QStringLiteral("lee | 이서연"));
        QCOMPARE(pages->cmbRecHistStatus->count(), 8);
        QCOMPARE(pages->cmbCallSearch->count(), 4);
        const QDate today = QDate::fromString(desk.d.f.db.GetNowDate().left(10), Qt::ISODate);
        QCOMPARE(pages->DTPRecHistEnd->date(), today);

        // 통화듣기및이력: choi's recordings, the memo of a clicked row.
        desk.w.tabAgent->setCurrentIndex(1);
        QVERIFY(desk.d.f.exec("branch0001.db", "UPDATE recfile SET Memo = '다시 연락'"));
        pages->cmbRecAgent->setCurrentIndex(pages->cmbRecAgent->findText("choi | 최지훈"));
        QTest::mouseClick(pages->cmdRechistorySearch, Qt::LeftButton);
        QCOMPARE(
            desk.recordings.SprRecHist().MaxRows(),
            desk.d.central("SELECT count(*) FROM recfile WHERE AgentID = 'choi'").value(0).toInt());
        QVERIFY(pages->SprRecHist->isColumnHidden(0) && !pages->SprRecHist->isColumnHidden(1));
        const QRect cell = pages->SprRecHist->visualRect(pages->SprRecHist->model()->index(0, 2));
        QTest::mouseClick(pages->SprRecHist->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(pages->txtRecHistMemo->toPlainText(), QStringLiteral("다시 연락"));

        // An opened customer shows its recordings there too, whatever the filters.
        const QString custId =
            desk.d.central("SELECT CustID FROM recfile WHERE AgentID = 'kim'").value(0);
        desk.w.tabAgent->setCurrentIndex(0);
        emit desk.w.customers->customerOpened(custId);
        QVERIFY(pages->txtRecHistMemo->toPlainText().isEmpty());
        QCOMPARE(desk.w.tabAgent->currentIndex(), 1);
        QCOMPARE(desk.recordings.SprRecHist().MaxRows(), 1);
        QCOMPARE(desk.recordings.SprRecHist().text(18, 1), custId);

        // 녹음파일: the folders as they were at start-up; the root's recordings,
        // played and stopped from the player bar.
        const QString voice = desk.d.f.path("RECDATA/a.vox");
        QVERIFY(VoxFile::encode(voice, QVector<qint16>(16000, 1000)));
        QVERIFY(desk.d.f.exec("Brenvo.mdb", "INSERT INTO recfile (Name, FolderName, FileFullPath) "
                                            "VALUES ('홍길동', 'RECDATA', '" +
                                                voice + "')"));
        desk.w.tabAgent->setCurrentIndex(0);
        QListWidgetItem* root = pages->dirLocalFile->item(pages->dirLocalFile->count() - 1);
        QCOMPARE(root->data(Qt::UserRole).toString(), desk.local.recordingRoot());
        QTest::mouseClick(pages->dirLocalFile->viewport(), Qt::LeftButton, {},
                          pages->dirLocalFile->visualItemRect(root).center());
        QCOMPARE(desk.local.sprLocalHist().MaxRows(), 1);
        QVERIFY(!pages->cmdLocalStop->isEnabled());
        const QRect row =
            pages->sprLocalHist->visualRect(pages->sprLocalHist->model()->index(0, 5));
        QTest::mouseClick(pages->sprLocalHist->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(pages->sprLocalHist->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(desk.player.isPlaying());
        QVERIFY(pages->lblLocalPlay->text().startsWith("a.vox"));
        QVERIFY(pages->lblLocalPlay->text().endsWith("00:00:02"));
        QTest::mouseClick(pages->cmdLocalStop, Qt::LeftButton);
        QVERIFY(!desk.player.isPlaying() && !pages->cmdRemoteStop->isEnabled());
        QCOMPARE(desk.d.f.messages.messages.size(), 0);
    }

    void closeAndTheMenus_data()
    {
        QTest::addColumn<bool>("notificationArea");
        QTest::newRow("notification area") << true;
        QTest::newRow("no notification area") << false;
    }

    void closeAndTheMenus()
    {
        QFETCH(bool, notificationArea);
        TrayDesk desk("kim", notificationArea);
        FrmSysTray* tray = desk.w.frmSysTray;
        QVERIFY(tray);
        QCOMPARE(tray->FSys(), &desk.w);
        const auto captions = [](QMenu* menu) {
            QStringList out;
            for (QAction* action : menu->actions())
                out << (action->isSeparator() ? QStringLiteral("-") : action->text());
            return out;
        };
        QCOMPARE(captions(tray->mPopupMenu),
                 QStringList({"&About", "-", "최대화", "최소화", "-", "통화이력보기", "환경설정",
                              "-", "&Exit"}));
        QCOMPARE(captions(tray->windowMenu),
                 QStringList({"최대화", "최소화", "-", "환경설정", "-", "&Exit"}));
        QCOMPARE(tray->trayIcon->isVisible(), notificationArea);
        QCOMPARE(desk.w.menuBar()->isVisible(), !notificationArea);

        // The close box: into the tray, or down to the task bar without one.
        tray->prepareMenu();
        QVERIFY(!tray->mRestore->isEnabled() && tray->mMinimize->isEnabled());
        QVERIFY(!desk.w.close());
        QCOMPARE(desk.w.isVisible(), !notificationArea);
        QVERIFY(desk.w.isMinimized() || notificationArea);
        tray->prepareMenu();
        QVERIFY(tray->mRestore->isEnabled() && !tray->mMinimize->isEnabled());

        int setups = 0;
        tray->setSetupAction([&setups] { ++setups; });
        tray->mSetup->trigger();
        tray->mAbout->trigger();
        tray->mCallList->trigger();
        QCOMPARE(setups, 1);

        tray->mRestore->trigger();
        QVERIFY(desk.w.isVisible());
        QCOMPARE(desk.w.windowState(), Qt::WindowNoState);
        tray->prepareMenu();
        QVERIFY(!tray->mRestore->isEnabled() && tray->mMinimize->isEnabled());
        tray->mMinimize->trigger();
        QVERIFY(desk.w.isMinimized());
        tray->prepareMenu();
        QVERIFY(tray->mRestore->isEnabled() && !tray->mMinimize->isEnabled());
        tray->restoreOwner();
        QVERIFY(!desk.w.isMinimized());

        // The notification area comes, or goes with the window in it.
        QVERIFY(!desk.w.close());
        desk.trayAvailable = !notificationArea;
        tray->checkTray();
        QCOMPARE(tray->trayIcon->isVisible(), !notificationArea);
        QCOMPARE(desk.w.menuBar()->isVisible(), notificationArea);
        QVERIFY(desk.w.isVisible());
        QVERIFY(!desk.w.close());
        QCOMPARE(desk.w.isVisible(), notificationArea);

        // Quitting closes the window for good and takes the icon away.
        bool ended = false;
        connect(&desk.tray, &TrayMenu::programEnded, this, [&ended] { ended = true; });
        tray->mExit->trigger();
        QVERIFY(ended);
        QVERIFY(!desk.w.isVisible());
        QVERIFY(!tray->trayIcon->isVisible());
        QCOMPARE(desk.d.f.rows("branch0001.db",
                               "SELECT Login || Status FROM AgentLogin WHERE AgentID = 'kim'"),
                 QStringList{"00"});
        QCOMPARE(desk.d.f.messages.messages.size(), 0);
    }
};

QTEST_MAIN(TestFrmSysTray)
#include "tst_frmsystray.moc"
