#include "CustomerFixture.h"

// Register and modify buttons, and the save with its history copy.
class TestCustomerEditor : public QObject
{
    Q_OBJECT

    // The 16 boxes the agent edits, in the order of the columns below.
    static QList<CustomerPanel::Field> editable()
    {
        QList<CustomerPanel::Field> boxes;
        for (int f = CustomerPanel::txtCustName; f < CustomerPanel::kBoxes; ++f)
            if (f != CustomerPanel::txtDataType && f != CustomerPanel::txtCampaignID)
                boxes << CustomerPanel::Field(f);
        return boxes;
    }
    static constexpr const char* kColumns =
        "Name, JuminNo, MobileNumber, OfficeNumber, OfficePost, OfficeAddress1, OfficeAddress2, "
        "HomePost, HomeAddress1, HomeAddress2, blank1, blank2, blank3, blank4, blank5, blank6";

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    // Each box gets the value cut at its column's declared length (+ past).
    void modifyStoresExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("past");
        QTest::newRow("quotes") << "O'Neil ''김'철''" << 0;
        QTest::newRow("comment and semicolon") << "x'; DROP TABLE gogakinfo; --" << 0;
        QTest::newRow("Korean with blanks") << "서울시 강남구  역삼동" << 0;
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
        const QStringList before = d.customer(kColumns, id);
        d.side.search.GetCustinfoByID(id);
        d.side.editor.cmdModifyCust_Click();
        QVERIFY(d.side.editor.CustModifying());
        QCOMPARE(d.side.editor.cmdModifyCustCaption(), QString("고객저장"));
        QVERIFY(!d.controls.isEnabled(DeskControls::cmdRegisterCust));
        QVERIFY(d.panel.isEditable());
        QStringList expected;
        for (const CustomerPanel::Field name : editable()) {
            const QString typed = (name == CustomerPanel::txtCustSocialID ? "800101-1234567"
                                   : name == CustomerPanel::txtPhoneNo1   ? "010-1234-"
                                                                          : "") +
                                  value;
            d.panel.setValue(name, typed.left(CustomerPanel::maxLength(name) + past));
            expected << (name == CustomerPanel::txtCustSocialID
                             ? HostUtils::PhoneDigits(d.panel.value(name))
                             : d.panel.value(name));
        }

        d.side.search.setSearchBar({"0", "", "", "", "", "77777"});
        d.side.editor.cmdModifyCust_Click();
        QCOMPARE(d.side.editor.cmdModifyCustCaption(), QString("고객수정"));
        QVERIFY(d.controls.isEnabled(DeskControls::cmdRegisterCust));
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
            QCOMPARE(d.customer(kColumns, id), before);
            QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h"), QStringList{"0"});
            return;
        }
        QCOMPARE(d.f.messages.errorBlocks(), 0);
        QCOMPARE(d.customer(kColumns, id), QStringList{expected.join(u'|')});
        // One history row: the customer as it was before.
        QCOMPARE(d.central("SELECT Name, MobileNumber FROM gogakinfo_h WHERE ID = " + id),
                 QStringList{"원래|010-0000"});
    }

    void failureKeepsBothTables()
    {
        CustomerFixture d;
        if (d.f.backend() == Backend::SqlServer)
            QSKIP("the fault is an SQLite trigger in the branch file");
        const QString id = d.addCustomer("Name=원래");
        d.side.search.GetCustinfoByID(id);
        d.f.exec("branch0001.db", "CREATE TRIGGER fault BEFORE UPDATE ON gogakinfo BEGIN SELECT "
                                  "RAISE(ABORT, 'fault'); END;");
        d.side.editor.cmdModifyCust_Click();
        d.panel.setValue(CustomerPanel::txtCustName, "새이름");
        d.side.editor.cmdModifyCust_Click();
        QCOMPARE(d.f.messages.errorBlocks(), 1);
        QVERIFY(d.f.messages.texts().first().contains("AddToMYSQL3"));
        QCOMPARE(d.customer("Name", id), QStringList{"원래"});
        QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h"), QStringList{"0"});
        QCOMPARE(d.panel.value(CustomerPanel::txtCustName), QString("새이름"));
        QVERIFY(!d.f.db.SQLConnected());
    }

    void recfileMode()
    {
        CustomerFixture d;
        const QString id = d.addCustomer("Name=원래");
        d.f.exec("branch0001.db",
                 "INSERT INTO recfile (R_Path, Name, R_Tel) VALUES ('call.vox', '', '')");
        d.panel.setValue(CustomerPanel::txtCustID, id);
        d.panel.setValue(CustomerPanel::txtCustName, "전화고객");
        d.panel.setValue(CustomerPanel::txtCustSocialID, "800101-1");

        // A recording row that is not there undoes the customer update too.
        QVERIFY(!d.side.saveCallCustomer("missing.vox", "010-2222-3333"));
        QCOMPARE(d.customer("Name", id), QStringList{"원래"});
        QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h"), QStringList{"0"});

        QVERIFY(d.side.saveCallCustomer("call.vox", "010-2222-3333"));
        QCOMPARE(d.central("SELECT Name, JuminNo, R_Tel FROM recfile WHERE R_Path = 'call.vox'"),
                 QStringList{"전화고객|8001011|01022223333"});
        QCOMPARE(d.customer("Name", id), QStringList{"전화고객"});

        // Without a recording the customer alone is stored.
        d.panel.setValue(CustomerPanel::txtCustName, "세번째");
        QVERIFY(d.side.saveCallCustomer("", ""));
        QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h WHERE ID = " + id), QStringList{"2"});
        QCOMPARE(d.central("SELECT Name FROM recfile WHERE R_Path = 'call.vox'"),
                 QStringList{"전화고객"});
        QCOMPARE(d.f.messages.errorBlocks(), 0);
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
        QCOMPARE(d.panel.CustSelectKind, CustSelectKind::E);
    }
};

QTEST_GUILESS_MAIN(TestCustomerEditor)
#include "tst_customereditor.moc"
