#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTextStream>

#include "CallDesk.h"
#include "customers/CallResult.h"
#include "customers/CustomerRegistration.h"
#include "customers/LookupLists.h"
#include "shell/LocalFileRotation.h"
#include "telephony/WorkCounters.h"

// brenvo-fault-agent FOLDER CENTRAL AGENT PRIVILEGE FTPPORT SECONDS CUSTID...
//
// Writes a fresh program folder at FOLDER whose branch database is the
// shared file CENTRAL, logs in as AGENT and, for SECONDS, calls the given
// customers one after the other and saves each result through the real call
// result logic. Prints "SAVED <customer> <voice file>" per call.
// With SECONDS = 0 it dials the first customer and keeps the call open
// forever ("RECORDING <path>" once the recording runs), for kill tests; with
// SECONDS = -1 it reopens FOLDER and runs the login's bulk upload, with -2
// it compacts FOLDER's local record file over and over ("COMPACTING").
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 8)
        return 2;
    const QString folder = args.at(1), central = args.at(2), agent = args.at(3);
    const QString privilege = args.at(4);
    const int seconds = args.at(6).toInt();
    QTextStream out(stdout);

    DemoOptions options;
    options.customers = 0;
    options.callHistory = false;
    QString error;
    if (seconds >= 0 && !DemoFolder::create(folder, options, &error)) {
        out << "ERROR " << error << Qt::endl;
        return 1;
    }
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
    session.AgentID = agent;
    session.UserName = agent;
    session.AgentPrivilege = privilege;
    session.BranchIP = QStringLiteral("sqlite:") + central;
    session.BranchDBUser = session.BranchDBPass = QStringLiteral("brenvo");
    session.BranchDBPort = QStringLiteral("1433");
    session.FtpIP = QStringLiteral("127.0.0.1");
    session.FtpUser = QStringLiteral("brenvo");
    session.FtpPwd = QStringLiteral("brenvo-test");
    session.FtpPortNo = args.at(5);
    session.LandCode = QStringLiteral("02");
    session.LineAreaCd = QStringLiteral("9");
    session.LineLongCd = QStringLiteral("9");

    WindowRecorder windows;
    LineSimulator line;
    line.setAnswerDelay(50);
    if (!line.listen(0, &error)) {
        out << "ERROR " << error << Qt::endl;
        return 1;
    }
    CallState call;
    CustomerPanel panel;
    DeskControls desk;
    DorvanePlus device;
    device.setLinePort(line.port());
    OrvelServerSocket socket{QHostAddress::LocalHost};
    FtpCientOCX ftp;
    OrvelMedia media;
    media.setSilentOutput(true);
    QObject::connect(&device, &DorvanePlus::LineAudio, &media, &OrvelMedia::writeLineAudio);
    AgentStatus status{db, messages};
    RecordingRecords records{db};
    CallRecorder recorder{session, call, panel, media, ftp, records, errors};
    RecordingUpload upload{session, db, records};
    CustomerDeskRecorder customers;
    CallController calls{{session, call, db, device, socket, ftp, recorder, records, upload, status,
                          panel, desk, customers, windows, messages}};
    LookupLists lookups{db};
    lookups.SetCmbTermCombo();
    CustomerRegistration registration{db, panel, call};
    WorkCounters counters{db};
    CallResult result{{db, call, panel, lookups, records, counters, registration, messages}};

    if (seconds == -2) {
        LocalFileRotation rotation{db};
        for (bool first = true;; first = false) {
            rotation.CompactLocalDB();
            if (first)
                out << "COMPACTING" << Qt::endl;
        }
    }
    if (seconds < 0) {
        upload.UploadPending(ftp);
        out << "UPLOADED" << Qt::endl;
        return 0;
    }
    calls.openDevices(0);
    line.setFeedPort(socket.serverPort());
    QTest::qWait(200);

    QString saved;
    windows.onShow = [&](Window w) {
        if (w != Window::CallResult)
            return;
        result.load();
        if (privilege != QStringLiteral("11"))
            result.cmbCallStatus_Click(0);
        if (result.cmdRcResultSave_Click(QStringLiteral("memo ") + agent, QString()))
            saved = call.RecFileName;
    };

    const QStringList ids = args.mid(7);
    QElapsedTimer clock;
    clock.start();
    for (const QString& id : ids) {
        if (seconds > 0 && clock.elapsed() >= seconds * 1000)
            break;
        panel.setValue(QStringLiteral("txtCustID"), id);
        saved.clear();
        calls.DialNumber(QStringLiteral("010-2222-3333"));
        if (!QTest::qWaitFor([&] { return desk.isEnabled(DeskControls::cmdStopCall); }, 10000)) {
            out << "ERROR no answer" << Qt::endl;
            return 1;
        }
        if (seconds == 0) {
            out << "RECORDING " << call.RecFilePath << Qt::endl;
            return app.exec();
        }
        // Every agent hangs up on the same whole second, so their saves meet;
        // voice files are named to the second, so one call per second at most.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QTest::qWait(int(2000 - now % 1000));
        calls.cmdStopCall_Click();
        if (!QTest::qWaitFor([&] { return !saved.isEmpty() && call.RecFileName.isEmpty(); },
                             20000)) {
            out << "ERROR result not saved" << Qt::endl;
            return 1;
        }
        out << "SAVED " << id << u' ' << saved << Qt::endl;
    }
    return 0;
}
