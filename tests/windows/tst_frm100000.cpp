#include <QTest>

#include "CallDesk.h"
#include "foundation/Database.h"
#include "platform/SpreadModel.h"
#include "windows/Frm100000.h"
#include "windows/Frm130000.h"
#include "windows/QtWindowOpener.h"

class TestFrm100000 : public QObject
{
    Q_OBJECT

private slots:
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
        CallDesk d(agent);
        QtWindowOpener opener;
        Frm100000 w(d.desk, opener);
        w.show();
        w.load();
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

    void deviceMissing()
    {
        CallDesk d;
        d.desk.device.setLinePort(1); // nothing listens there
        QtWindowOpener opener;
        Frm100000 w(d.desk, opener);
        w.load();
        // An absent device is treated as a lost one.
        QCOMPARE(d.f.messages.texts().value(0), QStringLiteral("Cannot Create Dorvane device"));
        QCOMPARE(d.f.messages.texts().size(), 2);
        QVERIFY(!w.centralWidget()->isEnabled());
        QVERIFY(w.windowTitle().startsWith(QStringLiteral("Dorvane연결에 실패했습니다.")));
    }

    void smallCallDialog()
    {
        CallDesk d;
        d.open();
        QString error;
        QVERIFY(d.line.ring("0212345678", &error));
        Frm130000 dialog(d.desk.device);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("인바운드"));
        dialog.show();
        QTest::mouseClick(dialog.cmdClose, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(d.line.state(), LineSimulator::State::Ringing);

        Frm130000 again(d.desk.device);
        again.show();
        QTest::mouseClick(again.cmdStartCall, Qt::LeftButton);
        QVERIFY(!again.isVisible());
        QVERIFY(
            QTest::qWaitFor([&] { return d.line.state() == LineSimulator::State::OffHook; }, 3000));
    }
};

QTEST_MAIN(TestFrm100000)
#include "tst_frm100000.moc"
