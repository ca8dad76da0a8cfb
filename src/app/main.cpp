#include <QApplication>
#include <QFont>

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "login/AgentStatus.h"
#include "login/LoginProcedure.h"
#include "platform/DorvanePlus.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/OrvelServerSocket.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"
#include "platform/SpreadModel.h"
#include "telephony/CallController.h"
#include "telephony/CallRecorder.h"
#include "telephony/CallState.h"
#include "telephony/CustomerDesk.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"
#include "windows/Frm000000.h"
#include "windows/Frm010000.h"
#include "windows/Frm100000.h"
#include "windows/Frm130000.h"
#include "windows/QtMessageSink.h"
#include "windows/QtWindowOpener.h"

namespace {

// Until the customer side is wired in: calls are recorded and uploaded,
// customers are neither registered nor searched.
class PendingCustomerDesk : public CustomerDesk
{
public:
    void SetRegisterInboundCutomer(const QString&, const QString&) override {}
    bool saveCallCustomer(const QString&, const QString&) override { return false; }
    void searchCustomers() override {}
};

} // namespace

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
    PendingCustomerDesk customers;
    CallController calls({session, call, db, device, socket, ftp, recorder, records, upload, status,
                          panel, desk, customers, windows, messages});

    windows.setFactory(Window::BulkUpload, [&upload] { return new Frm010000(upload); });
    windows.setFactory(Window::SmallCall, [&device] { return new Frm130000(device); });

    Frm000000 loginWindow(login);
    std::unique_ptr<Frm100000> mainWindow;
    QObject::connect(&loginWindow, &Frm000000::loggedIn, [&] {
        windows.showModal(Window::BulkUpload);
        mainWindow = std::make_unique<Frm100000>(DeskParts{
            session, call, db, status, device, socket, ftp, media, panel, desk, calls, custList});
        mainWindow->show();
        mainWindow->load();
    });
    loginWindow.show();
    return app.exec();
}
