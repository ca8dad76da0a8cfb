#include <QSignalSpy>
#include <QTest>

#include "../customers/CustomerFixture.h"
#include "windows/Frm120000.h"

// The call-result window driven through its controls.
class TestFrm120000 : public QObject
{
    Q_OBJECT

    struct Fixture : CustomerFixture
    {
        explicit Fixture(const QString& agent) : CustomerFixture(agent)
        {
            side.lookups.SetCmbTermCombo();
            call.RecFileName = "w.vox";
            f.exec("branch0001.db", "INSERT INTO recfile (R_Path, Status) VALUES ('w.vox', '0')");
            // Built after cmbTerm is filled, as the call logic opens it.
            window = std::make_unique<Frm120000>(resultParts(), callPtr);
        }
        std::unique_ptr<Frm120000> window;
    };

private slots:
    void agentChoosesAndSaves()
    {
        Fixture d("kim");
        Frm120000& w = *d.window;
        w.show();
        QCOMPARE(w.windowTitle(), QString("통화결과입력"));
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
        w.txtRecMemo->setFocus();
        QTest::keyClicks(w.txtRecMemo, "call 'O'Neil' -- ;");
        QTest::mouseClick(w.cmdRcResultSave, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(d.call.CallResultCode, QString("4"));
        QCOMPARE(d.central("SELECT Status || '|' || Memo FROM recfile WHERE R_Path = 'w.vox'"),
                 QStringList{"4|call 'O'Neil' -- ;"});
    }

    void receptionAgentHasOneResult()
    {
        Fixture d("lee");
        d.window->show();
        QCOMPARE(d.window->cmbCallStatus->currentIndex(), 2);
        QVERIFY(!d.window->cmbCallStatus->isEnabled());
        QCOMPARE(d.window->cmbCallStatus->currentData().toInt(), 3);
    }
};

QTEST_MAIN(TestFrm120000)
#include "tst_frm120000.moc"
