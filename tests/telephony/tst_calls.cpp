#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <sys/mount.h>
#include <unistd.h>

#include "CallDesk.h"
#include "customers/CallerIdLookup.h"
#include "customers/CallResult.h"
#include "platform/VoxFile.h"
#include "StandInProcess.h"

// The call state machine's decisions, driven event by event; whole calls
// through the line simulator and the caller feed, with the call's windows
// answered the way an agent would; calls that meet a fault, where nothing
// recorded may be lost and the call goes on; and the login's check of the
// recent recordings, where a folder with one fault of each kind ends whole
// and a clean folder is left as it is.
class TestCalls : public QObject
{
    Q_OBJECT

    // Runs one outbound call to its end and returns the voice file's name.
    static QString outboundCall(CallDesk& d, int talkMs)
    {
        QString name;
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::CallResult) {
                name = call->RecFileName;
                d.saveResult(call, QStringLiteral("1"));
            }
        };
        d.calls.DialNumber(QStringLiteral("010-2222-3333"));
        const CallPtr call = d.calls.lineCall();
        if (!QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }, 5000))
            return QString();
        QTest::qWait(talkMs);
        d.calls.cmdStopCall_Click();
        return CallDesk::reaches(call, Call::Stage::Finished) ? name : QString();
    }

    static bool decodes(const QString& path, int minimumSamples)
    {
        bool ok = false;
        const QVector<qint16> samples = VoxFile::decode(path, &ok);
        return ok && samples.size() >= minimumSamples;
    }

    // Sends a call's voice file and waits for the upload to end.
    static void upload(CallDesk& d, const Call& call)
    {
        bool ended = false;
        d.desk.upload.UploadRecording(d.desk.uploadFtp, call, [&] { ended = true; });
        QVERIFY(QTest::qWaitFor([&] { return ended; }, 10000));
    }

    static QByteArray bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QString serverFile(CallDesk& d, const Call& c)
    {
        return d.ftp.remoteFile(c.result.serverFolder(c.RecFileName.left(8)) + "/" + c.RecFileName);
    }
    static QStringList bothTables(CallDesk& d)
    {
        return d.local("SELECT * FROM recfile ORDER BY R_Path") +
               d.central("SELECT * FROM recfile WHERE FolderName >= '20200101' ORDER BY R_Path");
    }
    // The login's check and upload: whether it found anything, -1 when it never ended.
    static int checkAtLogin(CallDesk& d)
    {
        QSignalSpy finished(&d.desk.bulkUpload, &BulkUpload::finished);
        d.desk.bulkUpload.start();
        return finished.wait(20000) ? finished.value(0).value(0).toBool() : -1;
    }

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
        QCOMPARE(d.f.windows.closes, QList<Window>{Window::SmallCall});
        d.calls.HookChanged(3);
        QCOMPARE(d.f.windows.shown.size(), 1);

        // Ringing again while the dialog is still open shows no second one.
        d.f.windows.openCaptions << "인바운드";
        d.calls.RingChanged(1);
        QCOMPARE(d.f.windows.shown.size(), 1);
        // The handset answers: the dialog closes as its button would.
        d.calls.HookChanged(3);
        QCOMPARE(d.f.windows.closes.last(), Window::SmallCall);
        QCOMPARE(d.f.windows.shown.last(), Window::CallerId);
        const CallPtr call = d.calls.lineCall();
        QCOMPARE(call->stage(), Call::Stage::Answering);
        // Closed without a pick: the call is recorded all the same.
        d.f.windows.finish(Window::CallerId);
        QVERIFY(CallDesk::reaches(call, Call::Stage::Connected));
        // The handset lifted and put back while the result window is open
        // starts no call of its own.
        d.calls.HookChanged(1);
        QTRY_COMPARE(d.f.windows.shown.last(), Window::CallResult);
        d.calls.HookChanged(3);
        d.calls.HookChanged(1);
        QCOMPARE(d.f.windows.shown.last(), Window::CallResult);
        d.saveResult(call, QStringLiteral("3"));
        QVERIFY(CallDesk::reaches(call, Call::Stage::Finished));
        QTRY_VERIFY(!d.calls.lineCall());
        QCOMPARE(d.local("SELECT count(*) FROM recfile"), QStringList{"1"});
        QVERIFY(d.f.messages.messages.isEmpty());
    }

    void dialling_data()
    {
        QTest::addColumn<QString>("landCode");
        QTest::addColumn<QString>("dial");
        QTest::newRow("own area: its code left off") << "02"
                                                     << ",9,1234567";
        QTest::newRow("a three-digit code never matches two digits") << "031"
                                                                     << ",8,021234567";
    }
    void dialling()
    {
        QFETCH(QString, landCode);
        QFETCH(QString, dial);
        CallDesk d;
        d.calls.cmdStartPhoneNO1_Click();
        QCOMPARE(d.f.messages.texts(), QStringList{"고객전화번호는 반드시 입력되어야 합니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QStringLiteral("필수정보오류"));
        QCOMPARE(d.f.messages.messages.first().icon, MessageIcon::Information);
        QVERIFY(!d.calls.lineCall());

        // A dial the device never answered gives way to the next one.
        d.calls.DialNumber("010-1");
        const CallPtr unanswered = d.calls.lineCall();
        d.f.session.LandCode = landCode;
        d.f.session.LineLongCd = "8";
        d.open();
        d.calls.DialNumber("(02) 123-4567");
        QCOMPARE(unanswered->stage(), Call::Stage::Dropped);
        const CallPtr call = d.calls.lineCall();
        QCOMPARE(call->DialledNumber, QStringLiteral("021234567"));
        QCOMPARE(call->CallDirection, CallDirection::Outbound);
        QVERIFY(!call->InboundCall);
        QCOMPARE(d.panel.value(CustomerPanel::lblTelNO), QStringLiteral("(02) 123-4567"));
        QTRY_COMPARE(d.line.lastDial(), dial);
    }

    void deviceLinkAndFeed()
    {
        CallDesk d;
        // The desk's disabling and return are checked in deviceLinkBlinksMidCall.
        d.calls.DeviceLinkChanged(false);
        QCOMPARE(d.f.messages.texts(),
                 QStringList{"Dorvane연결에 실패 했습니다\r\n연결을 확인해주시기 바랍니다"});
        QCOMPARE(d.f.messages.messages.first().caption, QStringLiteral("Dorvane2연결실패"));
        const QString lost = QStringLiteral("Dorvane연결에 실패했습니다. 트레이에서 프로그램을 "
                                            "종료하시고 Dorvane을 연결해주십시오");
        QCOMPARE(d.controls.windowTitle(), lost);
        d.calls.refreshTitle();
        QCOMPARE(d.controls.windowTitle(), lost);
        d.calls.DeviceLinkChanged(true);
        QVERIFY(d.controls.windowTitle().startsWith("Brenvo-김민수-(kim)-금일: "));

        d.calls.DataArrival(3, "CALLER:02-123-45*67#abc");
        QCOMPARE(d.calls.callForCallerId()->CallerNumber, QStringLiteral("0212345*67#"));
        // Longer than a phone number box holds: no phone number.
        d.calls.DataArrival(0, "CID:" + QString(31, u'7'));
        QCOMPARE(d.calls.callForCallerId()->CallerNumber, QStringLiteral("0212345*67#"));
        QVERIFY2(d.callerIdLabels.isEmpty(), "no ringing dialog, no label");
        d.f.windows.openCaptions << "인바운드";
        d.calls.RingChanged(1);
        QCOMPARE(d.calls.lineCall()->CallerNumber, QStringLiteral("0212345*67#"));
        d.calls.DataArrival(3, "no digits at all");
        QCOMPARE(d.callerIdLabels, QStringList{QString()});
    }

    // The caller feed's port held by another program: one message and one
    // error-log block for the whole run of failed tries, and the caller-ID
    // label says no number can come; once the port is free a retry opens it
    // without a word and the label is the usual one again.
    void feedPortTaken()
    {
        CallDesk d;
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost));
        const quint16 port = holder.serverPort();
        d.calls.feed().setRetryInterval(20);
        d.calls.feed().open(port);
        CallerIdLookup lookup(d.f.db, Call::inbound(), d.calls, d.desk.customers.search,
                              d.desk.device, d.f.messages);
        QCOMPARE(lookup.lblCIDData(), QString("발신번호 수신 안 됨 (포트 %1 사용 불가)").arg(port));
        QTest::qWait(200);
        QCOMPARE(d.f.messages.texts(), {"The 32-bit Windows Socket is not responding."});
        QFile log(d.f.errors.logFilePath(QDate::currentDate()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()).count("cannot be opened"), 1);
        holder.close();
        QTRY_VERIFY(!d.calls.feed().isDown());
        QCOMPARE(lookup.lblCIDData(), QString("NO CIDDATA"));
        QTcpSocket sender;
        sender.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(sender.waitForConnected(3000));
        sender.write("0212345678\n");
        QTRY_COMPARE(d.calls.callForCallerId()->CallerNumber, QString("0212345678"));
        QCOMPARE(d.f.messages.texts().size(), 1);
    }

    void recordingEdges()
    {
        CallDesk d;
        // The day folder cannot be made: no voice file, no rows anywhere, and
        // the agent is told at once.
        QFile::remove(d.f.path("RECDATA")) || QDir(d.f.path("RECDATA")).removeRecursively();
        QVERIFY(QFile(d.f.path("RECDATA")).open(QIODevice::WriteOnly));
        const CallPtr call = Call::outbound();
        Call& c = *call;
        d.desk.recorder.StartRecording(c, "2026-12-06 23:59:58");
        QVERIFY(!c.RecFileName.isEmpty());
        QCOMPARE(d.f.messages.errorBlocks(), 1);
        QVERIFY(d.f.messages.texts().first().contains("ERROR FUNCTION    : StartRecording"));
        d.desk.recorder.StopRecording(c, "2026-12-07 00:00:03");
        QCOMPARE(c.CallDuration, QStringLiteral("5"));
        QCOMPARE(d.local("select count(*) from recfile"), QStringList{"0"});
        QCOMPARE(d.centralRow("count(*)", c.RecFileName), QStringList{"0"});
        // The upload of a call that was never recorded marks nothing, silently.
        upload(d, c);
        QCOMPARE(d.f.messages.messages.size(), 1);

        // Stopped without a start: no length, the stop is its start.
        const CallPtr never = Call::outbound();
        d.desk.recorder.StopRecording(*never, "2026-12-06 10:00:00");
        QCOMPARE(never->CallDuration, QStringLiteral("0"));
        QCOMPARE(never->CallStartTime, QStringLiteral("2026-12-06 10:00:00"));

        // A call across midnight keeps its start day everywhere.
        CallDesk m;
        const CallPtr inCall = Call::inbound();
        Call& in = *inCall;
        in.customer[CustomerPanel::txtPhoneNo1] = "010-1111-2222";
        in.customer[CustomerPanel::txtPhoneNo2] = "02-333-4444";
        m.desk.recorder.StartRecording(in, "2026-12-06 23:59:58");
        m.desk.recorder.StopRecording(in, "2026-12-07 00:00:03");
        QCOMPARE(in.RecFileName, QStringLiteral("202612062359580001kim.vox"));
        QCOMPARE(m.local("select RegDate, R_Date, FolderName, R_StartTime, R_EndTime, R_Time, "
                         "R_Tel, RecBound from recfile"),
                 QStringList{"2026-12-06|20261206|20261206|235958|000003|5|01011112222|I"});
        QCOMPARE(m.centralRow("R_Tel, MobileNumber, OfficeNumber", in.RecFileName),
                 QStringList{"010-1111-2222|010-1111-2222|02-333-4444"});
        QVERIFY(QFile::exists(m.f.path("RECDATA/20261206/202612062359580001kim.vox")));
    }

    void uploadsAndFolders()
    {
        CallDesk d;
        const CallPtr call = Call::outbound();
        Call& c = *call;
        d.desk.recorder.StartRecording(c, "2026-12-06 10:00:00");
        d.desk.media.writeLineAudio(QByteArray(3200, '\x10'));
        // Never while it is still being recorded.
        c.result = ResultCode("3");
        upload(d, c);
        QVERIFY(!QFile::exists(d.ftp.remoteFile("20261206/" + c.RecFileName)));
        d.desk.recorder.StopRecording(c, "2026-12-06 10:00:04");
        // Nor while its result is in neither row.
        c.result = ResultCode("5");
        upload(d, c);
        QVERIFY(!QFile::exists(serverFile(d, c)));

        c.resultSaved = true;
        d.ftp.setFault("refuse-login");
        upload(d, c);
        QCOMPARE(d.local("select UploadStatus from recfile"), QStringList{"0"});

        // Two failed stores, then the third try lands.
        d.ftp.setFault("fail-first:2");
        c.result = ResultCode(" 5 ");
        upload(d, c);
        QVERIFY(QFile::exists(d.ftp.remoteFile("TEMP/20261206/" + c.RecFileName)));
        QCOMPARE(d.local("select UploadStatus from recfile"), QStringList{"1"});
        QCOMPARE(d.centralRow("UploadStatus", c.RecFileName), QStringList{"1"});
        QVERIFY(d.f.messages.messages.isEmpty());
    }

    // A call's upload ends while the next caller is being answered; that
    // caller hangs up before the pick: the desk is idle again, not left busy.
    void endsWhileTheNextIsAnswered()
    {
        CallDesk d;
        d.calls.HookChanged(1);
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::CallResult)
                d.saveResult(call, QStringLiteral("3"));
        };
        QVERIFY(d.ftp.setFault("slow:1"));
        d.calls.DialNumber(QStringLiteral("010-2222-3333"));
        const CallPtr first = d.calls.lineCall();
        d.calls.HookChanged(3);
        d.desk.media.writeLineAudio(QByteArray(16000, '\x20'));
        d.calls.HookChanged(1);
        QVERIFY(CallDesk::reaches(first, Call::Stage::Uploading));
        d.calls.RingChanged(1);
        d.calls.HookChanged(3);
        QVERIFY(d.ftp.setFault(""));
        QVERIFY(CallDesk::reaches(first, Call::Stage::Finished));
        QVERIFY(d.controls.isEnabled(DeskControls::cmdStopCall));
        d.calls.HookChanged(1);
        QVERIFY(!d.calls.lineCall() && !d.controls.isEnabled(DeskControls::cmdStopCall));
        QCOMPARE(d.central("select Status from AgentLogin where AgentID = 'kim'"),
                 QStringList{"0"});
    }

    void deviceLinkBlinksMidCall_data()
    {
        QTest::addColumn<bool>("releasedMeanwhile");
        QTest::newRow("the line stays taken") << false;
        QTest::newRow("the caller hangs up while the device is away") << true;
    }
    void deviceLinkBlinksMidCall()
    {
        QFETCH(bool, releasedMeanwhile);
        CallDesk d;
        d.open();
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::CallResult)
                d.saveResult(call, "3");
        };
        d.calls.DialNumber(QStringLiteral("010-2222-3333"));
        const CallPtr call = d.calls.lineCall();
        QVERIFY(CallDesk::reaches(call, Call::Stage::Connected, 5000));
        QTest::qWait(1000);
        d.line.setLinkUp(false);
        QVERIFY(QTest::qWaitFor([&] { return !d.controls.windowEnabled(); }, 5000));
        QVERIFY(d.f.messages.texts().value(0).startsWith(
            QStringLiteral("Dorvane연결에 실패 했습니다")));
        // A blink changes no call: it goes on being recorded.
        QCOMPARE(call->stage(), Call::Stage::Connected);
        if (releasedMeanwhile)
            d.line.hangUp();
        d.line.setLinkUp(true);
        QVERIFY(QTest::qWaitFor([&] { return d.controls.windowEnabled(); }, 5000));
        if (!releasedMeanwhile) {
            QTest::qWait(1500);
            QCOMPARE(call->stage(), Call::Stage::Connected);
            d.calls.cmdStopCall_Click();
        }
        QVERIFY(CallDesk::reaches(call, Call::Stage::Finished));
        // The file holds the whole call but the device's absence, and both
        // rows say how long it was.
        const int seconds = d.localRow("R_Time", call->RecFileName).value(0).toInt();
        QCOMPARE(d.centralRow("R_Time, UploadStatus", call->RecFileName),
                 QStringList{QString::number(seconds) + "|1"});
        const qint64 recordedMs = VoxFile::durationMs(call->RecFilePath);
        QVERIFY2(
            recordedMs >= (releasedMeanwhile ? 900 : 2300) && recordedMs / 1000 <= seconds + 1,
            qPrintable(QString("%1 ms recorded, %2 s in the rows").arg(recordedMs).arg(seconds)));
    }

    void centralDatabaseLocked()
    {
        CallDesk d;
        const CallPtr call = Call::outbound();
        Call& c = *call;
        {
            // Another writer holds the branch database for longer than we wait.
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-writer");
            other.setDatabaseName(d.f.path("branch0001.db"));
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            d.desk.recorder.StartRecording(c, "2026-12-06 11:00:00");
            QVERIFY(lock.exec("COMMIT"));
            other.close();
        }
        QSqlDatabase::removeDatabase("other-writer");
        const QString first = c.RecFileName;
        QVERIFY2(d.f.messages.errorBlocks() == 1, qPrintable(d.f.messages.texts().join('\n')));
        QVERIFY(d.f.messages.texts().first().contains("ERROR FUNCTION    : AddToSQL"));
        QCOMPARE(d.localRow("count(*)", first), QStringList{"1"});
        d.desk.recorder.StopRecording(c, "2026-12-06 11:00:09");
        QCOMPARE(d.localRow("R_Time", first), QStringList{"9"});

        // The next call works once the database is free again; right after the
        // lock its writes wait a moment in the journal.
        const CallPtr next = d.recorded("2026-12-06 11:05:00", "2026-12-06 11:05:30");
        QTRY_COMPARE_WITH_TIMEOUT(d.centralRow("R_Time", next->RecFileName), QStringList{"30"},
                                  10000);
        QCOMPARE(d.f.messages.errorBlocks(), 1);
    }

    // The branch server stops answering mid-call (a hung server, a dropped
    // network): the hang-up, the result, the upload and the next ring go on
    // without it; once it answers, the call's row, its customer and the
    // counts are complete, each counted once.
    void serverHangsMidCall()
    {
        CallDesk d;
        StandInProcess server;
        QString error;
        QVERIFY2(d.simulatorListening && server.start(d.f, &error), qPrintable(error));
        d.f.loginAs("kim");
        d.desk.customers.lookups.SetCmbTermCombo();
        d.open();
        const QString id = d.addCustomer("MobileNumber=0101231234");
        const auto counted = [&d] {
            return d.central("SELECT sum(RecCnt) FROM tb_agentcallstatistics").value(0).toInt();
        };
        const int before = counted();
        CallPtr first;
        bool rangMeanwhile = false;
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::SmallCall && !first) {
                d.desk.device.TakeLine();
            } else if (w == Window::SmallCall) {
                rangMeanwhile = !first->result.text().isEmpty();
                d.f.windows.finish(w);
                d.line.stopRinging();
            } else if (w == Window::CallerId) {
                first = call;
                d.pick(call, id, CustSelectKind::B);
            } else if (w == Window::CallResult) {
                CallResult result(d.desk.resultParts(), call);
                result.load();
                result.cmbCallStatus_Click(4);
                result.cmdRcResultSave_Click("멈춘 서버", QString());
                d.f.windows.finish(w);
            }
        };
        d.line.ring("0101231234", &error);
        QVERIFY(QTest::qWaitFor([&] { return first && first->stage() == Call::Stage::Connected; }));
        QTest::qWait(1000);
        server.hang(true);
        d.line.hangUp();
        QVERIFY(CallDesk::reaches(first, Call::Stage::Finished));
        d.line.ring("0109998888", &error);
        QVERIFY(QTest::qWaitFor([&] { return rangMeanwhile; }, 5000));
        QVERIFY(d.f.db.journal().waiting() > 0);
        // A caller is looked up without a wait, and not taken for new meanwhile.
        CallerIdLookup lookup(d.f.db, Call::inbound(), d.calls, d.desk.customers.search,
                              d.desk.device, d.f.messages);
        lookup.GetCustinfo("0101231234");
        lookup.cmdStartCall_Click();
        QVERIFY(lookup.lookingUp() && d.f.messages.texts().join("").contains("찾는 중"));
        // A new customer dialled meanwhile: the call goes on, and its result
        // waits for the customer's key.
        QVERIFY(QTest::qWaitFor([&] { return !d.calls.lineCall(); }));
        d.desk.customers.editor.cmdRegisterCust_Click();
        d.calls.DialNumber("010-2222-3333");
        const CallPtr fresh = d.calls.lineCall();
        QVERIFY(QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); }));
        d.calls.cmdStopCall_Click();
        QVERIFY(QTest::qWaitFor([&] { return fresh->stage() == Call::Stage::Released; }, 3000));
        QTest::qWait(300);
        QVERIFY(fresh->registering && fresh->stage() == Call::Stage::Released);
        server.hang(false);
        QTRY_COMPARE_WITH_TIMEOUT(d.f.db.journal().waiting(), 0, 20000);
        QTRY_COMPARE(lookup.sprCustSearch().MaxRows(), 1);
        QVERIFY(CallDesk::reaches(fresh, Call::Stage::Finished));
        const QString freshId = fresh->customer[CustomerRecord::txtCustID];
        QCOMPARE(d.centralRow("CustID", fresh->RecFileName), QStringList{freshId});
        QCOMPARE(d.customer("Status", freshId), QStringList{fresh->result.text()});
        const QString status = first->result.text();
        QCOMPARE(d.centralRow("Status, Memo, R_Time, UploadStatus", first->RecFileName),
                 d.localRow("Status, tMemo, R_Time, UploadStatus", first->RecFileName));
        QCOMPARE(d.centralRow("Status", first->RecFileName), QStringList{status});
        QCOMPARE(d.customer("Status", id), QStringList{status});
        QCOMPARE(counted(), before + 2);
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

    void centralServerGone()
    {
        CallDesk d;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closed = probe.serverPort();
        probe.close();
        d.f.session.BranchIP = "127.0.0.1";
        d.f.session.BranchDBPort = QString::number(closed);
        // Without the server's clock the workstation's names the files; two
        // calls started in the same second still get one each.
        d.desk.recorder.setClock([] { return QDateTime(QDate(2026, 12, 6), QTime(12, 0, 0)); });
        QList<CallPtr> calls;
        for (int i = 0; i < 2; ++i)
            calls << d.recorded(d.f.db.GetNowDate(), d.f.db.GetNowDate(), 16000);
        QVERIFY(d.f.messages.texts().first().startsWith("데이터베이스 연결을 실패했습니다.\r\n"));
        QCOMPARE(calls[0]->RecFileName, QString("202612061200000001kim.vox"));
        QCOMPARE(calls[1]->RecFileName, QString("202612061200010001kim.vox"));
        for (const CallPtr& call : calls) {
            QCOMPARE(d.localRow("FolderName, R_Time", call->RecFileName),
                     QStringList{"20261206|0"});
            QCOMPARE(QFileInfo(call->RecFilePath).size(), 4000);
        }
    }

    // The branch database is away from a call's start to its upload: its
    // writes wait in order and reach it once, before anything newer; sent
    // again after a death before they were forgotten, they change nothing.
    void centralWritesKeptThroughAnOutage()
    {
        CallDesk d;
        // The journal an earlier version left, without the columns of counts.
        d.f.exec("Brenvo.mdb", "CREATE TABLE deskjournal (Seq integer primary key autoincrement, "
                               "Statement text not null, Location text, Func text)");
        const QString central = d.f.path("branch0001.db");
        QVERIFY(QFile::rename(central, central + ".away"));
        const CallPtr call = d.recorded("2026-12-06 10:00:00", "2026-12-06 10:00:04", 16000, "5");
        upload(d, *call);
        QVERIFY(QFile::exists(d.ftp.remoteFile("TEMP/20261206/" + call->RecFileName)));
        QVERIFY(QFile::rename(central + ".away", central));
        d.f.exec("Brenvo.mdb", "CREATE TABLE died AS SELECT * FROM deskjournal");
        QCOMPARE(d.f.db.journal().waiting(), 5);
        for (int delivery = 0; delivery < 2; ++delivery) {
            d.f.db.journal().deliver();
            QCOMPARE(d.f.db.journal().waiting(), 0);
            QCOMPARE(d.centralRow("Status, R_Time, UploadStatus", call->RecFileName),
                     QStringList{"5|4|1"});
            d.f.exec("Brenvo.mdb", "INSERT INTO deskjournal SELECT * FROM died");
        }
    }

    // The login's check keeps to this agent's rows, also on a desk another
    // agent works at, and reads every row of an old day it checks; run at
    // every login, it finds nothing new the second time.
    void checkKeepsToItsOwn()
    {
        CallDesk d;
        const QString old = QDate::currentDate().addDays(-40).toString(Qt::ISODate);
        const CallPtr first = d.recorded(old + " 10:00:00", old + " 10:00:02", 16000, "3");
        d.recorded(old + " 10:01:00", old + " 10:01:02", 16000, "3");
        upload(d, *first);
        const QString day = first->RecFileName.left(8);
        // Another agent of this desk: a row of theirs the branch never got.
        QVERIFY(
            d.f.exec("Brenvo.mdb",
                     "INSERT INTO recfile (BranchID, AgentID, Name, JuminNo, R_Path, FolderName, "
                     "UploadStatus) VALUES ('0001', 'choi', '남의 고객', '8001011234567', "
                     "'202612061000000001choi.vox', '20261206', '1')"));
        for (int login = 0; login < 2; ++login)
            QCOMPARE(checkAtLogin(d), 0);
        QCOMPARE(d.local("SELECT count(*), min(UploadStatus) FROM recfile WHERE FolderName = '" +
                         day + "'"),
                 QStringList{"2|1"});
        QCOMPARE(d.centralRow("count(*)", "202612061000000001choi.vox"), QStringList{"0"});
        QVERIFY2(d.f.messages.messages.isEmpty(), qPrintable(d.f.messages.texts().join('\n')));
    }

    // A server the login's upload cannot use (none, its certificate not
    // trusted, or it stops moving data) ends the run at its first try, and
    // so does the agent's cancel: nothing marked sent, the rows left
    // waiting, and the window says why.
    void bulkUploadRefused_data()
    {
        QTest::addColumn<QString>("why");
        QTest::newRow("no server") << "FtpConnect";
        QTest::newRow("TLS, another authority") << "not signed by an authority";
        QTest::newRow("server stalls") << "(stall limit)";
        QTest::newRow("agent cancels") << "상담원이 취소했습니다";
    }
    void bulkUploadRefused()
    {
        QFETCH(QString, why);
        CallDesk d;
        for (const char* minute : {"00", "01", "02"})
            d.recorded(QStringLiteral("2026-12-06 10:%1:00").arg(minute),
                       QStringLiteral("2026-12-06 10:%1:01").arg(minute), 16000, "3");
        FtpServer tls({}, FtpServer::Tls::Required);
        d.useFtp(tls);
        d.f.session.CfgFtpCaFile = QFileInfo(tls.caFile()).dir().filePath("other-ca.pem");
        QTcpServer refusing;
        QVERIFY(refusing.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&refusing, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = refusing.nextPendingConnection()) {
                ++connections;
                socket->abort();
            }
        });
        if (why == "FtpConnect")
            d.f.session.FtpPortNo = QString::number(refusing.serverPort());
        const bool stalls = !why.contains("not signed") && why != "FtpConnect";
        if (stalls) {
            d.useFtp(d.ftp);
            QVERIFY(d.ftp.setFault("stall"));
            d.f.session.CfgFtpStallSeconds = why == "(stall limit)" ? "1" : "";
        }
        QSignalSpy status(&d.desk.bulkUpload, &BulkUpload::status);
        if (!stalls || why == "(stall limit)") {
            QCOMPARE(checkAtLogin(d), 1);
        } else {
            // Under the 20 s stall limit: only the cancel can end it this soon.
            QSignalSpy finished(&d.desk.bulkUpload, &BulkUpload::finished);
            d.desk.bulkUpload.start();
            QTest::qWait(500);
            d.desk.bulkUpload.cancel();
            QVERIFY(finished.wait(5000));
            QCOMPARE(finished.value(0).value(0).toBool(), true);
        }
        QCOMPARE(connections, why == "FtpConnect" ? 2 : 0);
        const QString shown = status.last().value(1).toString();
        QVERIFY2(shown.startsWith("녹음파일 3건을 서버로 보내지 못했습니다.") &&
                     shown.contains(why),
                 qPrintable(shown));
        QCOMPARE(d.local("SELECT count(*) FROM recfile WHERE UploadStatus <> '1'") +
                     d.central("SELECT count(*) FROM recfile WHERE UploadStatus = '1' AND "
                               "R_Date = '20261206'"),
                 QStringList({"3", "0"}));
        QCOMPARE(QDir(tls.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        // A stalled server got the run's first file at most, never the rest.
        QVERIFY(QDir(d.ftp.remoteFile("20261206")).entryList(QDir::Files).size() <= 1);
    }

    void diskFullWhileRecording()
    {
        if (geteuid() != 0)
            QSKIP("mounting a small tmpfs for the recording folder needs root");
        CallDesk d;
        const QString recData = d.f.path("RECDATA");
        QVERIFY(QDir(recData).exists());
        if (mount("tmpfs", recData.toLocal8Bit().constData(), "tmpfs", 0, "size=16k") != 0)
            QSKIP("this machine does not let the test mount a tmpfs");
        const auto unmount =
            qScopeGuard([&] { umount2(recData.toLocal8Bit().constData(), MNT_DETACH); });
        d.open();
        // The disk fills during the first call; the second starts on it full.
        const QString name = outboundCall(d, 6000);
        const QString empty = outboundCall(d, 2500);
        QVERIFY(!name.isEmpty() && !empty.isEmpty());
        QCOMPARE(d.f.messages.texts().filter("이 통화의 녹음이 여기서 끊겼습니다").size(), 2);
        QVERIFY2(d.f.messages.errorBlocks() == 0, qPrintable(d.f.messages.texts().join("\n")));
        QCOMPARE(bytes(d.f.errors.logFilePath(QDate::currentDate()))
                     .count("ERROR FUNCTION    : StartRecording"),
                 2);
        // What was written before the disk filled up stays a valid file, and
        // both rows say how long the call was; the empty one is never sent.
        QVERIFY(decodes(recData + "/" + name.left(8) + "/" + name, 8000));
        QVERIFY(d.localRow("R_Time", name).value(0).toInt() >= 5);
        QVERIFY(d.centralRow("R_Time", name).value(0).toInt() >= 5);
        QCOMPARE(QFileInfo(recData + "/" + empty.left(8) + "/" + empty).size(), 0);
        QCOMPARE(d.localRow("UploadStatus", empty) + d.centralRow("UploadStatus", empty),
                 QStringList({"0", "0"}));
    }

    void silentCallHungUpAtOnce()
    {
        // Hung up right after pick-up, on a silent line.
        QTemporaryDir sounds;
        const QString silence = sounds.filePath("silence.wav");
        QProcess sox;
        sox.start("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", silence, "trim", "0", "1"});
        if (!sox.waitForFinished() || sox.exitCode() != 0)
            QSKIP("sox is needed to make a silent line");
        CallDesk d;
        LineAudioSource quiet;
        QString error;
        QVERIFY2(quiet.loadWav(silence, &error), qPrintable(error));
        d.line.setAudioSource(quiet);
        d.open();
        const QString name = outboundCall(d, 100);
        QVERIFY(!name.isEmpty());
        const QString path = d.f.path("RECDATA/" + name.left(8) + "/" + name);
        QVERIFY(decodes(path, 0));
        QCOMPARE(d.localRow("R_Time <> ''", name), QStringList{"1"});
        QCOMPARE(d.centralRow("UploadStatus", name), QStringList{"1"});
    }

    void reconciliation_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("clean") << "";
        QTest::newRow("voice file without its rows") << "stray";
        QTest::newRow("voice file without its local row, sent again") << "no local";
        QTest::newRow("local row without its central row") << "no central";
        QTest::newRow("server copy cut short") << "truncated";
        QTest::newRow("server copy gone") << "unsent";
        QTest::newRow("server keeps the copy sent again short") << "kept short";
        QTest::newRow("voice file gone") << "gone";
        QTest::newRow("voice file shorter than its call") << "cut short";
    }
    void reconciliation()
    {
        QFETCH(QString, fault);
        CallDesk d;
        // Yesterday's calls, sent and marked, as an ordinary day leaves them.
        const QString day = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
        QList<CallPtr> calls;
        for (int i = 0; i < 3; ++i) {
            const CallPtr c =
                d.recorded(day + QStringLiteral(" 10:0%1:00").arg(i),
                           day + QStringLiteral(" 10:0%1:0%2").arg(i).arg(i + 1), 16000 * (i + 1));
            calls << c;
            d.saveResult(c, i == 2 ? "5" : "3", QString());
            upload(d, *c);
            QVERIFY(QFile::exists(serverFile(d, *c)));
        }
        const Call& hit = *calls.value(fault == "no local" ? 2 : 0); // 2 went into TEMP
        const QString where = " WHERE R_Path = '" + hit.RecFileName + "'";
        if (fault == "stray") {
            QVERIFY(d.f.exec("Brenvo.mdb", "DELETE FROM recfile" + where));
            QVERIFY(d.f.exec("branch0001.db", "DELETE FROM recfile" + where));
        } else if (fault == "no local") {
            QVERIFY(d.f.exec("Brenvo.mdb", "DELETE FROM recfile" + where));
            QVERIFY(QFile::remove(serverFile(d, hit)));
        } else if (fault == "no central") {
            QVERIFY(d.f.exec("branch0001.db", "DELETE FROM recfile" + where));
        } else if (fault == "truncated") {
            QVERIFY(QFile::resize(serverFile(d, hit), 100));
        } else if (fault == "unsent" || fault == "kept short") {
            QVERIFY(QFile::remove(serverFile(d, hit)));
        } else if (fault == "gone") {
            QVERIFY(QFile::remove(hit.RecFilePath));
        } else if (fault == "cut short") {
            QVERIFY(d.f.exec("Brenvo.mdb", "UPDATE recfile SET R_Time = '4'" + where));
        }
        if (fault == "kept short") { // the others wait too, sent in the same run
            for (const char* db : {"Brenvo.mdb", "branch0001.db"})
                QVERIFY(d.f.exec(db, "UPDATE recfile SET UploadStatus = '0' WHERE R_Path <> '" +
                                         hit.RecFileName + "'"));
            QVERIFY(d.ftp.setFault("keep-short:1"));
        }
        const QStringList before = bothTables(d);

        QCOMPARE(checkAtLogin(d), int(!fault.isEmpty()));
        QVERIFY2(d.f.messages.messages.isEmpty(), "reported in the window, not in boxes");
        const QString blocks =
            QString::fromUtf8(bytes(d.f.errors.logFilePath(QDate::currentDate())));
        QCOMPARE(int(blocks.count("ERROR FUNCTION    : CheckRecordings")), fault.isEmpty() ? 0 : 1);
        if (fault.isEmpty() || fault == "gone" || fault == "cut short") {
            QCOMPARE(bothTables(d), before);
            return;
        }
        // Every recording is on the server whole, with one local and one
        // central row marked uploaded; a copy the server keeps short stays waiting.
        for (const CallPtr& call : calls) {
            const Call& c = *call;
            const bool whole = fault != "kept short" || &c != &hit;
            QCOMPARE(QFileInfo(serverFile(d, c)).size() == QFileInfo(c.RecFilePath).size(), whole);
            QCOMPARE(d.localRow("UploadStatus", c.RecFileName) +
                         d.centralRow("UploadStatus", c.RecFileName),
                     QStringList(2, whole ? "1" : "0"));
        }
        if (fault == "stray")
            QCOMPARE(d.local("SELECT R_StartTime, R_Time, FolderName FROM recfile" + where),
                     QStringList{"100000|" +
                                 QString::number(RecordingReconciliation::secondsOf(
                                     QFileInfo(hit.RecFilePath).size())) +
                                 "|" + hit.RecFileName.left(8)});
    }
};

QTEST_GUILESS_MAIN(TestCalls)
#include "tst_calls.moc"
