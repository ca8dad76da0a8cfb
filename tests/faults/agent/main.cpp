#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include "CallDesk.h"
#include "customers/CallResult.h"

// brenvo-fault-agent FOLDER CENTRAL AGENT PRIVILEGE FTPPORT SECONDS CUSTID...
//
// Writes a fresh program folder at FOLDER whose branch database is the
// shared file CENTRAL, logs in as AGENT and, for SECONDS, calls the given
// customers one after the other and saves each result through the real call
// result logic. Prints "SAVED <customer> <voice file>" per call.
// With SECONDS = 0 it dials the first customer and keeps the call open
// forever ("RECORDING <path>" once the recording runs), for kill tests; with
// SECONDS = -1 it reopens FOLDER and runs the login's check of the recordings
// ("CHECKING"), bulk upload and the results left unsaved.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 8)
        return 2;
    const QString folder = args.at(1), central = args.at(2), agent = args.at(3),
                  privilege = args.at(4);
    const int seconds = args.at(6).toInt();
    QTextStream out(stdout);
    const auto fail = [&out](const QString& why) {
        out << "ERROR " << why << Qt::endl;
        return 1;
    };

    QString error;
    if (seconds >= 0 && !DemoFolder::create(folder, {.customers = 0, .callHistory = false}, &error))
        return fail(error);
    Session session;
    session.programFolder = folder;
    MessageRecorder messages;
    messages.onMessage = [&out](const MessageRecorder::Message& m) {
        out << "MESSAGE " << QString(m.text).replace(u'\n', u' ') << Qt::endl;
    };
    ErrorLog errors(folder, messages);
    Database db(session, errors, messages);
    session.BranchID = QStringLiteral("0001");
    session.TeamID = QStringLiteral("01");
    session.AgentID = session.UserName = agent;
    session.AgentPrivilege = privilege;
    session.BranchIP = QStringLiteral("sqlite:") + central;
    session.BranchDBUser = session.BranchDBPass = QStringLiteral("brenvo");
    session.BranchDBPort = QStringLiteral("1433");
    session.FtpIP = QStringLiteral("127.0.0.1");
    session.FtpUser = QStringLiteral("brenvo");
    session.FtpPwd = QStringLiteral("brenvo-test");
    session.FtpPortNo = args.at(5);
    session.LandCode = QStringLiteral("02");
    session.LineAreaCd = session.LineLongCd = QStringLiteral("9");

    WindowRecorder windows;
    LineSimulator line;
    line.setAnswerDelay(50);
    if (!line.listen(0, &error))
        return fail(error);
    Desk desk({session, db, errors, messages, windows});
    desk.device.setLinePort(line.port());
    desk.media.setSilentOutput(true);
    desk.customers.lookups.SetCmbTermCombo();

    QString saved;
    windows.onShow = [&](Window w, const CallPtr& call) {
        if (w != Window::CallResult)
            return;
        CallResult result{desk.resultParts(), call};
        result.load();
        if (privilege != QStringLiteral("11"))
            result.cmbCallStatus_Click(0);
        if (result.cmdRcResultSave_Click(QStringLiteral("memo ") + agent, QString()))
            saved = call->RecFileName;
        windows.finish(w);
    };

    if (seconds < 0) {
        out << "CHECKING" << Qt::endl;
        // Then the results an earlier run left unsaved, each saved and sent.
        QTimer settled;
        QObject::connect(&settled, &QTimer::timeout, [&] {
            if (desk.calls.openCalls().isEmpty()) {
                out << "UPLOADED" << Qt::endl;
                QCoreApplication::quit();
            }
        });
        QObject::connect(&desk.bulkUpload, &BulkUpload::finished, [&] {
            desk.calls.offerUnsavedResults();
            settled.start(50);
        });
        desk.bulkUpload.start();
        return app.exec();
    }
    desk.calls.openDevices(0);
    line.setFeedPort(desk.socket.serverPort());
    QTest::qWait(200);

    const QStringList ids = args.mid(7);
    QElapsedTimer clock;
    clock.start();
    for (const QString& id : ids) {
        if (seconds > 0 && clock.elapsed() >= seconds * 1000)
            break;
        desk.panel.setValue(CustomerPanel::txtCustID, id);
        saved.clear();
        desk.calls.DialNumber(QStringLiteral("010-2222-3333"));
        const CallPtr call = desk.calls.lineCall();
        if (!QTest::qWaitFor([&] { return desk.controls.isEnabled(DeskControls::cmdStopCall); },
                             10000))
            return fail("no answer");
        if (seconds == 0) {
            out << "RECORDING " << call->RecFilePath << Qt::endl;
            return app.exec();
        }
        // Every agent hangs up on the same whole second, so their saves meet;
        // voice files are named to the second, so one call per second at most.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QTest::qWait(int(2000 - now % 1000));
        desk.calls.cmdStopCall_Click();
        if (!QTest::qWaitFor([&] { return call->stage() == Call::Stage::Finished; }, 20000) ||
            saved.isEmpty())
            return fail("result not saved");
        out << "SAVED " << id << u' ' << saved << Qt::endl;
    }
    return 0;
}
