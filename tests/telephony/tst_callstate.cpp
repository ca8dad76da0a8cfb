#include <QDir>
#include <QFile>

#include "CallDesk.h"
#include "telephony/WorkCounters.h"

// The call state machine's decisions, driven event by event.
class TestCallState : public QObject
{
    Q_OBJECT

private slots:
    void ringingAndHookEdges()
    {
        CallDesk d;
        // The first hook event after start-up, even an off-hook, is swallowed.
        d.calls.HookChanged(3);
        QVERIFY(d.calls.HookEventSeen());
        QVERIFY(d.f.windows.shown.isEmpty());

        d.calls.RingChanged(1);
        QCOMPARE(d.f.windows.shown, QList<Window>{Window::SmallCall});
        QVERIFY(d.calls.lineCall() && d.calls.lineCall()->InboundCall);
        // The caller gives up: back to idle, the answer dialog goes away.
        d.calls.RingChanged(0);
        QVERIFY(!d.calls.lineCall());
        QCOMPARE(d.f.windows.closed, QList<Window>{Window::SmallCall});
        d.calls.HookChanged(3);
        QCOMPARE(d.f.windows.shown.size(), 1);

        // Ringing again while the dialog is still open shows no second one.
        d.f.windows.openCaptions << "인바운드";
        d.calls.RingChanged(1);
        QCOMPARE(d.f.windows.shown.size(), 1);
        // The handset answers: the dialog closes as its button would.
        d.calls.HookChanged(3);
        QCOMPARE(d.f.windows.closed.last(), Window::SmallCall);
        QCOMPARE(d.f.windows.shown.last(), Window::CallerId);
        QCOMPARE(d.calls.lineCall()->stage, Call::Stage::Connected);
        QVERIFY(d.f.messages.messages.isEmpty());
    }

    void unknownCallerAndNewCustomer()
    {
        CallDesk d;
        d.calls.HookChanged(1);
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::CallerId)
                call->CustSelectKind = CustSelectKind::A;
        };
        d.calls.DataArrival(0, "CID:010-9876-5432\r\n");
        d.calls.DataArrival(0, "CID:" + QString(31, u'7')); // no phone number: ignored
        d.calls.RingChanged(1);
        d.calls.HookChanged(3);
        const CallPtr call = d.calls.lineCall();
        QCOMPARE(d.panel.value(CustomerPanel::txtPhoneNo1), QStringLiteral("01098765432"));
        QVERIFY(d.panel.isEditable());
        const QString custId = d.panel.value(CustomerPanel::txtCustID);
        QCOMPARE(d.central("select CampaignID, DataType, MobileNumber from gogakinfo where ID = " +
                           custId),
                 QStringList{"99999|3|01098765432"});
        QVERIFY(call->RecFileName.endsWith("0001kim.vox"));

        d.panel.setValue(CustomerPanel::txtCustName, "새 고객");
        d.panel.setValue(CustomerPanel::txtCustSocialID, "800101-1234567");
        d.calls.cmdStopCall_Click();
        const QString where = " from recfile where R_Path = '" + call->RecFileName + "'";
        QCOMPARE(d.local("select Name, JuminNo, R_Tel" + where),
                 QStringList{"새 고객|8001011234567|01098765432"});
        QCOMPARE(d.central("select Name, JuminNo, MobileNumber" + where),
                 QStringList{"새 고객|8001011234567|01098765432"});
        d.calls.HookChanged(1);
        QVERIFY(!d.panel.isEditable());
        QCOMPARE(d.panel.CustSelectKind, CustSelectKind::None);
        QCOMPARE(d.central("select count(*) from gogakinfo_h where ID = " + custId),
                 QStringList{"1"});

        // A customer typed in before dialling is registered at off-hook.
        d.desk.customers.editor.cmdRegisterCust_Click();
        d.panel.setValue(CustomerPanel::txtPhoneNo2, "031-777-8888");
        d.calls.cmdStartPhoneNO2_Click();
        QCOMPARE(d.calls.lineCall()->CustSelectKind, CustSelectKind::E);
        d.calls.HookChanged(3);
        QCOMPARE(d.central("select count(*) from gogakinfo where CampaignID = '99998' and "
                           "DataType = '2' and ID = " +
                           d.panel.value(CustomerPanel::txtCustID)),
                 QStringList{"1"});
        QVERIFY(d.panel.isEditable());
    }

    void dialling()
    {
        CallDesk d;
        d.calls.cmdStartPhoneNO1_Click();
        QCOMPARE(d.f.messages.texts(), QStringList{"고객전화번호는 반드시 입력되어야 합니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QStringLiteral("필수정보오류"));
        QCOMPARE(d.f.messages.messages.first().icon, MessageIcon::Information);
        QVERIFY(!d.calls.lineCall());

        d.calls.DialNumber("(02) 123-4567");
        const CallPtr call = d.calls.lineCall();
        QCOMPARE(call->DialledNumber, QStringLiteral("021234567"));
        QCOMPARE(call->CallDirection, CallDirection::Outbound);
        QVERIFY(!call->InboundCall);
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QStringLiteral("(02) 123-4567"));

        // A three-digit area code never matches the first two digits; a dial
        // the device never answered gives way to the next one.
        d.f.session.LandCode = "031";
        d.f.session.LineLongCd = "8";
        d.open();
        d.calls.DialNumber("031-222-3333");
        QCOMPARE(call->stage, Call::Stage::Dropped);
        QVERIFY(QTest::qWaitFor([&] { return !d.line.lastDial().isEmpty(); }, 3000));
        QCOMPARE(d.line.lastDial(), QStringLiteral(",8,0312223333"));
    }

    void deviceLinkAndFeed()
    {
        CallDesk d;
        d.calls.DeviceLinkChanged(false);
        QVERIFY(!d.controls.windowEnabled());
        QCOMPARE(d.f.messages.texts(),
                 QStringList{"Dorvane연결에 실패 했습니다\r\n연결을 확인해주시기 바랍니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QStringLiteral("Dorvane2연결실패"));
        const QString lost = QStringLiteral("Dorvane연결에 실패했습니다. 트레이에서 프로그램을 "
                                            "종료하시고 Dorvane을 연결해주십시오");
        QCOMPARE(d.controls.windowTitle(), lost);
        d.calls.refreshTitle();
        QCOMPARE(d.controls.windowTitle(), lost);
        d.calls.DeviceLinkChanged(true);
        QVERIFY(d.controls.windowEnabled());
        QVERIFY(d.controls.windowTitle().startsWith("Brenvo-김민수-(kim)-금일: "));

        d.calls.DataArrival(3, "CALLER:02-123-45*67#abc");
        QCOMPARE(d.calls.callForCallerId()->CallerNumber, QStringLiteral("0212345*67#"));
        QVERIFY2(d.callerIdLabels.isEmpty(), "no ringing dialog, no label");
        d.f.windows.openCaptions << "인바운드";
        d.calls.RingChanged(1);
        QCOMPARE(d.calls.lineCall()->CallerNumber, QStringLiteral("0212345*67#"));
        d.calls.DataArrival(3, "no digits at all");
        QCOMPARE(d.callerIdLabels, QStringList{QString()});
    }

    void deviceAbsentAtStart()
    {
        CallDesk d;
        d.line.setLinkUp(false);
        d.calls.openDevices(0);
        QCOMPARE(d.f.messages.texts().value(0), QStringLiteral("Cannot Create Dorvane device"));
        QVERIFY(d.f.messages.texts().value(1).startsWith("Dorvane연결에 실패 했습니다"));
        QVERIFY(!d.controls.windowEnabled());
        // The device appears: the desk comes alive as at a link-up.
        d.line.setLinkUp(true);
        QVERIFY(QTest::qWaitFor([&] { return d.controls.windowEnabled(); }, 5000));
        QVERIFY(d.controls.windowTitle().startsWith("Brenvo-김민수-(kim)-"));
    }

    void recordingEdges()
    {
        CallDesk d;
        // The day folder cannot be made: no voice file, no rows anywhere, and
        // the agent is told at once.
        QFile::remove(d.f.path("RECDATA")) || QDir(d.f.path("RECDATA")).removeRecursively();
        QFile blocker(d.f.path("RECDATA"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Call c;
        d.desk.recorder.StartRecording(c, "2026-12-06 23:59:58");
        QVERIFY(!c.RecFileName.isEmpty());
        QCOMPARE(d.f.messages.errorBlocks(), 1);
        QVERIFY(d.f.messages.texts().first().contains("ERROR FUNCTION    : StartRecording"));
        d.desk.recorder.StopRecording(c, "2026-12-07 00:00:03");
        QCOMPARE(c.CallDuration, QStringLiteral("5"));
        QCOMPARE(d.local("select count(*) from recfile"), QStringList{"0"});
        QCOMPARE(d.central("select count(*) from recfile where R_Path = '" + c.RecFileName + "'"),
                 QStringList{"0"});
        // The upload of a call that was never recorded marks nothing, silently.
        d.desk.upload.UploadRecording(d.desk.uploadFtp, c);
        QCOMPARE(d.f.messages.messages.size(), 1);

        QCOMPARE(CallRecorder::secondsBetween("2026-12-06 23:59:58", "2026-12-07 00:00:03"), 5);
        Call e;
        d.desk.recorder.StopRecording(e, "2026-12-06 10:00:00");
        QCOMPARE(e.CallDuration, QStringLiteral("0"));
        QCOMPARE(e.CallStartTime, QStringLiteral("2026-12-06 10:00:00"));

        // A call across midnight keeps its start day everywhere.
        CallDesk m;
        Call in;
        in.InboundCall = true;
        m.panel.setValue(CustomerPanel::txtPhoneNo1, "010-1111-2222");
        m.panel.setValue(CustomerPanel::txtPhoneNo2, "02-333-4444");
        m.desk.recorder.StartRecording(in, "2026-12-06 23:59:58");
        m.desk.recorder.StopRecording(in, "2026-12-07 00:00:03");
        QCOMPARE(in.RecFileName, QStringLiteral("202612062359580001kim.vox"));
        QCOMPARE(m.local("select RegDate, R_Date, FolderName, R_StartTime, R_EndTime, R_Time, "
                         "R_Tel, RecBound from recfile"),
                 QStringList{"2026-12-06|20261206|20261206|235958|000003|5|01011112222|I"});
        QCOMPARE(
            m.central("select R_Tel, MobileNumber, OfficeNumber from recfile where R_Path = '" +
                      in.RecFileName + "'"),
            QStringList{"010-1111-2222|010-1111-2222|02-333-4444"});
        QVERIFY(QFile::exists(m.f.path("RECDATA/20261206/202612062359580001kim.vox")));
    }

    void uploadsAndFolders()
    {
        CallDesk d;
        Call c;
        d.desk.recorder.StartRecording(c, "2026-12-06 10:00:00");
        d.desk.media.writeLineAudio(QByteArray(3200, '\x10'));
        // Never while it is still being recorded.
        c.CallResultCode = "3";
        d.desk.upload.UploadRecording(d.desk.uploadFtp, c);
        QVERIFY(!QFile::exists(d.ftp.remoteFile("20261206/" + c.RecFileName)));
        d.desk.recorder.StopRecording(c, "2026-12-06 10:00:04");
        const QString name = c.RecFileName;

        d.ftp.setFault("refuse-login");
        c.CallResultCode = "5";
        d.desk.upload.UploadRecording(d.desk.uploadFtp, c);
        QCOMPARE(d.local("select UploadStatus from recfile"), QStringList{"0"});

        // Two failed stores, then the third try lands.
        d.ftp.setFault("fail-first:2");
        c.CallResultCode = " 5 ";
        d.desk.upload.UploadRecording(d.desk.uploadFtp, c);
        QVERIFY(QFile::exists(d.ftp.remoteFile("TEMP/20261206/" + name)));
        QCOMPARE(d.local("select UploadStatus from recfile"), QStringList{"1"});
        QCOMPARE(d.central("select UploadStatus from recfile where R_Path = '" + name + "'"),
                 QStringList{"1"});

        d.ftp.setFault("");
        c.CallResultCode = "3";
        d.desk.upload.UploadRecording(d.desk.uploadFtp, c);
        QVERIFY(QFile::exists(d.ftp.remoteFile("20261206/" + name)));
        QVERIFY(d.f.messages.messages.isEmpty());
    }

    void counters()
    {
        ProgramFolderFixture f;
        f.loginAs("kim");
        WorkCounters counters(f.db);
        QVERIFY(f.exec("branch0001.db", "delete from tb_branchworkcount"));
        QVERIFY(f.exec("branch0001.db", "delete from TB_AGENTCALLSTATISTICS"));
        counters.AddToMYSQL4("0001", "01", "kim", "202612", "2026-12-06", "3", "40", "2");
        QCOMPARE(f.rows("branch0001.db", "select WorkCount, tDate from tb_branchworkcount"),
                 QStringList{"1|2026-12-06"});
        counters.AddToMYSQL4("0001", "01", "kim", "202612", "2026-12-07", "3", "20", "2");
        counters.AddToMYSQL4("0001", "01", "kim", "202612", "2026-12-07", "3", "5", "1");
        QCOMPARE(f.rows("branch0001.db", "select WorkCount, tDate from tb_branchworkcount"),
                 QStringList{"3|2026-12-07"});
        QCOMPARE(f.rows("branch0001.db",
                        "select RecDate, Status, RecBound, RecCnt, RecDuration from "
                        "TB_AGENTCALLSTATISTICS order by RecDate, RecBound"),
                 (QStringList{"2026-12-06|3|2|1|40", "2026-12-07|3|1|1|5", "2026-12-07|3|2|1|20"}));
        counters.AddToMYSQL4("0001", "01", "kim", "202612", "2026-12-07", "3", "15", "2");
        QCOMPARE(f.rows("branch0001.db",
                        "select RecCnt, RecDuration from TB_AGENTCALLSTATISTICS where "
                        "RecDate = '2026-12-07' and RecBound = 2"),
                 QStringList{"2|35"});
        QVERIFY(f.messages.messages.isEmpty());

        // An empty duration breaks the statistics update: logged, the branch count still moved.
        counters.AddToMYSQL4("0001", "01", "kim", "202612", "2026-12-07", "3", "", "2");
        QCOMPARE(f.messages.errorBlocks(), 1);
        QVERIFY(f.messages.texts().first().contains("ERROR FUNCTION    : AddToMYSQL4"));
        QCOMPARE(f.rows("branch0001.db", "select WorkCount from tb_branchworkcount"),
                 QStringList{"5"});
    }
};

QTEST_GUILESS_MAIN(TestCallState)
#include "tst_callstate.moc"
