#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include "CallDesk.h"
#include "platform/VoxFile.h"
#include "windows/DeskWindows.h"
#include "windows/Frm110000.h"
#include "windows/Frm120000.h"
#include "windows/QtMessageSink.h"
#include "windows/QtWindowOpener.h"

static QDialog* shown(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title)
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

// Calls in the order real calls come, on the real windows: the line
// simulator rings and hangs up while windows of earlier calls are still
// open. A script advances from step to step on a timer, as an agent's hands
// would, whatever windows are open. Afterwards every recording must be whole
// and filed under its own call.
class Script : public QObject
{
public:
    using Test = std::function<bool()>;
    using Act = std::function<void()>;

    Script& when(const QString& what, Test ready, Act act = {})
    {
        m_steps.append({what, std::move(ready), std::move(act)});
        return *this;
    }
    Script& then(const QString& what, Act act) { return when(what, {}, act); }
    Script& window(const QString& title, Act act = {})
    {
        return when(
            title, [title] { return shown(title) != nullptr; }, act);
    }
    // Runs the steps; false (with the step it stuck at) after timeoutMs on one step.
    bool run(int timeoutMs = 20000)
    {
        m_since.start();
        connect(&m_tick, &QTimer::timeout, this, [this, timeoutMs] { advance(timeoutMs); });
        m_tick.start(10);
        return QTest::qWaitFor([this] { return m_next == m_steps.size() || !m_failure.isEmpty(); },
                               int(m_steps.size()) * timeoutMs) &&
               m_failure.isEmpty();
    }
    QString failure() const { return m_failure; }

private:
    void advance(int timeoutMs)
    {
        if (m_next >= m_steps.size() || m_acting)
            return;
        const auto& [what, ready, act] = m_steps.at(m_next);
        if (!ready || ready()) {
            // The action runs from a timer of its own: it may wait a moment
            // (a caller talking) while the script's clock goes on.
            m_acting = true;
            QTimer::singleShot(0, this, [this, act = act] {
                ++m_next;
                m_since.restart();
                m_acting = false;
                if (act)
                    act();
            });
        } else if (m_since.elapsed() > timeoutMs) {
            m_failure = "stuck at: " + what;
            m_tick.stop();
            // Unwind every open window, as the agent would give up.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                    d->reject();
        }
    }

    QList<std::tuple<QString, Test, Act>> m_steps;
    qsizetype m_next = 0;
    bool m_acting = false;
    QElapsedTimer m_since;
    QTimer m_tick;
    QString m_failure;
};

class TestCallOverlaps : public QObject
{
    Q_OBJECT

    // The real windows' opener, built before the desk that connects to it.
    struct Windows
    {
        QtWindowOpener opener;
    };
    struct Desk : Windows, CallDesk
    {
        explicit Desk(const QString& agent = QStringLiteral("kim")) : CallDesk(agent, &opener)
        {
            DeskWindows::install(opener, desk);
            desk.customers.lookups.SetCmbTermCombo();
            for (const char* sql :
                 {"DELETE FROM TB_AGENTCALLSTATISTICS", "DELETE FROM tb_branchworkcount",
                  "UPDATE AgentLogin SET Login = '1', Status = '0'"})
                f.exec("branch0001.db", sql);
            own = central("SELECT MobileNumber FROM gogakinfo WHERE AgentID = 'kim' AND "
                          "MobileNumber <> '' ORDER BY ID LIMIT 2");
            line.setAnswerDelay(300);
            open();
        }
        void ring(const QString& number) { line.ring(number, &lineError); }
        bool connected() const { return controls.isEnabled(DeskControls::cmdStopCall); }
        bool idle() const
        {
            return !calls.lineCall() && !shown("통화결과입력") &&
                   controls.isEnabled(DeskControls::cmdStartPhoneNO1);
        }
        QStringList own;
        QString lineError;
    };

    static Frm110000* callerWindow() { return qobject_cast<Frm110000*>(shown("고객선택")); }
    static int callerRows()
    {
        return callerWindow() ? callerWindow()->logic().sprCustSearch().MaxRows() : -1;
    }
    static void pickFirst() { emit callerWindow()->sprCustSearch->Click(1, 1); }
    static Script::Act click(const QString& title, const char* button)
    {
        return [title, button] {
            if (QDialog* w = shown(title))
                w->findChild<QPushButton*>(QLatin1String(button))->click();
        };
    }
    // Rings, answers with "전화받기" and picks the first customer the caller-ID
    // window lists, then talks for a moment.
    static void answeredCall(Script& s, Desk& d, const QString& number, CallPtr* call)
    {
        s.then("ring " + number, [&d, number] { d.ring(number); })
            .window("인바운드", click("인바운드", "cmdStartCall"))
            .when(
                "the caller found", [] { return callerRows() == 1; }, pickFirst)
            .when(
                "talking", [&d] { return d.connected(); },
                [&d, call] {
                    *call = d.calls.lineCall();
                    QTest::qWait(1500);
                });
    }
    static Script::Act saveResult(int index, const QString& memo)
    {
        return [index, memo] {
            auto* w = qobject_cast<Frm120000*>(shown("통화결과입력"));
            w->cmbCallStatus->setCurrentIndex(index);
            w->txtRecMemo->setPlainText(memo);
            w->cmdRcResultSave->click();
        };
    }

    // Every recording of the folder is whole and stands on its own call: one
    // local and one central row that agree, a voice file of the call's
    // length, the server's copy of its size; the counters count each saved
    // result once; the agent still logged in and idle, no error on the way.
    static void checkArchive(Desk& d, int calls)
    {
        const QStringList local = d.local("SELECT R_Path, R_StartTime, R_EndTime, R_Time, Status, "
                                          "tMemo, UploadStatus, FolderName FROM recfile");
        QCOMPARE(local.size(), calls);
        int saved = 0, talked = 0;
        for (const QString& row : local) {
            const QStringList r = row.split('|');
            QCOMPARE(
                d.centralRow("R_StartTime, R_EndTime, R_Time, Status, Memo, UploadStatus", r[0]),
                QStringList{r.mid(1, 6).join('|')});
            const QString file = r[7] + "/" + r[0];
            bool ok = false;
            const qint64 seconds =
                VoxFile::decode(d.f.path("RECDATA/" + file), &ok).size() / VoxFile::SampleRate;
            QVERIFY2(ok && qAbs(seconds - r[3].toInt()) <= 2, qPrintable(row));
            if (r[6] == "1")
                QCOMPARE(
                    QFileInfo(d.ftp.remoteFile((r[4].toInt() > 3 ? "TEMP/" : "") + file)).size(),
                    QFileInfo(d.f.path("RECDATA/" + file)).size());
            if (r[4] != "0") {
                ++saved;
                talked += r[3].toInt();
            }
        }
        QCOMPARE(d.central("SELECT coalesce(sum(RecCnt), 0), coalesce(sum(RecDuration), 0) FROM "
                           "TB_AGENTCALLSTATISTICS"),
                 QStringList{QString("%1|%2").arg(saved).arg(talked)});
        QCOMPARE(d.central("SELECT coalesce(sum(WorkCount), 0) FROM tb_branchworkcount"),
                 QStringList{QString::number(saved)});
        QCOMPARE(d.central("SELECT Login, Status FROM AgentLogin WHERE AgentID = 'kim'"),
                 QStringList{"1|0"});
        QCOMPARE(d.f.messages.errorBlocks(), 0);
    }

private slots:
    void ringWhileResultOpen_data()
    {
        QTest::addColumn<bool>("secondEndsFirst");
        QTest::newRow("second call ends before the first result is saved") << true;
        QTest::newRow("first result saved while the second call talks") << false;
    }
    void ringWhileResultOpen()
    {
        QFETCH(bool, secondEndsFirst);
        Desk d;
        CallPtr first, second;
        Script s;
        answeredCall(s, d, d.own[0], &first);
        s.then("the first caller hangs up", [&] { d.line.hangUp(); }).window("통화결과입력");
        answeredCall(s, d, d.own[1], &second);
        if (secondEndsFirst)
            s.then("the second caller hangs up", [&] {
                 d.line.hangUp();
             }).when("its line released", [&] { return !d.calls.lineCall(); });
        s.then("the first result", saveResult(2, "첫 통화"));
        if (!secondEndsFirst) {
            s.when(
                "the first call's file sent while the second is recorded",
                [&] { return first->stage() == Call::Stage::Finished; },
                [&] {
                    QVERIFY(second->stage() == Call::Stage::Connected);
                    QVERIFY(!QFile::exists(
                        d.ftp.remoteFile(second->RecFileName.left(8) + "/" + second->RecFileName)));
                    QVERIFY(d.controls.isEnabled(DeskControls::cmdStopCall));
                    QCOMPARE(d.central("SELECT Status FROM AgentLogin WHERE AgentID = 'kim'"),
                             QStringList{"1"});
                    d.line.hangUp();
                });
        }
        s.when(
             "the second result window, never skipped",
             [&] { return first->stage() == Call::Stage::Finished && shown("통화결과입력"); },
             saveResult(3, "둘째 통화"))
            .when("idle", [&] { return d.idle(); });
        QVERIFY2(s.run(), qPrintable(s.failure()));

        QVERIFY(first->RecFileName != second->RecFileName);
        // Each call filed with its own caller's number and customer.
        for (const auto& [call, number, result] : {std::tuple{first, d.own[0], "3|첫 통화"},
                                                   std::tuple{second, d.own[1], "4|둘째 통화"}}) {
            const QString id = call->customer[CustomerRecord::txtCustID];
            QCOMPARE(d.customer("MobileNumber", id), QStringList{number});
            QCOMPARE(
                d.centralRow("R_Tel, RecBound, Status, Memo, UploadStatus, Name",
                             call->RecFileName),
                QStringList{number + "|I|" + result + "|1|" + d.customer("Name", id).value(0)});
        }
        QCOMPARE(d.central("SELECT RecBound, RecCnt FROM TB_AGENTCALLSTATISTICS ORDER BY Status"),
                 (QStringList{"2|1", "2|1"}));
        checkArchive(d, 2);
    }

    // A message box is open while the next call rings, is answered and
    // picks its customer: each call's result is filed for its own customer.
    void boxOpenWhileTheNextCallIsTaken_data()
    {
        QTest::addColumn<bool>("othersCustomer");
        QTest::newRow("the branch server blinks as the first call is released") << false;
        QTest::newRow("another agent's customer picked; that caller hangs up") << true;
    }
    void boxOpenWhileTheNextCallIsTaken()
    {
        QFETCH(bool, othersCustomer);
        Desk d;
        // The program's own message boxes, which the agent reads at leisure.
        QtMessageSink boxes;
        d.f.messages.onMessage = [&boxes](const MessageRecorder::Message& m) {
            boxes.showMessage(m.text, m.caption, m.icon);
        };
        const auto box = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                    return b;
            return static_cast<QMessageBox*>(nullptr);
        };
        const QString other = d.central("SELECT ID || '|' || MobileNumber FROM gogakinfo WHERE "
                                        "AgentID = 'choi' AND MobileNumber <> '' LIMIT 1")
                                  .value(0);
        const QStringList othersBefore = d.customer("Status", other.section('|', 0, 0));
        const QString file = d.f.path("branch0001.db");
        CallPtr first, second;
        Script s;
        if (othersCustomer) {
            s.then("ring", [&] { d.ring(other.section('|', 1)); })
                .window("인바운드", click("인바운드", "cmdStartCall"))
                .when(
                    "the other agent's customer", [] { return callerRows() == 1; }, pickFirst);
        } else {
            answeredCall(s, d, d.own[0], &first);
            s.then("the branch server goes as the caller hangs up", [&] {
                QFile::rename(file, file + ".away");
                d.line.hangUp();
            });
        }
        s.when(
            "a box", [&] { return box() != nullptr; },
            [&] {
                QFile::rename(file + ".away", file);
                if (othersCustomer)
                    d.line.hangUp();
            });
        answeredCall(s, d, d.own[1], &second);
        s.then("every box answered", [&] {
             while (QMessageBox* b = box())
                 b->button(QMessageBox::Ok)->click();
         }).then("the second caller hangs up", [&] {
            QTest::qWait(300);
            d.line.hangUp();
        });
        // Each result window saved as it comes, until the desk is idle.
        s.when("every result saved", [&] {
            if (shown("통화결과입력") && !box())
                saveResult(2, "결과")();
            return d.idle() && !box();
        });
        QVERIFY2(s.run(), qPrintable(s.failure()));
        const auto id = [&d](const QString& number) {
            return d.central("SELECT ID FROM gogakinfo WHERE MobileNumber = '" + number + "'")
                .value(0);
        };
        QCOMPARE(d.customer("Status", id(d.own[1])), QStringList{"3"});
        QCOMPARE(d.centralRow("CustID, Status", second->RecFileName),
                 QStringList{id(d.own[1]) + "|3"});
        // The first call's customer has its result; another agent's is not touched.
        QCOMPARE(d.customer("Status", othersCustomer ? other.section('|', 0, 0) : id(d.own[0])),
                 othersCustomer ? othersBefore : QStringList{"3"});
    }

    void goneBeforeThePick_data()
    {
        QTest::addColumn<bool>("linkDown");
        QTest::newRow("caller hangs up") << false;
        QTest::newRow("device lost") << true;
    }
    void goneBeforeThePick()
    {
        QFETCH(bool, linkDown);
        Desk d;
        CallPtr call;
        Script s;
        s.then("ring", [&] { d.ring(d.own[0]); })
            .window("인바운드", click("인바운드", "cmdStartCall"))
            .window("고객선택",
                    [&] {
                        call = d.calls.lineCall();
                        // A device away changes nothing; its return tells of the hang-up.
                        if (linkDown) {
                            d.line.setLinkUp(false);
                            QTest::qWait(300);
                            QVERIFY(shown("고객선택"));
                        }
                        d.line.hangUp();
                        d.line.setLinkUp(true);
                    })
            .when("the window closes by itself", [] { return !shown("고객선택"); })
            .when("the desk back",
                  [&] { return d.controls.windowEnabled() && !d.calls.lineCall(); });
        QVERIFY2(s.run(), qPrintable(s.failure()));
        // Dropped: no result window was ever opened for it.
        QCOMPARE(call->stage(), Call::Stage::Dropped);
        QVERIFY(!d.controls.isEnabled(DeskControls::cmdStopCall));
        QVERIFY(d.controls.isEnabled(DeskControls::cmdStartPhoneNO1));
        checkArchive(d, 0);
    }

    void newCustomerWhenTheOtherSideHangsUp_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("filed");
        QTest::newRow("unknown caller registered") << "A"
                                                   << "0299990007|99999|3";
        QTest::newRow("typed in before dialling") << "E"
                                                  << "010-5555-0007|99998|2";
    }
    void newCustomerWhenTheOtherSideHangsUp()
    {
        QFETCH(QString, kind);
        QFETCH(QString, filed);
        Desk d;
        Script s;
        if (kind == "A") {
            s.then("ring", [&] { d.ring("0299990007"); })
                .window("인바운드", click("인바운드", "cmdStartCall"))
                .when(
                    "nobody carries the number",
                    [] {
                        return callerWindow() &&
                               callerWindow()->logic().lblCIDData() == "0299990007";
                    },
                    click("고객선택", "cmdStartCall"));
        } else {
            s.then("dial a new customer", [&] {
                d.desk.customers.editor.cmdRegisterCust_Click();
                d.panel.type(CustomerPanel::txtPhoneNo1, "010-5555-0007");
                d.calls.cmdStartPhoneNO1_Click();
            });
        }
        QString custId;
        s.when(
             "talking", [&] { return d.connected(); },
             [&] {
                 d.panel.type(CustomerPanel::txtCustName, "신규 " + kind);
                 d.panel.type(CustomerPanel::txtCustSocialID, "900101-1234567");
                 custId = d.panel.value(CustomerPanel::txtCustID);
                 QTest::qWait(1200);
                 d.line.hangUp();
             })
            .window("통화결과입력",
                    [&] {
                        // Stored before the window opened, as "통화종료" stores them.
                        QCOMPARE(d.central("SELECT Name, JuminNo, MobileNumber, CampaignID, "
                                           "DataType FROM gogakinfo WHERE ID = " +
                                           custId),
                                 QStringList{"신규 " + kind + "|9001011234567|" + filed});
                        QCOMPARE(d.local("SELECT Name FROM recfile"), QStringList{"신규 " + kind});
                        saveResult(2, "신규")();
                    })
            .when("idle", [&] { return d.idle(); });
        QVERIFY2(s.run(), qPrintable(s.failure()));
        QCOMPARE(d.central("SELECT count(*) FROM gogakinfo_h WHERE ID = " + custId),
                 QStringList{"1"});
        QVERIFY(!d.panel.isEditable());
        checkArchive(d, 1);
    }

    void exitWhileWrappingUp_data()
    {
        QTest::addColumn<bool>("duringUpload");
        QTest::newRow("result window open") << false;
        QTest::newRow("upload running") << true;
    }
    void exitWhileWrappingUp()
    {
        QFETCH(bool, duringUpload);
        Desk d;
        CallPtr call;
        Script s;
        answeredCall(s, d, d.own[0], &call);
        s.then("hang up", [&] { d.line.hangUp(); }).window("통화결과입력");
        if (duringUpload) {
            s.then("save", [&] {
                 // A file that takes seconds to send, so the Exit meets it on its way.
                 QFile file(call->RecFilePath);
                 QVERIFY(file.open(QIODevice::Append));
                 file.write(QByteArray(512 * 1024, '\x11'));
                 file.close();
                 d.ftp.setFault("slow:64");
                 saveResult(2, "저장")();
             }).when("uploading", [&] { return d.desk.uploadFtp.isBusy(); });
        }
        s.then("Exit", [&] {
            QVERIFY(d.desk.trayMenu.mExit_Click());
            // The program's end takes its windows with it.
            if (QDialog* w = shown("통화결과입력"))
                w->reject();
        });
        s.when("the call's handler returned",
               [&] { return !shown("통화결과입력") && !d.desk.uploadFtp.isBusy(); });
        QVERIFY2(s.run(), qPrintable(s.failure()));
        QTest::qWait(200);
        // The logout is the last word; the row is left for the next login.
        QCOMPARE(d.central("SELECT Login, Status FROM AgentLogin WHERE AgentID = 'kim'"),
                 QStringList{"0|0"});
        QCOMPARE(d.localRow("Status, UploadStatus", call->RecFileName),
                 QStringList{duringUpload ? "3|0" : "0|0"});
        QCOMPARE(d.centralRow("UploadStatus", call->RecFileName), QStringList{"0"});
        QVERIFY(!QFile::exists(d.f.path("Brenvo_1.mdb")));
    }

    void callEndsDuringPlaybackFetch()
    {
        Desk d;
        QDir().mkpath(d.ftp.remoteFile("20261201"));
        QFile big(d.ftp.remoteFile("20261201/old.vox"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(256 * 1024, '\x11')) > 0);
        big.close();
        CallPtr call;
        Script s;
        answeredCall(s, d, d.own[0], &call);
        // About ten seconds: still running when a loaded machine has saved
        // the result and sent the call's small file, at the same slow pace.
        s.then("fetch an old recording, slowly",
               [&] {
                   d.ftp.setFault("slow:24");
                   d.desk.localRecordings.PlayRemoteRecfile("20261201", "old.vox", "3");
               })
            .when(
                "fetching", [&] { return d.desk.ftp.isBusy(); }, [&] { d.line.hangUp(); })
            .window("통화결과입력", saveResult(2, "재생 중"))
            .when(
                "uploaded while the fetch runs",
                [&] { return call->stage() == Call::Stage::Finished; },
                [&] { QVERIFY(d.desk.ftp.isBusy()); })
            .when("the fetch done", [&] { return !d.desk.ftp.isBusy(); });
        QVERIFY2(s.run(), qPrintable(s.failure()));
        checkArchive(d, 1);
        QCOMPARE(d.local("SELECT UploadStatus FROM recfile"), QStringList{"1"});
    }
};

QTEST_MAIN(TestCallOverlaps)
#include "tst_calloverlaps.moc"
