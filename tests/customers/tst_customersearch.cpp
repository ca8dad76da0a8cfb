#include <QSignalSpy>

#include "CustomerFixture.h"

// The customer search, the list and opening a customer, against the demo
// branch database.
class TestCustomerSearch : public QObject
{
    Q_OBJECT

    // The names the list shows, sorted.
    static QStringList names(const SpreadModel& list)
    {
        QStringList out;
        for (int row = 1; row <= list.MaxRows(); ++row)
            out << list.text(5, row);
        out.sort();
        return out;
    }

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void conditions_data()
    {
        // status|field|text|campaign
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QStringList>("expected");
        const QStringList news{"신규A", "신규B"}, oNeil{"O'Neil -- ;"};
        QTest::newRow("new data ignores the dates") << "0|||77777" << news;
        QTest::newRow("appointments by AppointmentDate") << "5|||77777" << QStringList{"예약"};
        QTest::newRow("results by RegDate") << "3|||77777" << oNeil;
        QTest::newRow("text without a field") << "0||A|77777" << news;
        QTest::newRow("field without text") << "0|고객성명||77777" << news;
        QTest::newRow("name trimmed") << "0|고객성명|  규A |77777" << QStringList{"신규A"};
        QTest::newRow("quote, dashes, semicolon") << "3|고객성명|O'Neil -- ;|77777" << oNeil;
        QTest::newRow("social id") << "0|주민번호|9001|77777" << QStringList{"신규B"};
        QTest::newRow("phone 1") << "0|전화번호1|010-77|77777" << QStringList{"신규A"};
        QTest::newRow("phone 2") << "0|전화번호2|02-77|77777" << QStringList{"신규B"};
        QTest::newRow("one campaign") << "0|||77778" << QStringList{"다른캠페인"};
    }
    void conditions()
    {
        QFETCH(QString, bar);
        QFETCH(QStringList, expected);
        const QStringList b = bar.split(u'|');
        CustomerFixture d;
        // The search's days are 2024-05-10; 2020-01-01 is outside them.
        d.addCustomer("Name=신규A|RegDate=2020-01-01|MobileNumber=010-7777");
        d.addCustomer("Name=신규B|RegDate=2020-01-01|JuminNo=900101|OfficeNumber=02-7777");
        d.addCustomer("Name=예약|Status=5|AppointmentDate=2024-05-10|RegDate=2020-01-01");
        d.addCustomer("Name=지난예약|Status=5|AppointmentDate=2020-01-01|RegDate=2024-05-10");
        d.addCustomer("Name=O'Neil -- ;|Status=3|RegDate=2024-05-10");
        d.addCustomer("Name=지난결과|Status=3|RegDate=2020-01-01");
        d.addCustomer("Name=다른캠페인|CampaignID=77778");
        // Other agents' customers of the same branch and team never appear.
        d.addCustomer("Name=신규A|AgentID=lee|MobileNumber=010-7777");
        d.addCustomer("Name=O'Neil -- ;|AgentID=choi|Status=3|RegDate=2024-05-10");

        d.side.search.setSearchBar({b[0], "2024-05-10", "2024-05-10", b[1], b[2], b[3]});
        d.side.search.cmdCustSearch_Click();
        QCOMPARE(names(d.list), expected);
        QCOMPARE(d.side.search.TxtTCount(), QString::number(expected.size()));
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

    void allCampaignsAndCounters()
    {
        CustomerFixture d;
        d.side.search.setSearchBar({"0", "", "", "", "", "999"});
        d.side.search.cmdCustSearch_Click();
        const int before = d.list.MaxRows();
        const int appointments = d.side.search.lblReservation().toInt();
        QCOMPARE(d.side.search.lblNew(), QString::number(before));
        d.addCustomer("Name=새고객|CampaignID=10001");
        for (const QString& day : {d.today(), d.today() + " "})
            d.addCustomer({{"Status", "5"}, {"AppointmentDate", day}});
        d.side.search.cmdCustSearch_Click();
        QCOMPARE(d.list.MaxRows(), before + 1);
        QCOMPARE(d.side.search.lblNew(), QString::number(before + 1));
        // Only the exact date text counts as today's appointment.
        QCOMPARE(d.side.search.lblReservation(), QString::number(appointments + 1));
    }

    void headerSortsRowOpensAndLoadById()
    {
        CustomerFixture d;
        d.side.search.SetSprCustList();
        QVERIFY(!d.list.isColumnHidden(5) && !d.list.isColumnHidden(11) &&
                d.list.isColumnHidden(1));
        const QString id = d.addCustomer(
            "Name=가|JuminNo=800101-1|DataType=1|OfficeNumber=02-1|HomeAddress2= 자택 |blank6=끝");
        d.addCustomer("Name=다");
        d.addCustomer("Name=나");
        d.side.search.setSearchBar({"0", "", "", "", "", "77777"});
        d.side.search.cmdCustSearch_Click();
        d.panel.setValue(CustomerPanel::lblTelNO, "0212345678");
        d.panel.SetCustInfoValuables("1");

        d.side.search.SprCustList_Click(5, 0);
        QCOMPARE(d.list.text(5, 1) + d.list.text(5, 2) + d.list.text(5, 3), QString("가나다"));
        d.side.search.SprCustList_Click(5, 0);
        QCOMPARE(d.list.text(5, 1), QString("다"));
        QVERIFY(d.panel.value(CustomerPanel::txtCustName).isEmpty());

        QSignalSpy opened(&d.side.search, &CustomerSearch::customerOpened);
        d.side.search.SprCustList_Click(11, 3);
        QCOMPARE(opened.value(0).value(0).toString(), id);
        QStringList boxes;
        for (int f = 0; f < CustomerPanel::kBoxes; ++f)
            boxes << d.panel.value(CustomerPanel::Field(f));
        QCOMPARE(boxes.join(u'|'), id + "|가|800101-1|1|77777||02-1||||||자택||||||끝");
        QCOMPARE(d.panel.CustSelectKind, CustSelectKind::D);
        QVERIFY(!d.panel.isEditable());
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QString("0212345678"));

        // By key: the list empties, DataType is not loaded.
        d.panel.clearCustInfoValuables();
        QVERIFY(d.side.search.GetCustinfoByID(id));
        QCOMPARE(d.list.MaxRows(), 0);
        QCOMPARE(d.side.search.TxtTCount(), QString("1"));
        QCOMPARE(d.panel.value(CustomerPanel::txtCustBlank6), QString("끝"));
        QVERIFY(d.panel.value(CustomerPanel::txtDataType).isEmpty());
        // An unknown key is no failure: nothing loaded, the count says so.
        QVERIFY(d.side.search.GetCustinfoByID("' or '1'='1"));
        QCOMPARE(d.side.search.TxtTCount(), QString("0"));
        QCOMPARE(d.panel.value(CustomerPanel::txtCustName), QString("가"));
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

    void moreRowsThanTheListHolds()
    {
        CustomerFixture d;
        if (d.f.backend() == Backend::SqlServer)
            QSKIP("the rows are made by SQLite's recursive query");
        d.f.exec("branch0001.db",
                 "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 32800) "
                 "INSERT INTO gogakinfo (BranchID, TeamID, AgentID, Status, CampaignID, Name) "
                 "SELECT '0001', '01', 'kim', '0', '55555', 'c' || x FROM n");
        d.side.search.GetCustList("0", "", "", "", "", "55555");
        QCOMPARE(d.list.MaxRows(), SpreadModel::kMaxRows);
        QCOMPARE(d.side.search.TxtTCount(), QString("32800"));
        QCOMPARE(d.f.messages.errorBlocks(), 1);
        QVERIFY(d.f.messages.texts().constLast().contains("GetCustinfo"));
    }

    void lookupLists()
    {
        CustomerFixture d;
        LookupLists& lists = d.side.lookups;
        d.f.exec("branch0001.db",
                 "INSERT INTO tb_callstatus VALUES ('10', '', 'blank'), ('9', '아홉', 'Nine')");
        QVERIFY(lists.SetCmbTermCombo());
        const auto item = [](const ComboItem& i) {
            return i.text + u'=' + QString::number(i.itemData);
        };
        // Numeric order; a record without a description is left out.
        QCOMPARE(item(lists.cmbTerm().first()) + u' ' + item(lists.cmbTerm().last()),
                 "신규=0 아홉=9");
        QVERIFY(lists.SetCmbCampaignCombo());
        QCOMPARE(item(lists.cmbCampaign().first()), "전체=999");
        // An empty status table leaves the list as it was.
        d.f.exec("branch0001.db", "DELETE FROM tb_callstatus");
        const int count = lists.cmbTerm().size();
        QVERIFY(lists.SetCmbTermCombo());
        QCOMPARE(lists.cmbTerm().size(), count);
        QVERIFY(!d.f.db.SQLConnected());
    }

    void workLists()
    {
        CustomerFixture d;
        WorkLists& lists = d.side.lists;
        lists.SetSprNotTransfer();
        QVERIFY(!lists.sprNotTransfer().isColumnHidden(27) &&
                lists.sprNotTransfer().isColumnHidden(28));
        d.f.exec("branch0001.db", "DELETE FROM recfile");
        d.f.exec("branch0001.db",
                 "INSERT INTO recfile (BranchID, TeamID, AgentID, Status, Policy_No, Liesten_Date, "
                 "Memo, R_Path) VALUES "
                 "('0001', '01', 'kim', '0', 'P-1', '2024-01-02', '메모 '' --', 'a.vox'), "
                 "('0001', '01', 'kim', '3', '', '', '', 'b.vox'), ('0001', '01', 'lee', '0', '', "
                 "'', '', 'c.vox')");
        lists.GetNotTransferList();
        QCOMPARE(lists.sprNotTransfer().MaxRows(), 1);
        const auto cell = [&lists](int col) { return lists.sprNotTransfer().text(col, 1); };
        // Columns 11, 14 and 27 from the central names; no full path there.
        QCOMPARE(QStringList({cell(11), cell(14), cell(17), cell(23), cell(27), cell(28)}),
                 QStringList({"P-1", "2024-01-02", "0", "a.vox", "메모 ' --", ""}));

        d.f.exec("branch0001.db", "UPDATE gogakinfo SET Status = '1' WHERE AgentID = 'kim'");
        for (const char* fields :
             {"CampaignID=10001", "CampaignID=10001", "CampaignID=10002|Status=3"})
            d.addCustomer(fields);
        lists.GetCampaignDataCnt();
        QCOMPARE(lists.sprCampaign().MaxRows(), 1);
        QCOMPARE(lists.sprCampaign().text(1, 1) + u'|' + lists.sprCampaign().text(3, 1), "10001|2");
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCustomerSearch)
#include "tst_customersearch.moc"
