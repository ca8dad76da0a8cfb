#include "windows/DeskWindows.h"

#include "desk/Desk.h"
#include "windows/Frm010000.h"
#include "windows/Frm110000.h"
#include "windows/Frm120000.h"
#include "windows/Frm130000.h"
#include "windows/QtWindowOpener.h"

void DeskWindows::install(QtWindowOpener& opener, Desk& desk)
{
    opener.setFactory(Window::BulkUpload,
                      [&desk](const CallPtr&) { return new Frm010000(desk.bulkUpload); });
    opener.setFactory(Window::SmallCall,
                      [&desk](const CallPtr&) { return new Frm130000(desk.device); });
    opener.setFactory(Window::CallerId, [&desk](const CallPtr& call) {
        return new Frm110000(desk.db, call, desk.calls, desk.customers.search, desk.device,
                             desk.messages);
    });
    opener.setFactory(Window::CallResult, [&desk](const CallPtr& call) {
        return new Frm120000(desk.resultParts(), call);
    });
    QObject::connect(&desk.calls, &CallController::callerIdLabel,
                     [&opener](const CallPtr& call, const QString& number) {
                         if (auto* window =
                                 qobject_cast<Frm110000*>(opener.preload(Window::CallerId, call)))
                             window->setCallerNumber(number);
                     });
}
