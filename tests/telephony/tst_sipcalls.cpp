#include <QFile>
#include <QSignalSpy>

#include "CallDesk.h"
#include "line/LineSettings.h"
#include "platform/VoxFile.h"
#include "SipPeers.h"

// Whole calls of the desk on the SIP line, the far end a real user agent:
// recorded, filed in both tables and uploaded as any call is.
class TestSipCalls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_peers.isRunning(), qPrintable(m_peers.errorString()));
        m_ini = m_peers.settingsFile(m_peers.lineSection());
    }

    void wholeCall_data()
    {
        QTest::addColumn<bool>("inbound");
        QTest::newRow("inbound, answered from the small dialog, the caller hangs up") << true;
        QTest::newRow("outbound, dialled from a customer, the agent hangs up") << false;
    }

    void wholeCall()
    {
        QFETCH(bool, inbound);
        CallDesk d;
        QVERIFY2(d.ftp.isRunning(), qPrintable(d.ftp.errorString()));
        d.desk.device.useSettings(LineSettings::read(m_ini));
        QSignalSpy numbers(&d.desk.device, &DorvanePlus::CallerNumber);
        d.open();
        QTRY_VERIFY(d.calls.HookEventSeen());
        m_peers.clearEvents();

        CallPtr done;
        d.f.windows.onShow = [&](Window w, const CallPtr& call) {
            if (w == Window::SmallCall) {
                d.desk.device.TakeLine();
            } else if (w == Window::CallerId) {
                // An unknown caller: registered with the number the line gave.
                call->customer.kind = CustSelectKind::A;
                d.f.windows.finish(w);
            } else if (w == Window::CallResult) {
                d.saveResult(done = call, QStringLiteral("3"));
            }
        };
        if (inbound) {
            QVERIFY(m_peers.command("ring").startsWith("OK"));
        } else {
            d.calls.DialNumber(QStringLiteral("02-9999-0000"));
            QVERIFY(m_peers.waitForEvent("CALL_INCOMING"));
            QVERIFY(m_peers.command("answer").startsWith("OK"));
        }
        QVERIFY(QTest::qWaitFor([&] { return d.controls.isEnabled(DeskControls::cmdStopCall); },
                                10000));
        QTest::qWait(2000); // they talk
        if (inbound)
            QVERIFY(m_peers.command("hangup").startsWith("OK"));
        else
            d.calls.cmdStopCall_Click();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return done && d.controls.isEnabled(DeskControls::cmdStartPhoneNO1) &&
                       d.localRow("UploadStatus", done->RecFileName).value(0) == "1";
            },
            10000));
        const QString name = done->RecFileName, path = done->RecFilePath;

        QCOMPARE(QList<QVariantList>(numbers),
                 inbound ? QList<QVariantList>{{"0299990000"}} : QList<QVariantList>());
        const QString row = QStringLiteral("0299990000|%1|1").arg(inbound ? "I" : "O");
        QCOMPARE(d.localRow("R_Tel, RecBound, UploadStatus", name), QStringList{row});
        QCOMPARE(d.centralRow("R_Tel, RecBound, UploadStatus", name), QStringList{row});
        QVERIFY(d.centralRow("R_Time", name).value(0).toInt() >= 2);
        bool ok = false;
        const QVector<qint16> sound = VoxFile::decode(path, &ok);
        QVERIFY(ok && sound.size() >= 2 * VoxFile::SampleRate);
        QVERIFY(std::count(sound.begin(), sound.end(), 0) < sound.size() / 2);
        QFile local(path), uploaded(d.ftp.remoteFile(name.left(8) + '/' + name));
        QVERIFY(local.open(QIODevice::ReadOnly) && uploaded.open(QIODevice::ReadOnly));
        QCOMPARE(uploaded.readAll(), local.readAll());
        QVERIFY(m_peers.farLog().contains(inbound ? "BYE sip:2001@" : "BYE sip:far"));
        QVERIFY2(d.f.messages.messages.isEmpty(), qPrintable(d.f.messages.texts().join('\n')));
    }

private:
    SipPeers m_peers;
    QString m_ini;
};

QTEST_GUILESS_MAIN(TestSipCalls)
#include "tst_sipcalls.moc"
