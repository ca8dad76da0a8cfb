#include <QApplication>
#include <QFont>

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "login/AgentStatus.h"
#include "login/LoginProcedure.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"
#include "windows/Frm000000.h"
#include "windows/Frm100000.h"
#include "windows/QtMessageSink.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenvo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brenvo"));
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK KR"), font.family()});
    QApplication::setFont(font);

    Session session;
    session.programFolder = ProgramFolder::folder();

    // A second copy ends at once, without a window or a message.
    SingleInstance instance(session.programFolder);
    if (!instance.isFirst())
        return 0;

    QtMessageSink messages;
    ErrorLog errors(session.programFolder, messages);
    Database db(session, errors, messages);
    AgentStatus status(db, messages);
    LoginProcedure login(db, status, messages);

    Frm000000 loginWindow(login);
    std::unique_ptr<Frm100000> mainWindow;
    QObject::connect(&loginWindow, &Frm000000::loggedIn, [&] {
        mainWindow = std::make_unique<Frm100000>(status);
        mainWindow->show();
    });
    loginWindow.show();
    return app.exec();
}
