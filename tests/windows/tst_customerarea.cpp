#include <QSignalSpy>
#include <QTest>

#include "../customers/CustomerFixture.h"
#include "windows/CustomerArea.h"

// The main window's customer side driven through its search bar, list and
// edit buttons.
class TestCustomerArea : public QObject
{
    Q_OBJECT

private slots:
    // A box stops the agent where SQL Server would refuse the save.
    void boxesStopAtDeclaredLengths_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("column");
        QTest::newRow("name") << "txtCustName"
                              << "Name";
        QTest::newRow("resident number") << "txtCustSocialID"
                                         << "JuminNo";
        QTest::newRow("phone 1") << "txtPhoneNo1"
                                 << "MobileNumber";
        QTest::newRow("phone 2") << "txtPhoneNo2"
                                 << "OfficeNumber";
        QTest::newRow("office post") << "txtCustOfficeZip"
                                     << "OfficePost";
        QTest::newRow("office address") << "txtCustOfficeAddress2"
                                        << "OfficeAddress2";
        QTest::newRow("home post") << "txtCustHomeZip"
                                   << "HomePost";
        QTest::newRow("home address") << "txtCustHomeAddress1"
                                      << "HomeAddress1";
        QTest::newRow("blank 6") << "txtCustBlank6"
                                 << "blank6";
    }
    void boxesStopAtDeclaredLengths()
    {
        QFETCH(QString, box);
        QFETCH(QString, column);
        CustomerFixture d;
        CustomerArea area(d.panel, d.desk, &d.list);
        area.show();
        const int length = ProgramFolderFixture::declaredLength("gogakinfo", column);
        QVERIFY(length > 0);
        d.panel.SetCustInfoValuables("1");
        // Typed as an input method commits Hangul: all at once.
        QTest::sendKeyEvent(QTest::Press, area.box(boxNamed(box)), Qt::Key_unknown,
                            QString(length + 5, QChar(u'가')), Qt::NoModifier);
        QCOMPARE(d.panel.value(boxNamed(box)), QString(length, QChar(u'가')));
    }

    void searchOpenAndModify()
    {
        CustomerFixture d;
        const QString id = d.addCustomer({{"Name", "O'Neil 김"}, {"MobileNumber", "010-5555"}});
        d.addCustomer({{"Name", "다른이"}});
        CustomerArea area(d.panel, d.desk, &d.list);
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
        const QRect cell = area.SprCustList->visualRect(d.list.index(0, 4));
        QTest::mouseClick(area.SprCustList->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(opened.value(0).value(0).toString(), id);
        QCOMPARE(area.box(CustomerPanel::txtPhoneNo1)->text(), QString("010-5555"));

        QTest::mouseClick(area.cmdModifyCust, Qt::LeftButton);
        QCOMPARE(area.cmdModifyCust->text(), QString("고객저장"));
        QVERIFY(!area.cmdRegisterCust->isEnabled());
        QVERIFY(!area.box(CustomerPanel::txtCustName)->isReadOnly());
        area.box(CustomerPanel::txtCustName)->selectAll();
        QTest::keyClicks(area.box(CustomerPanel::txtCustName), "Kim;--");
        QTest::mouseClick(area.cmdModifyCust, Qt::LeftButton);
        QCOMPARE(area.cmdModifyCust->text(), QString("고객수정"));
        QVERIFY(area.cmdRegisterCust->isEnabled());
        QCOMPARE(d.central("SELECT Name FROM gogakinfo WHERE ID = " + id), QStringList{"Kim;--"});
        QCOMPARE(area.box(CustomerPanel::txtCustName)->text(), QString("Kim;--"));
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }
};

QTEST_MAIN(TestCustomerArea)
#include "tst_customerarea.moc"
