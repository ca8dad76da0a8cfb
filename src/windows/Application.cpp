#include "windows/Application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

#include "desk/Desk.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/HostUtils.h"
#include "foundation/Session.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "windows/DeskWindows.h"
#include "windows/Frm000000.h"
#include "windows/Frm100000.h"
#include "windows/QtMessageSink.h"
#include "windows/QtWindowOpener.h"

int runBrenvo(int argc, char* argv[], const TestHook& testHook)
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
    const std::unique_ptr<QObject> testDriver = testHook ? testHook() : nullptr;

    QtMessageSink messages;
    HostUtils::CheckProgramFolder(session.programFolder, messages);
    QtWindowOpener windows;
    ErrorLog errors(session.programFolder, messages);
    Database db(session, errors, messages);
    Desk desk({session, db, errors, messages, windows});
    QObject::connect(&desk.trayMenu, &TrayMenu::programEnded, &app,
                     [] { QCoreApplication::exit(0); });
    // A complete copy whose local file is gone becomes the local file again.
    desk.rotation.RecoverLocalDB();
    DeskWindows::install(windows, desk);

    Frm000000 loginWindow(desk.login);
    std::unique_ptr<Frm100000> mainWindow;
    // After the login, the bulk-upload window; once it has closed, the desk.
    QObject::connect(&loginWindow, &Frm000000::loggedIn, [&] { windows.open(Window::BulkUpload); });
    QObject::connect(&windows, &WindowOpener::closed, [&](Window window, const CallPtr&) {
        if (window != Window::BulkUpload || mainWindow || desk.trayMenu.hasEnded())
            return;
        mainWindow = std::make_unique<Frm100000>(desk, windows);
        mainWindow->show();
        mainWindow->load();
    });
    QObject::connect(&loginWindow, &Frm000000::cancelled, &app, &QCoreApplication::quit);

    // The session ends or the process is told to stop: a logged-in agent
    // quits as by "&Exit", without its busy-line refusal; a connected call
    // closes its recording and both rows first.
    const auto endSession = [&] {
        if (session.LoginTime.isEmpty())
            QCoreApplication::quit();
        else
            desk.trayMenu.endSession();
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
