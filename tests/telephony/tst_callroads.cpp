#include <QFile>

#include "CallDesk.h"
#include "platform/VoxFile.h"

// Whole calls, driven through the line simulator and the caller feed, with
// the modal windows answered the way an agent would.
class TestCallRoads : public QObject
{
    Q_OBJECT

    struct Finished
    {
        QString name, path;
    };

    // Answers the call-result window: a status and a memo into both rows.
    static void answerResult(CallDesk& d, Call& call, Finished& done, const QString& status)
    {
        done = {call.RecFileName, call.RecFilePath};
        call.CallResultCode = status;
        RecRow row;
        row.Status = status;
        row.memo = QStringLiteral("통화 메모 '확인'");
        row.R_Path = call.RecFileName;
        d.desk.records.addToBoth(QStringLiteral("beforeFtpUpload"), row);
    }

    static QByteArray bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void inboundKnownCaller()
    {
        CallDesk d;
        QVERIFY(d.simulatorListening);
        QVERIFY2(d.ftp.isRunning(), qPrintable(d.ftp.errorString()));
        d.open();
        QVERIFY(d.calls.HookEventSeen());

        const QStringList customer =
            d.central("select ID, Name, JuminNo, MobileNumber, CampaignID, DataType from "
                      "gogakinfo where AgentID = 'kim' order by ID limit 1");
        const QStringList c = customer.value(0).split('|');
        Finished done;
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::SmallCall) {
                d.f.windows.openCaptions << QStringLiteral("인바운드");
                QVERIFY(QTest::qWaitFor([&] { return !d.callerIdLabels.isEmpty(); }, 3000));
                d.desk.device.TakeLine();
                d.f.windows.openCaptions.removeAll(QStringLiteral("인바운드"));
            } else if (w == Window::CallerId) {
                call->CustSelectKind = CustSelectKind::B;
                d.panel.setValue(CustomerPanel::txtCustID, c.value(0));
                d.panel.setValue(CustomerPanel::txtCustName, c.value(1));
                d.panel.setValue(CustomerPanel::txtCustSocialID, c.value(2));
                d.panel.setValue(CustomerPanel::txtPhoneNo1, c.value(3));
                d.panel.setValue(CustomerPanel::txtCampaignID, c.value(4));
                d.panel.setValue(CustomerPanel::txtDataType, c.value(5));
            } else if (w == Window::CallResult) {
                answerResult(d, *call, done, QStringLiteral("3"));
            }
        };

        QString error;
        QVERIFY2(d.line.ring(c.value(3), &error), qPrintable(error));
        QVERIFY(
            QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 5000));
        QCOMPARE(d.callerIdLabels.value(0), c.value(3));
        QCOMPARE(d.calls.lineCall()->CallDirection, CallDirection::Inbound);
        QVERIFY(d.central("select Status from AgentLogin where AgentID = 'kim'").value(0) == "1");
        QTest::qWait(1500); // the caller talks
        d.line.hangUp();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return !done.name.isEmpty() && d.controls.isEnabled(DeskControls::cmdStartPhoneNO1);
            },
            10000));

        const QString day = done.name.left(8);
        QCOMPARE(d.local("select R_Tel, RecBound, R_Date, FolderName, CustID, Status, tMemo, "
                         "UploadStatus, FileFullPath "
                         "from recfile where R_Path = '" +
                         done.name + "'"),
                 QStringList{c.value(3) + "|I|" + day + '|' + day + '|' + c.value(0) +
                             "|3|통화 메모 '확인'|1|" + done.path});
        const QStringList central =
            d.central("select R_Tel, RecBound, Name, CustID, Status, Memo, UploadStatus, "
                      "R_StartTime, R_EndTime, R_Time from recfile where R_Path = '" +
                      done.name + "'");
        QCOMPARE(central.size(), 1);
        const QStringList r = central.first().split('|');
        QCOMPARE(r.mid(0, 7), (QStringList{c.value(3), "I", c.value(1), c.value(0), "3",
                                           "통화 메모 '확인'", "1"}));
        QCOMPARE(r.value(7).size(), 6);
        QCOMPARE(r.value(8).size(), 6);
        QVERIFY2(r.value(9).toInt() >= 1 && r.value(9).toInt() <= 4, qPrintable(r.value(9)));

        bool ok = false;
        const QVector<qint16> samples = VoxFile::decode(done.path, &ok);
        QVERIFY(ok);
        QVERIFY2(samples.size() > 8000, "the caller's voice was recorded");
        QCOMPARE(bytes(d.ftp.remoteFile(day + '/' + done.name)), bytes(done.path));

        QCOMPARE(d.central("select Login, Status from AgentLogin where AgentID = 'kim'").value(0),
                 QStringLiteral("1|0"));
        QVERIFY(!d.controls.isEnabled(DeskControls::cmdStopCall));
        QVERIFY(d.controls.windowTitle().startsWith(QStringLiteral("Brenvo-김민수-(kim)-금일: ")));
        QCOMPARE(d.panel.value(CustomerPanel::txtCustName), QString());
        QVERIFY2(d.f.messages.messages.isEmpty(), qPrintable(d.f.messages.texts().join('\n')));
    }

    void outboundWithFtpDown()
    {
        CallDesk d;
        d.open();
        Finished done;
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::CallResult)
                answerResult(d, *call, done, QStringLiteral("5"));
        };
        d.panel.setValue(CustomerPanel::txtCustID, "7");
        d.panel.setValue(CustomerPanel::txtCustName, "O'Neil 김");
        d.panel.setValue(CustomerPanel::txtPhoneNo1, "02-555-1234");
        d.calls.cmdStartPhoneNO1_Click();
        QVERIFY(
            QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 5000));
        QCOMPARE(d.line.lastDial(), QStringLiteral(",9,5551234"));
        QCOMPARE(d.calls.lineCall()->DialledNumber, QStringLiteral("025551234"));
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QStringLiteral("02-555-1234"));
        QCOMPARE(d.calls.lineCall()->CustSelectKind, CustSelectKind::D);
        QTest::qWait(1200);

        d.ftp.stop(); // the branch server goes away during the call
        d.calls.cmdStopCall_Click();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return !done.name.isEmpty() && d.controls.isEnabled(DeskControls::cmdStartPhoneNO1);
            },
            10000));
        const QString where = " from recfile where R_Path = '" + done.name + "'";
        QCOMPARE(d.local("select R_Tel, RecBound, Name, UploadStatus" + where),
                 QStringList{"025551234|O|O'Neil 김|0"});
        QCOMPARE(d.central("select R_Tel, RecBound, Name, Status, UploadStatus" + where),
                 QStringList{"025551234|O|O'Neil 김|5|0"});
        QVERIFY(QFile::exists(done.path));
        QVERIFY2(d.f.messages.messages.isEmpty(), "a failed upload is not shown to the agent");

        // The next login's bulk upload sends it into TEMP (status 5) and marks both rows.
        FtpServer again(d.ftp.root());
        QVERIFY(again.isRunning());
        d.f.session.FtpPortNo = QString::number(again.port());
        QSignalSpy maximum(&d.desk.upload, &RecordingUpload::progressMaximum);
        FtpCientOCX bulk;
        d.desk.upload.UploadPending(bulk);
        QCOMPARE(maximum.value(0).value(0).toInt(), 1);
        QCOMPARE(d.local("select UploadStatus" + where), QStringList{"1"});
        QCOMPARE(d.central("select UploadStatus" + where), QStringList{"1"});
        QCOMPARE(bytes(again.remoteFile("TEMP/" + done.name.left(8) + '/' + done.name)),
                 bytes(done.path));
    }
};

QTEST_GUILESS_MAIN(TestCallRoads)
#include "tst_callroads.moc"
