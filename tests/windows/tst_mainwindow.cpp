#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "../customers/CustomerFixture.h"
#include "CallDesk.h"
#include "platform/VoxFile.h"
#include "windows/CustomerArea.h"
#include "windows/Frm000000.h"
#include "windows/Frm010000.h"
#include "windows/Frm100000.h"
#include "windows/Frm110000.h"
#include "windows/Frm120000.h"
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

// The login window; the main window with its customer side, history pages
// and tray; the caller-ID and call-result windows; all driven through their
// controls.
class TestMainWindow : public QObject
{
    Q_OBJECT

    struct CallerIdDesk : CustomerFixture
    {
        CallerIdDesk()
        {
            own = addCustomer({{"Name", "내고객"}, {"MobileNumber", "0211112222"}});
            windows.setFactory(Window::CallerId, [this](const CallPtr& c) { return make(c); });
        }
        Frm110000* make(const CallPtr& c)
        {
            return new Frm110000(f.db, c, desk.calls, side.search, device, f.messages);
        }
        QString own;
        QtWindowOpener windows;
    };

    static void clickRow(fpSpread* grid, int row, int column = 0, bool twice = false)
    {
        const QPoint at = grid->visualRect(grid->model()->index(row - 1, column)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        if (twice)
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }

    struct ResultDesk : CustomerFixture
    {
        explicit ResultDesk(const QString& agent) : CustomerFixture(agent)
        {
            side.lookups.SetCmbTermCombo();
            call.RecFileName = "w.vox";
            f.exec("branch0001.db", "INSERT INTO recfile (R_Path, Status) VALUES ('w.vox', '0')");
            // Built after cmbTerm is filled, as the call logic opens it.
            window = std::make_unique<Frm120000>(desk.resultParts(), callPtr);
        }
        std::unique_ptr<Frm120000> window;
    };

private slots:
    void startUpAndPages()
    {
        TrayDesk desk("lee");
        HistoryPages* pages = desk.w.histories;
        QCOMPARE(pages->cmbRecAgent->currentText(), QStringLiteral("lee | 이서연"));

        // An opened customer shows its recordings, whatever the filters; a
        // clicked row shows its memo.
        QVERIFY(desk.d.f.exec("branch0001.db", "UPDATE recfile SET Memo = '다시 연락'"));
        const QString custId =
            desk.d.central("SELECT CustID FROM recfile WHERE AgentID = 'kim'").value(0);
        emit desk.w.customers->customerOpened(custId);
        QCOMPARE(desk.w.tabAgent->currentIndex(), 1);
        QCOMPARE(desk.recordings.SprRecHist().MaxRows(), 1);
        QCOMPARE(desk.recordings.SprRecHist().text(18, 1), custId);
        clickRow(pages->SprRecHist, 1, 2);
        QCOMPARE(pages->txtRecHistMemo->toPlainText(), QStringLiteral("다시 연락"));

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
        clickRow(pages->sprLocalHist, 1, 5, true);
        QVERIFY(desk.player.isPlaying());
        QVERIFY(pages->lblLocalPlay->text().startsWith("a.vox") &&
                pages->lblLocalPlay->text().endsWith("00:00:02"));
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

    void startUp_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<bool>("dialling");
        QTest::newRow("privilege 12") << "kim" << true;
        QTest::newRow("privilege 11") << "lee" << false;
    }
    void startUp()
    {
        QFETCH(QString, agent);
        QFETCH(bool, dialling);
        TrayDesk desk(agent);
        CallDesk& d = desk.d;
        Frm100000& w = desk.w;
        QVERIFY(w.windowTitle().startsWith("Brenvo-" + d.f.session.UserName + "-(" + agent +
                                           ")-금일: "));
        QCOMPARE(w.customers->cmdStartPhoneNO1->isEnabled(), dialling);
        QCOMPARE(w.customers->cmdRegisterCust->isEnabled(), dialling);
        QCOMPARE(w.customers->cmdModifyCust->isEnabled(), dialling);
        QCOMPARE(w.customers->fraCustInfo->isEnabled(), dialling);
        QCOMPARE(w.tabAgent->isTabEnabled(4), dialling);
        QVERIFY(!w.customers->cmdStopCall->isEnabled());
        QVERIFY(w.customers->box(CustomerPanel::txtCustName)->isReadOnly());
        QCOMPARE(w.customers->DTPCustDate1->date().toString(Qt::ISODate),
                 d.f.db.GetNowDate().left(10));
        // The simulator runs, so the device opened without a message.
        QVERIFY2(d.f.messages.messages.isEmpty(), qPrintable(d.f.messages.texts().join('\n')));

        // The boxes follow the current customer and its editability.
        d.panel.setValue(CustomerPanel::txtCustName, "김'철");
        QCOMPARE(w.customers->box(CustomerPanel::txtCustName)->text(), QStringLiteral("김'철"));
        d.panel.SetCustInfoValuables("1");
        QVERIFY(!w.customers->box(CustomerPanel::txtCustName)->isReadOnly());
        // What the agent types reaches the panel; the frame that is off
        // for reception agents holds the search bar and list, not the boxes.
        QTest::keyClicks(w.customers->box(CustomerPanel::txtPhoneNo1), "010-1");
        QCOMPARE(d.panel.value(CustomerPanel::txtPhoneNo1), QStringLiteral("010-1"));
        QCOMPARE(w.customers->cmdCustSearch->isEnabled(), dialling);
    }

    void deviceAbsentAtStart()
    {
        CallDesk d;
        d.line.setLinkUp(false);
        QtWindowOpener opener;
        Frm100000 w(d.desk, opener);
        w.load();
        // An absent device is treated as a lost one.
        QTRY_COMPARE(d.f.messages.texts().value(0), QStringLiteral("Cannot Create Dorvane device"));
        QVERIFY(d.f.messages.texts().value(1).startsWith("Dorvane연결에 실패 했습니다"));
        QVERIFY(!w.centralWidget()->isEnabled());
        QVERIFY(w.windowTitle().startsWith(QStringLiteral("Dorvane연결에 실패했습니다.")));
        // The device appears: the desk comes alive as at a link-up.
        d.line.setLinkUp(true);
        QTRY_VERIFY_WITH_TIMEOUT(w.centralWidget()->isEnabled(), 5000);
        QVERIFY(w.windowTitle().startsWith("Brenvo-김민수-(kim)-"));
    }

    void loginWindow()
    {
        ProgramFolderFixture f;
        AgentStatus status(f.db, f.messages);
        LoginProcedure login(f.db, status, f.messages);
        Frm000000 w(login);
        w.move(100, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.TxtLoginID);
        QCOMPARE(w.TxtLoginPass->echoMode(), QLineEdit::Password);
        // No box holds more than its column does.
        QCOMPARE(w.TxtBranchID->maxLength(),
                 ProgramFolderFixture::declaredLength("TB_BRANCH", "BranchID"));
        QCOMPARE(w.TxtLoginID->maxLength(),
                 ProgramFolderFixture::declaredLength("AgentLogin", "AgentID"));
        QCOMPARE(w.TxtLoginPass->maxLength(),
                 ProgramFolderFixture::declaredLength("AgentLogin", "Agent_Passwd"));

        // The frameless window is dragged by its top.
        const QPoint start = w.pos();
        QTest::mousePress(w.lblTop, Qt::LeftButton, {}, QPoint(20, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(60, 40), w.lblTop->mapToGlobal(QPointF(60, 40)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(w.lblTop, &move);
        QTest::mouseRelease(w.lblTop, Qt::LeftButton, {}, QPoint(60, 40));
        QCOMPARE(w.pos(), start + QPoint(40, 30));

        // Enter on an empty id stays; with text it moves on to the password.
        w.TxtLoginID->setFocus();
        QTest::keyClick(w.TxtLoginID, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w.TxtLoginID);
        QVERIFY(f.messages.messages.isEmpty());
        QTest::keyClicks(w.TxtLoginID, "kim");
        QTest::keyClick(w.TxtLoginID, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w.TxtLoginPass);

        // A wrong password empties id and password, keeps the branch; the
        // refusals' messages are tst_login's.
        QTest::keyClicks(w.TxtLoginPass, "bad");
        QTest::keyClick(w.TxtLoginPass, Qt::Key_Return);
        QCOMPARE(w.TxtLoginID->text() + '|' + w.TxtLoginPass->text() + '|' + w.TxtBranchID->text(),
                 QString("||0001"));

        // A wrong branch keeps all three.
        w.TxtBranchID->setText("0009");
        w.TxtLoginID->setText("kim");
        w.TxtLoginPass->setText("1234");
        QTest::mouseClick(w.lblLogin, Qt::LeftButton);
        QCOMPARE(w.TxtLoginID->text() + '|' + w.TxtLoginPass->text(), QString("kim|1234"));

        QSignalSpy loggedIn(&w, &Frm000000::loggedIn);
        w.TxtBranchID->setText("0001");
        QTest::mouseClick(w.lblLogin, Qt::LeftButton);
        QCOMPARE(loggedIn.count(), 1);
        QVERIFY(!w.isVisible());

        Frm000000 again(login);
        QSignalSpy cancelledAgain(&again, &Frm000000::cancelled);
        again.show();
        QTest::mouseClick(again.lblLoginCancel, Qt::LeftButton);
        QVERIFY(!again.isVisible());
        QCOMPARE(cancelledAgain.count(), 1);
    }

    // The number comes after the window opened; with rows there, registering a
    // new customer is refused and the agent picks the own one.
    void waitForTheNumberThenPick()
    {
        CallerIdDesk d;
        std::unique_ptr<Frm110000> w(d.make(d.callPtr));
        w->show();
        QCOMPARE(w->lblCIDData->text(), QString("NO CIDDATA"));
        d.call.CallerNumber = "0211112222";
        QTRY_COMPARE_WITH_TIMEOUT(w->lblCIDData->text(), QString("0211112222"), 3000);
        QVERIFY(!w->tmrGetCID->isActive());
        QCOMPARE(w->sprCustSearch->model()->rowCount(), 1);
        QSignalSpy finished(w.get(), &QDialog::finished);
        QTest::mouseClick(w->cmdStartCall, Qt::LeftButton);
        QCOMPARE(d.f.messages.messages.value(0).caption, QString("기존 및 타인고객"));
        QVERIFY(w->isVisible());
        clickRow(w->sprCustSearch, 1);
        QVERIFY(!finished.isEmpty());
        QVERIFY(!w->isVisible());
        QCOMPARE(d.call.customer.kind, CustSelectKind::B);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), d.own);
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QString("0211112222"));
    }

    // The number arrives while "인바운드" is open: the window is built hidden
    // once, and the call logic's showing takes that same instance.
    void preloadedThenShownModally()
    {
        CallerIdDesk d;
        d.call.CallerNumber = "0211112222";
        QPointer<Frm110000> hidden =
            qobject_cast<Frm110000*>(d.windows.preload(Window::CallerId, d.callPtr));
        QVERIFY(hidden && !hidden->isVisible());
        QCOMPARE(d.windows.preload(Window::CallerId, d.callPtr), hidden.data());
        QVERIFY(!d.windows.isWindowOpen("고객선택"));
        QSignalSpy closed(&d.windows, &WindowOpener::closed);
        d.windows.open(Window::CallerId, d.callPtr);
        QVERIFY(hidden->isVisible() && hidden->isModal());
        QVERIFY(d.windows.isWindowOpen("고객선택"));
        clickRow(hidden->sprCustSearch, 1);
        QVERIFY(closed.isEmpty()); // reported from the event loop
        QVERIFY(closed.wait(1000));
        QTRY_VERIFY(hidden.isNull());
        QCOMPARE(d.call.customer.kind, CustSelectKind::B);

        // The tray's modeless showing builds a new one; closing discards it.
        d.windows.showModeless(Window::CallerId, d.callPtr);
        QVERIFY(d.windows.isWindowOpen("고객선택"));
        QDialog* modeless = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowTitle() == "고객선택")
                modeless = qobject_cast<QDialog*>(w);
        QVERIFY(modeless);
        QPointer<QDialog> gone = modeless;
        modeless->reject();
        QTRY_VERIFY(gone.isNull());
        QVERIFY(!d.windows.isWindowOpen("고객선택"));
    }

    void agentChoosesAndSaves()
    {
        ResultDesk d("kim");
        Frm120000& w = *d.window;
        w.show();
        QCOMPARE(w.cmbCallStatus->count(), d.side.lookups.cmbTerm().size() - 1);
        QCOMPARE(w.DTPReservation->date().toString(Qt::ISODate), d.today());
        QSignalSpy finished(&w, &QDialog::finished);

        QTest::mouseClick(w.cmdRcResultSave, Qt::LeftButton);
        QCOMPARE(d.f.messages.texts(), QStringList{"통화결과값을 선택해주시기 바랍니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QString("통화결과값 선택 오류"));
        QVERIFY(w.isVisible() && finished.isEmpty());

        w.cmbCallStatus->setCurrentIndex(4);
        QVERIFY(w.DTPReservation->isEnabled());
        w.cmbCallStatus->setCurrentIndex(3);
        QVERIFY(!w.DTPReservation->isEnabled());
        // What a save files, memo and all, is checked in tst_calloverlaps.
        QTest::mouseClick(w.cmdRcResultSave, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(d.call.result.text(), QString("4"));
        // A reception agent's one result is fixed.
        const ResultDesk lee("lee");
        QVERIFY(!lee.window->cmbCallStatus->isEnabled());
        QCOMPARE(lee.window->cmbCallStatus->currentData().toInt(), 3);
    }

    // What the login's check found is read whole: the summary wraps inside
    // the window instead of running off its edge.
    void bulkUploadSummaryFits()
    {
        CustomerFixture d;
        Frm010000 w(d.desk.bulkUpload);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        emit d.desk.bulkUpload.status(
            QStringLiteral("녹음파일 점검 완료"),
            QStringLiteral(
                "기록 없는 녹음파일 12건, 중앙 기록 없는 녹음 3건을 기록했고, 서버에 온전히 "
                "없는 녹음 7건을 다시 보냅니다. 녹음파일이 없는 기록 2건은 오류기록에 "
                "남겼습니다."),
            QStringLiteral("녹음파일 1234개 점검"));
        emit d.desk.bulkUpload.finished(true);
        const auto whole = [&w](const QLabel* label) {
            return label->geometry().right() < w.width() &&
                   (label->wordWrap() ? label->height() >= label->heightForWidth(label->width())
                                      : label->sizeHint().width() <= label->width());
        };
        QTRY_VERIFY(w.Command1->isEnabled());
        for (const QLabel* label : {w.lblNow, w.lblInformation, w.lblTotal})
            QTRY_VERIFY2(whole(label), qPrintable(label->objectName()));
    }

    // A box stops the agent where SQL Server would refuse the save.
    void boxesStopAtDeclaredLengths()
    {
        CustomerFixture d;
        CustomerArea area(d.panel, d.controls, &d.list);
        area.show();
        d.panel.SetCustInfoValuables("1");
        for (const auto& [box, column] : editableBoxes()) {
            const int length = ProgramFolderFixture::declaredLength("gogakinfo", column);
            QVERIFY2(length > 0, qPrintable(column));
            // Typed as an input method commits Hangul: all at once.
            QTest::sendKeyEvent(QTest::Press, area.box(box), Qt::Key_unknown,
                                QString(length + 5, QChar(u'가')), Qt::NoModifier);
            QCOMPARE(d.panel.value(box), QString(length, QChar(u'가')));
        }
    }

    void searchOpenAndModify()
    {
        CustomerFixture d;
        const QString id = d.addCustomer({{"Name", "O'Neil 김"}, {"MobileNumber", "010-5555"}});
        d.addCustomer({{"Name", "다른이"}});
        CustomerArea area(d.panel, d.controls, &d.list);
        area.attach(d.side);
        d.side.lookups.SetCmbTermCombo();
        d.side.lookups.SetCmbCampaignCombo();
        area.fillLookupCombos();
        area.fillSearchCondition();
        area.show();
        QCOMPARE(area.cmbTerm->currentData().toInt(), 0);
        QCOMPARE(area.cmbCampaign->currentText(), QString("전체"));
        QCOMPARE(area.cmbCustSearch->currentIndex(), -1);

        area.cmbCampaign->setCurrentIndex(area.cmbCampaign->findData(999));
        area.cmbCustSearch->setCurrentText("고객성명");
        area.cmbCustSearch->setCurrentIndex(0);
        QTest::keyClicks(area.txtCustSearch, " O'Neil ");
        QTest::mouseClick(area.cmdCustSearch, Qt::LeftButton);
        QCOMPARE(area.TxtTCount->text(), QString("1"));
        QCOMPARE(d.list.text(5, 1), QString("O'Neil 김"));
        QVERIFY(!area.lblNew->text().isEmpty());
        // The call logic's search uses the same bar.
        area.txtCustSearch->clear();
        d.side.searchCustomers();
        QVERIFY(area.TxtTCount->text().toInt() > 2);

        QTest::keyClicks(area.txtCustSearch, "O'Neil");
        QTest::keyClick(area.txtCustSearch, Qt::Key_Return);
        QSignalSpy opened(&area, &CustomerArea::customerOpened);
        clickRow(area.SprCustList, 1, 4);
        QCOMPARE(opened.value(0).value(0).toString(), id);
        QCOMPARE(area.box(CustomerPanel::txtPhoneNo1)->text(), QString("010-5555"));

        // The edit phase shuts registering out; the save itself is the road test's.
        QTest::mouseClick(area.cmdModifyCust, Qt::LeftButton);
        QVERIFY(!area.cmdRegisterCust->isEnabled());
        QVERIFY(!area.box(CustomerPanel::txtCustName)->isReadOnly());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
