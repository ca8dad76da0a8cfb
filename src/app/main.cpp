#include <QApplication>
#include <QFont>
#include <QIcon>

#include "customers/CallResult.h"
#include "customers/CustomerSide.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/HostUtils.h"
#include "foundation/Session.h"
#include "histories/CallHistory.h"
#include "histories/LocalRecordings.h"
#include "histories/RecordingHistory.h"
#include "histories/RecordingPlayer.h"
#include "login/AgentStatus.h"
#include "login/LoginProcedure.h"
#include "platform/DorvanePlus.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/OrvelServerSocket.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"
#include "platform/SpreadModel.h"
#include "platform/TerminationSignals.h"
#include "shell/LocalFileRotation.h"
#include "shell/TrayMenu.h"
#include "telephony/CallController.h"
#include "telephony/CallRecorder.h"
#include "telephony/CallState.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"
#include "telephony/WorkCounters.h"
#include "windows/Frm000000.h"
#include "windows/Frm010000.h"
#include "windows/Frm100000.h"
#include "windows/Frm110000.h"
#include "windows/Frm120000.h"
#include "windows/Frm130000.h"
#include "windows/FrmSysTray.h"
#include "windows/QtMessageSink.h"
#include "windows/QtWindowOpener.h"

#ifdef BRENVO_ROADTEST
#include "TestDriver.h"
#endif

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("Brenvo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/brenvo.svg")));
    QApplication::setDesktopFileName(QStringLiteral("brenvo"));
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK KR"), font.family()});
    QApplication::setFont(font);
    // The program ends by the login window's cancel or the tray's Exit, never
    // because a window closed: between the two, the bulk-upload window and
    // the hidden main window may be all there is.
    QApplication::setQuitOnLastWindowClosed(false);
    Session session;
    session.programFolder = ProgramFolder::folder();

    // A second copy brings the first one's window forward and ends, without
    // a window or a message.
    SingleInstance instance(session.programFolder);
    if (!instance.isFirst())
        return 0;
#ifdef BRENVO_ROADTEST
    TestDriver driver(qEnvironmentVariable("BRENVO_TEST_DRIVER"));
#endif

    QtMessageSink messages;
    HostUtils::CheckProgramFolder(session.programFolder, messages);
    QtWindowOpener windows;
    ErrorLog errors(session.programFolder, messages);
    Database db(session, errors, messages);
    AgentStatus status(db, messages);
    LoginProcedure login(db, status, messages);

    CallState call;
    CustomerPanel panel;
    DeskControls desk;
    SpreadModel custList(41);
    DorvanePlus device;
    OrvelServerSocket socket;
    FtpCientOCX ftp;
    OrvelMedia media;
    QObject::connect(&device, &DorvanePlus::LineAudio, &media, &OrvelMedia::writeLineAudio);
    RecordingRecords records(db);
    CallRecorder recorder(session, call, panel, media, ftp, records, errors);
    RecordingUpload upload(session, db, records);
    WorkCounters counters(db);
    CustomerSide customers(db, panel, call, desk, custList, messages);
    CallController calls({session, call, db, device, socket, ftp, recorder, records, upload, status,
                          panel, desk, customers, windows, messages});
    RecordingPlayer player(media);
    LocalRecordings localRecordings(session, db, customers.lookups, customers.search, ftp, player,
                                    messages);
    RecordingHistory recordingHistory(session, db, customers.lookups, customers.search,
                                      localRecordings);
    CallHistory callHistory(session, db, customers.lookups, customers.search);
    LocalFileRotation rotation(db);
    TrayMenu trayMenu(device, status, rotation, messages);
    QObject::connect(&trayMenu, &TrayMenu::programEnded, &app, [] { QCoreApplication::exit(0); });
    // A complete copy whose local file is gone becomes the local file again.
    rotation.RecoverLocalDB();

    windows.setFactory(Window::BulkUpload, [&upload] { return new Frm010000(upload); });
    windows.setFactory(Window::SmallCall, [&device] { return new Frm130000(device); });
    windows.setFactory(Window::CallerId, [&] {
        return new Frm110000(db, call, panel, customers.search, device, messages);
    });
    windows.setFactory(Window::CallResult, [&] {
        return new Frm120000({db, call, panel, customers.lookups, records, counters,
                              customers.registration, messages});
    });
    // The number reaches the caller-ID window's label, building it hidden if need be.
    QObject::connect(&calls, &CallController::callerIdLabel, [&windows](const QString& number) {
        if (auto* window = qobject_cast<Frm110000*>(windows.preload(Window::CallerId)))
            window->setCallerNumber(number);
    });

    Frm000000 loginWindow(login);
    std::unique_ptr<Frm100000> mainWindow;
    QObject::connect(&loginWindow, &Frm000000::loggedIn, [&] {
        windows.showModal(Window::BulkUpload);
        if (trayMenu.hasEnded())
            return;
        mainWindow = std::make_unique<Frm100000>(DeskParts{
            session, call, db, status, device, socket, ftp, media, panel, desk, calls, custList});
        mainWindow->attachCustomers(customers);
        mainWindow->attachHistories(
            {recordingHistory, callHistory, localRecordings, player, customers.lookups}, trayMenu);
        mainWindow->show();
        mainWindow->load();
        mainWindow->frmSysTray->setSetupAction(
            [&windows] { windows.showModeless(Window::CallerId); });
    });
    QObject::connect(&loginWindow, &Frm000000::cancelled, &app, &QCoreApplication::quit);

    // The session ends or the process is told to stop: a logged-in agent
    // quits as by "&Exit", without its busy-line refusal.
    const auto endSession = [&] {
        if (session.LoginTime.isEmpty())
            QCoreApplication::quit();
        else
            trayMenu.endSession();
    };
    TerminationSignals stopSignals;
    QObject::connect(&stopSignals, &TerminationSignals::stopRequested, endSession);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, endSession);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, endSession);
    QObject::connect(&instance, &SingleInstance::raiseRequested, [&] {
        QWidget* window = mainWindow ? static_cast<QWidget*>(mainWindow.get()) : &loginWindow;
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    });
    loginWindow.show();
    return app.exec();
}
