#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "../customers/CustomerFixture.h"
#include "windows/Frm110000.h"
#include "windows/QtWindowOpener.h"

// The caller-ID window driven through its controls.
class TestFrm110000 : public QObject
{
    Q_OBJECT

    struct Fixture : CustomerFixture
    {
        Fixture()
        {
            own = addCustomer({{"Name", "내고객"}, {"MobileNumber", "0211112222"}});
            windows.setFactory(Window::CallerId, [this](const CallPtr& c) { return make(c); });
        }
        Frm110000* make(const CallPtr& c)
        {
            return new Frm110000(f.db, c, panel, side.search, device, f.messages);
        }
        QString own;
        QtWindowOpener windows;
    };

    static void clickRow(fpSpread* grid, int row)
    {
        const QRect cell = grid->visualRect(grid->model()->index(row - 1, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

private slots:
    void pickOwnCustomer()
    {
        Fixture d;
        d.call.CallerNumber = "0211112222";
        std::unique_ptr<Frm110000> w(d.make(d.callPtr));
        w->show();
        QCOMPARE(w->windowTitle(), QString("고객선택"));
        QCOMPARE(w->lblCIDData->text(), QString("0211112222"));
        QCOMPARE(w->sprCustSearch->model()->rowCount(), 1);
        QSignalSpy finished(w.get(), &QDialog::finished);
        // Rows are there: registering a new customer is refused.
        QTest::mouseClick(w->cmdStartCall, Qt::LeftButton);
        QCOMPARE(d.f.messages.messages.value(0).caption, QString("기존 및 타인고객"));
        QVERIFY(w->isVisible());
        clickRow(w->sprCustSearch, 1);
        QVERIFY(!finished.isEmpty());
        QVERIFY(!w->isVisible());
        QCOMPARE(d.call.CustSelectKind, CustSelectKind::B);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), d.own);
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QString("0211112222"));
    }

    void waitForTheNumberThenRegister()
    {
        Fixture d;
        std::unique_ptr<Frm110000> w(d.make(d.callPtr));
        w->show();
        QCOMPARE(w->lblCIDData->text(), QString("NO CIDDATA"));
        QVERIFY(w->tmrGetCID->isActive());
        QCOMPARE(w->tmrGetCID->interval(), 1000);
        d.call.CallerNumber = "0299990000";
        QTRY_COMPARE_WITH_TIMEOUT(w->lblCIDData->text(), QString("0299990000"), 3000);
        QVERIFY(!w->tmrGetCID->isActive());
        QTest::mouseClick(w->cmdStartCall, Qt::LeftButton);
        QCOMPARE(d.call.CustSelectKind, CustSelectKind::A);
        QVERIFY(!w->isVisible());
    }

    // The number arrives while "인바운드" is open: the window is built hidden
    // once, and the call logic's modal showing takes that same instance.
    void preloadedThenShownModally()
    {
        Fixture d;
        d.call.CallerNumber = "0211112222";
        QPointer<Frm110000> hidden =
            qobject_cast<Frm110000*>(d.windows.preload(Window::CallerId, d.callPtr));
        QVERIFY(hidden && !hidden->isVisible());
        QCOMPARE(d.windows.preload(Window::CallerId, d.callPtr), hidden.data());
        QVERIFY(!d.windows.isWindowOpen("고객선택"));
        bool sameInstance = false;
        bool openWhileShown = false;
        QTimer::singleShot(0, [&] {
            sameInstance = QApplication::activeModalWidget() == hidden;
            openWhileShown = d.windows.isWindowOpen("고객선택");
            clickRow(hidden->sprCustSearch, 1);
        });
        d.windows.showModal(Window::CallerId, d.callPtr);
        QVERIFY(sameInstance && openWhileShown);
        QVERIFY(hidden.isNull());
        QCOMPARE(d.call.CustSelectKind, CustSelectKind::B);

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
};

QTEST_MAIN(TestFrm110000)
#include "tst_frm110000.moc"
