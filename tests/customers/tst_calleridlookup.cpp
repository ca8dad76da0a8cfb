#include <QSignalSpy>

#include "CustomerFixture.h"
#include "customers/CallerIdLookup.h"

// The caller-ID window's decisions: own customer, another agent's, or a
// new caller.
class TestCallerIdLookup : public QObject
{
    Q_OBJECT

    struct Lookup : CustomerFixture
    {
        Lookup()
        {
            addCustomer("Name=내고객|MobileNumber=0211112222|OfficeNumber=0211112222");
            other = addCustomer("Name=남의고객|AgentID=choi|MobileNumber=0233334444|BranchID=0009");
            addCustomer("Name=주인없음|AgentID=ghost|MobileNumber=0255556666");
        }
        QString other;
        CallerIdLookup lookup{f.db, callPtr, panel, side.search, device, f.messages};
        QSignalSpy unloads{&lookup, &CallerIdLookup::unload};
    };

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void lookUp_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("mobile and office of one customer") << "0211112222" << QStringList{"내고객"};
        QTest::newRow("another branch's customer") << "0233334444" << QStringList{"남의고객"};
        QTest::newRow("owner without an agent row") << "0255556666" << QStringList{};
        QTest::newRow("other spelling") << "02-1111-2222" << QStringList{};
        QTest::newRow("quote") << "02'--" << QStringList{};
    }
    void lookUp()
    {
        QFETCH(QString, number);
        QFETCH(QStringList, names);
        Lookup d;
        d.lookup.GetCustinfo(number);
        QStringList found;
        for (int row = 1; row <= d.lookup.sprCustSearch().MaxRows(); ++row) {
            found << d.lookup.sprCustSearch().text(1, row);
            QCOMPARE(d.lookup.sprCustSearch().text(7, row), number);
        }
        QCOMPARE(found, names);
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

    void otherAgentsCustomer()
    {
        Lookup d;
        d.lookup.setLblCIDData("0233334444");
        auto kindWhenWarned = CustSelectKind::E;
        d.f.messages.onMessage = [&d, &kindWhenWarned](const MessageRecorder::Message&) {
            kindWhenWarned = d.call.CustSelectKind;
        };
        d.lookup.sprCustSearch_Click(1, 1);
        QCOMPARE(d.f.messages.texts(),
                 QStringList{"타인고객입니다. 해당상담원에게 메모를 전달해주시기 바랍니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QString("타인고객"));
        QCOMPARE(kindWhenWarned, CustSelectKind::None);
        QCOMPARE(d.call.CustSelectKind, CustSelectKind::C);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), d.other);
        QVERIFY(d.unloads.count() >= 1);
    }
};

QTEST_GUILESS_MAIN(TestCallerIdLookup)
#include "tst_calleridlookup.moc"
