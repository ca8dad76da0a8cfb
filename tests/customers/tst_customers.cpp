#include <QSignalSpy>

#include "CustomerFixture.h"
#include "customers/CallerIdLookup.h"
#include "TdsServer.h"

// The customer search and list, the register and modify buttons, the
// caller-ID lookup, saving a call result, inbound registration and the
// automatic distribution of reception agents' customers.
class TestCustomers : public QObject
{
    Q_OBJECT

    static QStringList names(const SpreadModel& list)
    {
        QStringList out;
        for (int row = 1; row <= list.MaxRows(); ++row)
            out << list.text(5, row);
        out.sort();
        return out;
    }

    struct Fixture : CustomerFixture
    {
        explicit Fixture(const QString& agent) : CustomerFixture(agent)
        {
            side.lookups.SetCmbTermCombo();
            result.setClock([this] { return now; });
            call.RecFileName = "r.vox";
            call.CallDirection = CallDirection::Inbound;
            call.CallDuration = "65";
            for (const char* file : {"branch0001.db", "Brenvo.mdb"})
                f.exec(file, "INSERT INTO recfile (R_Path, Status) VALUES ('r.vox', '0')");
        }
        // Saves the status at index, as the window's save button does.
        bool save(int index, const QString& memo = QString())
        {
            result.load();
            if (index >= 0)
                result.cmbCallStatus_Click(index);
            return result.cmdRcResultSave_Click(memo, "2024-06-01");
        }
        QStringList recording(const QString& columns, const QString& file = "branch0001.db") const
        {
            return f.rows(file, "SELECT " + columns + " FROM recfile WHERE R_Path = 'r.vox'");
        }

        QString now = "2024-05-10 10:00:00";
        CallResult result{desk.resultParts(), callPtr};
    };

    struct Lookup : CustomerFixture
    {
        Lookup()
        {
            addCustomer("Name=내고객|MobileNumber=0211112222|OfficeNumber=0211112222");
            other = addCustomer("Name=남의고객|AgentID=choi|MobileNumber=0233334444|BranchID=0009");
            addCustomer("Name=주인없음|AgentID=ghost|MobileNumber=0255556666");
        }
        QString other;
        CallerIdLookup lookup{f.db, callPtr, desk.calls, side.search, device, f.messages};
        QSignalSpy unloads{&lookup, &CallerIdLookup::unload};
    };

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
        QVERIFY(d.f.answered());
        QCOMPARE(names(d.list), expected);
        QCOMPARE(d.side.search.TxtTCount(), QString::number(expected.size()));
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

    void allCampaignsAndCounters()
    {
        CustomerFixture d;
        d.side.search.setSearchBar({"0", "", "", "", "", "999"});
        d.side.search.cmdCustSearch_Click();
        QVERIFY(d.f.answered());
        const int before = d.list.MaxRows();
        const int appointments = d.side.search.lblReservation().toInt();
        QCOMPARE(d.side.search.lblNew(), QString::number(before));
        d.addCustomer("Name=새고객|CampaignID=10001");
        for (const QString& day : {d.today(), d.today() + " "})
            d.addCustomer({{"Status", "5"}, {"AppointmentDate", day}});
        d.side.search.cmdCustSearch_Click();
        QVERIFY(d.f.answered());
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
        QVERIFY(d.f.answered());
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
        QCOMPARE(d.panel.kind(), CustSelectKind::D);
        QVERIFY(!d.panel.isEditable());
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QString("0212345678"));

        // By key: the list empties, DataType is not loaded.
        d.panel.clearCustInfoValuables();
        d.side.search.GetCustinfoByID(id);
        QVERIFY(d.f.answered());
        QCOMPARE(d.list.MaxRows(), 0);
        QCOMPARE(d.side.search.TxtTCount(), QString("1"));
        QCOMPARE(d.panel.value(CustomerPanel::txtCustBlank6), QString("끝"));
        QVERIFY(d.panel.value(CustomerPanel::txtDataType).isEmpty());
        // An unknown key is no failure: nothing loaded, the count says so.
        d.side.search.GetCustinfoByID("' or '1'='1");
        QVERIFY(d.f.answered());
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
        QVERIFY(d.f.answered());
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
        QVERIFY(d.f.answered());
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
        QVERIFY(d.f.answered());
        QCOMPARE(lists.sprCampaign().MaxRows(), 1);
        QCOMPARE(lists.sprCampaign().text(1, 1) + u'|' + lists.sprCampaign().text(3, 1), "10001|2");
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

    // Each box gets the value cut at its column's declared length (+ past).
    void modifyStoresExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("past");
        QTest::newRow("Korean at the declared lengths") << QString(200, QChar(u'메')) << 0;
        QTest::newRow("one past the declared lengths") << QString(201, QChar(u'메')) << 1;
        QTest::newRow("empty") << "" << 0;
    }
    void modifyStoresExactly()
    {
        QFETCH(QString, value);
        QFETCH(int, past);
        CustomerFixture d;
        const QString id = d.addCustomer("Name=원래|MobileNumber=010-0000");
        d.side.search.GetCustinfoByID(id);
        QVERIFY(d.f.answered());
        d.side.editor.cmdModifyCust_Click();
        QStringList columns, expected;
        for (const auto& [name, column] : editableBoxes()) {
            columns << column;
            const QString typed = (name == CustomerPanel::txtCustSocialID ? "800101-1234567"
                                   : name == CustomerPanel::txtPhoneNo1   ? "010-1234-"
                                                                          : "") +
                                  value;
            d.panel.setValue(name, typed.left(CustomerPanel::maxLength(name) + past));
            expected << (name == CustomerPanel::txtCustSocialID
                             ? HostUtils::PhoneDigits(d.panel.value(name))
                             : d.panel.value(name));
        }
        const QStringList before = d.customer(columns.join(", "), id);
        d.side.search.setSearchBar({"0", "", "", "", "", "77777"});
        d.side.editor.cmdModifyCust_Click();
        QVERIFY(d.f.answered());
        QVERIFY(!d.panel.isEditable());
        // The list was searched again.
        QCOMPARE(d.side.search.TxtTCount(), QString("1"));
        if (past && d.f.enforcesLengths()) {
            // SQL Server refuses the whole save: logged with its number, nothing changed.
            QCOMPARE(d.f.messages.errorBlocks(), 1);
            const QString block = d.f.messages.texts().first();
            QVERIFY2(block.contains("String or binary data would be truncated. (8152)") &&
                         block.contains("ERROR FUNCTION    : AddToMYSQL3"),
                     qPrintable(block));
            QCOMPARE(d.customer(columns.join(", "), id), before);
            QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h"), QStringList{"0"});
            return;
        }
        QCOMPARE(d.f.messages.errorBlocks(), 0);
        QCOMPARE(d.customer(columns.join(", "), id), QStringList{expected.join(u'|')});
        // One history row: the customer as it was before.
        QCOMPARE(d.central("SELECT Name, MobileNumber FROM gogakinfo_h WHERE ID = " + id),
                 QStringList{"원래|010-0000"});
    }

    // Saved with a call: a recording row that is not there undoes the
    // customer update too; without a recording the customer alone is stored.
    // Across the network the link takes the save and reports the refusal.
    void recfileMode()
    {
        CustomerFixture d;
        const QString id = d.addCustomer("Name=원래");
        const bool linked = d.f.db.crossesNetwork();
        d.f.exec("branch0001.db", "INSERT INTO recfile (R_Path, Name) VALUES ('call.vox', '')");
        d.panel.setValue(CustomerPanel::txtCustID, id);
        d.panel.setValue(CustomerPanel::txtCustName, "전화고객");
        QCOMPARE(d.side.saveCallCustomer(d.panel.record(), "missing.vox", "010-2222-3333"), linked);
        QCOMPARE(d.customer("Name", id), QStringList{"원래"});
        QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h"), QStringList{"0"});

        QVERIFY(d.side.saveCallCustomer(d.panel.record(), "", ""));
        QCOMPARE(d.customer("Name", id), QStringList{"전화고객"});
        QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h WHERE ID = " + id), QStringList{"1"});
        QCOMPARE(d.central("SELECT Name FROM recfile WHERE R_Path = 'call.vox'"), QStringList{""});
        QCOMPARE(d.f.messages.errorBlocks(), linked ? 1 : 0);
    }

    void buttonsWithoutCustomer()
    {
        CustomerFixture d;
        d.side.editor.cmdModifyCust_Click();
        QCOMPARE(d.f.messages.texts(), QStringList{"수정할 고객을 선택해주시기 바랍니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QString("고객수정오류"));
        QVERIFY(!d.side.editor.CustModifying());

        d.panel.setValue(CustomerPanel::txtCustName, "누군가");
        d.panel.setValue(CustomerPanel::lblTelNO, "0200");
        d.side.editor.cmdRegisterCust_Click();
        QVERIFY(d.panel.value(CustomerPanel::txtCustName).isEmpty() &&
                d.panel.value(CustomerPanel::lblTelNO).isEmpty());
        QVERIFY(d.panel.isEditable());
        QCOMPARE(d.panel.kind(), CustSelectKind::E);
    }

    void saveAsAgent()
    {
        Fixture kim("kim");
        const QString id = kim.addCustomer("AppointmentDate=2000-01-01");
        kim.call.customer[CustomerRecord::txtCustID] = id;
        // The fifth status (code 5) books the appointment.
        QVERIFY(kim.save(4));
        QCOMPARE(kim.call.result.text(), QString("5"));
        QCOMPARE(kim.customer("Status, AppointmentDate, RegDate, AgentID", id),
                 QStringList{"5|2024-06-01|2024-05-10|kim"});

        // Another status keeps the appointment date; another agent's customer is not touched.
        QVERIFY(kim.save(0));
        QCOMPARE(kim.customer("Status, AppointmentDate", id), QStringList{"1|2024-06-01"});
        kim.call.customer.kind = CustSelectKind::C;
        QVERIFY(kim.save(2));
        QCOMPARE(kim.customer("Status", id), QStringList{"1"});
        QCOMPARE(kim.recording("Status"), QStringList{"3"});
        QCOMPARE(kim.f.messages.errorBlocks(), 0);
    }

    void distribution()
    {
        Fixture lee("lee");
        lee.f.exec("branch0001.db",
                   "INSERT INTO AgentLogin (BranchID, TeamID, AgentID, UserName, Agent_Privilege) "
                   "VALUES ('0001', '02', 'han', '한', '12')");
        lee.f.exec(
            "branch0001.db",
            "INSERT INTO tb_autoDistribute VALUES ('0001', '01', 'kim', '2024-05-11', 2), "
            "('0001', '01', 'choi', '2024-05-11', 2), ('0001', '01', 'kim', '2024-05-10', 9)");
        const QString id = lee.addCustomer("AgentID=|AppointmentDate=");
        lee.call.customer[CustomerRecord::txtCustID] = id;
        const auto handedTo = [&lee, &id](const QString& now) {
            lee.now = now;
            lee.save(-1);
            return lee.customer("AgentID", id).value(0);
        };
        // From 09:00 for tomorrow: han has none then, kim and choi two each.
        QCOMPARE(handedTo("2024-05-10 09:00:00"), QString("han"));
        QCOMPARE(lee.call.result.text(), QString("3"));
        QCOMPARE(lee.customer("AppointmentDate", id), QStringList{""});
        QCOMPARE(handedTo("2024-05-10 23:59:59"), QString("han"));
        // All at two: the lowest agentlogin ID wins.
        QCOMPARE(handedTo("2024-05-10 12:00:00"), QString("kim"));
        QCOMPARE(lee.central("SELECT AgentID, DistributeCnt FROM tb_autoDistribute WHERE "
                             "DistributeDate = '2024-05-11' ORDER BY AgentID"),
                 (QStringList{"choi|2", "han|2", "kim|3"}));
        // Before 09:00 for today, where kim already has nine.
        QCOMPARE(handedTo("2024-05-10 08:59:59"), QString("choi"));
        QCOMPARE(lee.central("SELECT DistributeCnt FROM tb_autoDistribute WHERE AgentID = 'choi' "
                             "AND DistributeDate = '2024-05-10'"),
                 QStringList{"1"});
        QCOMPARE(CallResult::distributionDate("2024-12-31 10:00:00"), QString("2025-01-01"));
        QCOMPARE(lee.f.messages.errorBlocks(), 0);
    }

    // The server dies between two statements of the save: the agent is told
    // once, the customer's update and the counts are kept and go once when
    // it is back, and the local row keeps the whole result.
    void serverKilledMidSave()
    {
        Fixture kim("kim");
        TdsServer* server = kim.f.standIn();
        if (!server)
            QSKIP("only the stand-in can be killed between two statements");
        const QString id = kim.addCustomer("");
        kim.call.customer[CustomerRecord::txtCustID] = id;
        const auto counted = [&kim] {
            return kim.f.rows("branch0001.db", "select sum(RecCnt) from tb_agentcallstatistics")
                .value(0)
                .toInt();
        };
        const int before = counted();
        server->dropOn(QRegularExpression("^update gogakinfo"));
        kim.f.messages.onMessage = [server](const MessageRecorder::Message&) { server->stop(); };
        QVERIFY(kim.save(0, "메모"));
        QCOMPARE(kim.recording("Status, tMemo", "Brenvo.mdb"), QStringList{"1|메모"});
        QCOMPARE(kim.recording("Status, Memo"), QStringList{"1|메모"});
        QCOMPARE(kim.customer("Status", id), QStringList{"0"});
        // One box for the outage.
        const QStringList texts = kim.f.messages.texts();
        QVERIFY2(texts.size() == 1 && texts[0].contains("ERROR FUNCTION    : AddToMYSQL2"),
                 qPrintable(texts.join('\n')));
        // The customer's update and the two counts wait for the server.
        QCOMPARE(kim.f.db.journal().waiting(), 3);
        QVERIFY(!kim.f.db.SQLConnected());
        // Started again: the link sends what waits on its next try, once.
        QString error;
        QVERIFY2(server->start(server->options(), server->port(), &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(kim.f.db.journal().waiting(), 0, 10000);
        QCOMPARE(counted(), before + 1);
        QCOMPARE(kim.customer("Status", id), QStringList{"1"});
    }

    void inboundRegistration_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("ownerColumns");
        QTest::newRow("agent owns it") << "kim" << QString("kim|");
        QTest::newRow("reception agent in AgentID_1") << "lee" << QString("|lee");
    }
    void inboundRegistration()
    {
        QFETCH(QString, agent);
        QFETCH(QString, ownerColumns);
        CustomerFixture d(agent);
        CustomerRecord registered;
        d.side.SetRegisterInboundCutomer("99999", "3", "0212345678", &d.side.search,
                                         [&registered](const CustomerRecord* r) {
                                             QVERIFY(r);
                                             registered = *r;
                                         });
        QVERIFY(d.f.answered());
        const QString id = registered[CustomerRecord::txtCustID];
        QCOMPARE(id, d.central("SELECT max(ID) FROM gogakinfo").value(0));
        QCOMPARE(registered[CustomerRecord::txtCampaignID] + '|' +
                     registered[CustomerRecord::txtDataType],
                 QString("99999|3"));
        QCOMPARE(
            d.customer("AgentID, AgentID_1, CampaignID, DataType, Status, MobileNumber, "
                       "DistributeDate, ImpDate",
                       id),
            QStringList{ownerColumns + "|99999|3|0|0212345678|" + d.today() + "|" + d.today()});
        QCOMPARE(d.f.messages.errorBlocks(), 0);
        QVERIFY(!d.f.db.SQLConnected());
    }

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
        QTRY_VERIFY(!d.lookup.lookingUp());
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
        QTRY_VERIFY(!d.lookup.lookingUp());
        auto kindWhenWarned = CustSelectKind::E;
        d.f.messages.onMessage = [&d, &kindWhenWarned](const MessageRecorder::Message&) {
            kindWhenWarned = d.call.customer.kind;
        };
        d.lookup.sprCustSearch_Click(1, 1);
        QVERIFY(d.f.answered());
        QCOMPARE(d.f.messages.messages.size(), 1);
        QCOMPARE(kindWhenWarned, CustSelectKind::C);
        QCOMPARE(d.call.customer.kind, CustSelectKind::C);
        QCOMPARE(d.panel.value(CustomerPanel::txtCustID), d.other);
        QVERIFY(d.unloads.count() >= 1);
    }
};

QTEST_GUILESS_MAIN(TestCustomers)
#include "tst_customers.moc"
