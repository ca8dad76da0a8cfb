#include "CustomerFixture.h"
#include "TdsServer.h"

// Saving a call result, inbound registration, and the automatic
// distribution of reception agents' customers.
class TestCallResult : public QObject
{
    Q_OBJECT

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
        bool save(int index, const QString& memo = QString(),
                  const QString& reservation = "2024-06-01")
        {
            result.load();
            if (index >= 0)
                result.cmbCallStatus_Click(index);
            return result.cmdRcResultSave_Click(memo, reservation);
        }
        QStringList recording(const QString& columns, const QString& file = "branch0001.db") const
        {
            return f.rows(file, "SELECT " + columns + " FROM recfile WHERE R_Path = 'r.vox'");
        }

        QString now = "2024-05-10 10:00:00";
        CallResult result{resultParts(), callPtr};
    };

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void saveAsAgent()
    {
        Fixture kim("kim");
        const QString id = kim.addCustomer("AppointmentDate=2000-01-01");
        kim.call.CustID = id;
        const QString memo = QString(4000, QChar(u'메')) + "'; --";
        // The fifth status (code 5) books the appointment.
        QVERIFY(kim.save(4, memo));
        QCOMPARE(kim.call.CallResultCode, QString("5"));
        QCOMPARE(kim.recording("Status, Memo"), QStringList{"5|" + memo});
        QCOMPARE(kim.recording("Status, tMemo", "Brenvo.mdb"), QStringList{"5|" + memo});
        QCOMPARE(kim.customer("Status, AppointmentDate, RegDate, AgentID", id),
                 QStringList{"5|2024-06-01|2024-05-10|kim"});
        QCOMPARE(kim.central("SELECT count(*) FROM tb_branchworkcount WHERE tMonth = '202405'"),
                 QStringList{"1"});

        // Another status keeps the appointment date; another agent's customer is not touched.
        QVERIFY(kim.save(0));
        QCOMPARE(kim.customer("Status, AppointmentDate", id), QStringList{"1|2024-06-01"});
        kim.call.CustSelectKind = CustSelectKind::C;
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
        lee.call.CustID = id;
        const auto handedTo = [&lee, &id](const QString& now) {
            lee.now = now;
            lee.save(-1);
            return lee.customer("AgentID", id).value(0);
        };
        // From 09:00 for tomorrow: han has none then, kim and choi two each.
        QCOMPARE(handedTo("2024-05-10 09:00:00"), QString("han"));
        QCOMPARE(lee.call.CallResultCode, QString("3"));
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

    // The server dies between two statements of the save: every later one is
    // logged, and the local row keeps the whole result for the next attempt.
    void serverKilledMidSave()
    {
        Fixture kim("kim");
        TdsServer* server = kim.f.standIn();
        if (!server)
            QSKIP("only the stand-in can be killed between two statements");
        const QString id = kim.addCustomer("");
        kim.panel.setValue(CustomerPanel::txtCustID, id);
        server->dropOn(QRegularExpression("^update gogakinfo"));
        kim.f.messages.onMessage = [server](const MessageRecorder::Message&) { server->stop(); };
        QVERIFY(kim.save(0, "메모"));
        QCOMPARE(kim.recording("Status, tMemo", "Brenvo.mdb"), QStringList{"1|메모"});
        QCOMPARE(kim.recording("Status, Memo"), QStringList{"1|메모"});
        QCOMPARE(kim.customer("Status", id), QStringList{"0"});
        const QStringList texts = kim.f.messages.texts();
        QVERIFY2(texts.value(0).contains("ERROR FUNCTION    : AddToMYSQL2") &&
                     texts.value(1).startsWith("데이터베이스 연결을 실패했습니다."),
                 qPrintable(texts.join('\n')));
        QVERIFY(!kim.f.db.SQLConnected());
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
        d.side.SetRegisterInboundCutomer("99999", "3", "0212345678");
        const QString id = d.panel.value(CustomerPanel::txtCustID);
        QCOMPARE(id, d.central("SELECT max(ID) FROM gogakinfo").value(0));
        QCOMPARE(d.panel.value(CustomerPanel::txtCampaignID), QString("99999"));
        QCOMPARE(d.panel.value(CustomerPanel::txtDataType), QString("3"));
        const QString today = d.today();
        QCOMPARE(d.central("SELECT AgentID, AgentID_1, CampaignID, DataType, Status, MobileNumber, "
                           "DistributeDate, ImpDate FROM gogakinfo WHERE ID = " +
                           id),
                 QStringList{ownerColumns + "|99999|3|0|0212345678|" + today + "|" + today});
        QCOMPARE(d.f.messages.errorBlocks(), 0);
        QVERIFY(!d.f.db.SQLConnected());
    }
};

QTEST_GUILESS_MAIN(TestCallResult)
#include "tst_callresult.moc"
