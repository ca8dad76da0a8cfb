#include "telephony/CallController.h"

#include <QDateTime>
#include <QFileInfo>

#include "foundation/Database.h"
#include "foundation/HostUtils.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "line/DorvanePlus.h"
#include "login/AgentStatus.h"
#include "platform/OrvelServerSocket.h"
#include "telephony/CallRecorder.h"
#include "telephony/CustomerDesk.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "telephony/RecordingReconciliation.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"

namespace {
const QString kServerTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kSmallCall = QStringLiteral("인바운드");
const QString kCallerId = QStringLiteral("고객선택");
using Event = Call::Event;
using Stage = Call::Stage;
} // namespace

CallController::CallController(const Parts& parts, QObject* parent)
    : QObject(parent), m_p(parts), m_feed(parts.socket, parts.db.errors(), parts.messages)
{
    connect(&m_p.device, &DorvanePlus::RingChanged, this, &CallController::RingChanged);
    connect(&m_p.device, &DorvanePlus::HookChanged, this, &CallController::HookChanged);
    connect(&m_p.device, &DorvanePlus::DeviceLinkChanged, this, &CallController::DeviceLinkChanged);
    connect(&m_p.device, &DorvanePlus::CallerNumber, this,
            [this](const QString& number) { callerNumber(HostUtils::PhoneDigits(number), false); });
    connect(&m_p.device, &DorvanePlus::DeviceOpened, this, [this](bool ok) {
        if (ok)
            return;
        m_p.messages.showMessage(QStringLiteral("Cannot Create Dorvane device"), QString(),
                                 MessageIcon::None);
        // An absent device is a lost one: no dialling into nothing, and the
        // desk comes alive when the device appears (its link-up).
        DeviceLinkChanged(false);
    });
    connect(&m_p.socket, &OrvelServerSocket::DataArrival, this, &CallController::DataArrival);
    connect(&m_p.windows, &WindowOpener::closed, this, &CallController::windowClosed);
    // What the agent types into the boxes during a call is that call's customer.
    connect(&m_p.panel, &CustomerPanel::typed, this,
            [this](CustomerPanel::Field field, const QString& text) {
                if (m_line && m_line->holdsDesk())
                    m_line->customer[field] = text;
            });
    m_p.db.journal().setWaitingChanged([this] { showTitle(); });
}

CallController::~CallController()
{
    m_p.db.journal().setWaitingChanged({});
}

void CallController::openDevices(quint16 feedPort)
{
    m_p.device.OpenDevice();
    m_feed.open(feedPort);
}

void CallController::refreshTitle()
{
    if (!m_deviceLinked)
        return;
    // The day's statistics are read once this desk's calls are in them; the
    // count of writes on their way shows at once.
    showTitle();
    afterWrites(m_titleOwed, [this] {
        m_p.status.windowTitle(this, [this](const QString& title) {
            m_title = title;
            showTitle();
        });
    });
}

void CallController::showTitle()
{
    if (!m_deviceLinked || m_title.isEmpty())
        return;
    const int waiting = m_p.db.journal().waiting();
    m_p.desk.setWindowTitle(
        m_title + (waiting ? QStringLiteral(" - 서버 전송 대기 %1건").arg(waiting) : QString()));
}

void CallController::afterWrites(bool& owed, std::function<void()> then)
{
    if (std::exchange(owed, true))
        return;
    m_p.db.journal().whenWritten(this, [&owed, then = std::move(then)] {
        owed = false;
        then();
    });
}

bool CallController::deskBusy() const
{
    return m_line && m_line->holdsDesk();
}

QList<CallPtr> CallController::openCalls() const
{
    QList<CallPtr> calls;
    if (m_line)
        calls << m_line;
    if (m_wrappingUp)
        calls << m_wrappingUp;
    return calls + m_released + m_uploading;
}

CallPtr CallController::callForCallerId() const
{
    if (m_line && m_line->InboundCall && m_line->onLine())
        return m_line;
    auto call = Call::inbound();
    call->CallerNumber = m_feedNumber;
    return call;
}

void CallController::fire(CallPtr call, Call::Event event)
{
    // Once the program quits, only the quit itself still reaches a call.
    if (m_p.session.ending && event != Event::Quit)
        return;
    const std::optional<Call::Action> action = call->on(event);
    if (!action)
        return;
    if (call == m_line && !call->onLine())
        m_line.reset();
    perform(call, *action);
    // A call gone before it was connected leaves the desk as it found it,
    // or idle when an earlier call's end was waiting for it to go.
    if (call->stage() == Stage::Dropped && !deskBusy()) {
        if (m_resetOwed)
            resetDesk();
        else
            m_p.panel.setHeld(false);
    }
}

void CallController::perform(const CallPtr& call, Call::Action action)
{
    switch (action) {
    case Call::Action::None:
        break;
    case Call::Action::CloseSmallCall:
        m_p.windows.closeWindow(Window::SmallCall);
        break;
    case Call::Action::OpenCallerId:
        answer(call);
        break;
    case Call::Action::CloseCallerId:
        m_p.windows.closeWindow(Window::CallerId);
        // A customer the pick loaded belongs to no call: the desk is idle again.
        if (call->customer.kind != CustSelectKind::None && !deskBusy()) {
            m_p.panel.clearCustInfoValuables();
            m_p.panel.setKind(CustSelectKind::None);
            m_p.panel.SetCustInfoValuables(QStringLiteral("0"));
        }
        break;
    case Call::Action::StartCall:
        startCall(call);
        break;
    case Call::Action::ReleaseLine:
        lineReleased(call);
        break;
    case Call::Action::OpenResult:
        m_wrappingUp = call;
        m_p.windows.open(Window::CallResult, call);
        break;
    case Call::Action::Upload:
        upload(call);
        break;
    case Call::Action::Finish:
        finish(call);
        break;
    case Call::Action::EndOnQuit:
        m_p.recorder.stopMedia(*call);
        m_p.recorder.StopRecording(*call, m_p.db.GetNowDate());
        break;
    }
}

void CallController::windowClosed(Window window, const CallPtr& call)
{
    if (!call)
        return;
    switch (window) {
    case Window::CallerId:
        fire(call, Event::CallerIdClosed);
        break;
    case Window::CallResult:
        if (m_wrappingUp == call)
            m_wrappingUp.reset();
        fire(call, Event::ResultClosed);
        nextResult();
        break;
    default:
        break;
    }
}

void CallController::RingChanged(int BellFlag)
{
    if (BellFlag != int(DorvanePlus::BellFlag::Ringing)) {
        if (m_line)
            fire(m_line, Event::RingStopped);
        return;
    }
    if (m_line && m_line->stage() != Stage::Ringing)
        return; // the line is in use: no new call can ring on it
    if (!m_line) {
        m_line = Call::inbound();
        // A number the feed delivered just before the ring is this caller's.
        if (m_pendingNumber.isValid() && m_pendingNumber.elapsed() < kFeedNumberMs) {
            m_line->CallerNumber = m_feedNumber;
            m_line->numberFromFeed = true;
        }
        m_pendingNumber.invalidate();
    }
    if (!m_p.windows.isWindowOpen(kSmallCall)) {
        m_line->CallDirection = CallDirection::Inbound;
        m_p.windows.open(Window::SmallCall, m_line);
    }
}

void CallController::HookChanged(int HookFlag)
{
    if (!m_hookEventSeen) {
        m_hookEventSeen = true;
        return;
    }
    if (!m_line)
        return;
    if (HookFlag == int(DorvanePlus::HookFlag::OffHook))
        fire(m_line, Event::OffHook);
    else if (HookFlag == int(DorvanePlus::HookFlag::OnHook))
        fire(m_line, Event::OnHook);
}

void CallController::answer(const CallPtr& call)
{
    // The handset taken while "인바운드" is open answers as its button does.
    m_p.windows.closeWindow(Window::SmallCall);
    // A caller-ID window opened from the tray gives way to this call's.
    if (m_p.windows.isWindowOpen(kCallerId))
        m_p.windows.closeWindow(Window::CallerId);
    call->CallDirection = CallDirection::Inbound;
    m_p.windows.open(Window::CallerId, call);
}

void CallController::customerChosen(const CallPtr& call)
{
    if (call == m_line && call->stage() == Stage::Answering)
        holdPanel(*call);
    else if (!deskBusy())
        m_p.panel.show(call->customer);
}

void CallController::holdPanel(const Call& call)
{
    m_p.panel.show(call.customer);
    m_p.panel.setHeld(true);
}

void CallController::startCall(const CallPtr& call)
{
    Call& c = *call;
    if (c.customer.isNew()) {
        const bool inbound = c.customer.kind == CustSelectKind::A;
        if (inbound)
            c.customer[CustomerPanel::txtPhoneNo1] = c.CallerNumber;
        holdPanel(c);
        m_p.panel.SetCustInfoValuables(QStringLiteral("1"));
        c.registering = true;
        m_p.customers.SetRegisterInboundCutomer(
            inbound ? QStringLiteral("99999") : QStringLiteral("99998"),
            inbound ? QStringLiteral("3") : QStringLiteral("2"), c.CallerNumber, this,
            [this, call](const CustomerRecord* registered) {
                customerRegistered(call, registered);
            });
    }
    holdPanel(c);
    m_p.desk.SetButtonState(DeskControls::ButtonMode::StartCall);
    m_p.recorder.StartRecording(c, m_p.db.GetNowDate());
    m_p.status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("1"));
}

void CallController::customerRegistered(const CallPtr& call, const CustomerRecord* registered)
{
    call->registering = false;
    if (registered) {
        for (const auto field :
             {CustomerPanel::txtCustID, CustomerPanel::txtCampaignID, CustomerPanel::txtDataType}) {
            call->customer[field] = (*registered)[field];
            // Answered across the network, the key comes while the call goes on.
            if (call == m_line)
                m_p.panel.setValue(field, (*registered)[field]);
        }
        // The recording began before the key came: its rows get it now.
        if (!call->RecFileName.isEmpty()) {
            RecRow row;
            row.DataType = (*registered)[CustomerPanel::txtDataType];
            row.CampaignID = (*registered)[CustomerPanel::txtCampaignID];
            row.R_Path = call->RecFileName;
            row.CustID = (*registered)[CustomerPanel::txtCustID];
            m_p.records.addToBoth(QStringLiteral("customerKnown"), row);
        }
    }
    // Typed details saved while the key was on its way go now.
    if (call->customerSaved)
        saveTypedCustomer(*call);
    nextResult();
}

void CallController::lineReleased(const CallPtr& call)
{
    // The voice file ends with the line.
    m_p.recorder.stopMedia(*call);
    m_p.recorder.StopRecording(*call, m_p.db.GetNowDate());
    // A new customer's typed details are kept however the call ended.
    if (call->customer.isNew() && !call->customerSaved)
        saveTypedCustomer(*call);
    m_released.append(call);
    nextResult();
}

void CallController::nextResult()
{
    // One result window at a time, oldest call first; none is skipped.
    // A result waits for its new customer's key.
    if (!m_wrappingUp && !m_released.isEmpty() && !m_released.first()->registering)
        fire(m_released.takeFirst(), Event::ResultTurn);
}

void CallController::upload(const CallPtr& call)
{
    m_uploading.append(call);
    m_p.upload.UploadRecording(m_p.uploads, *call, [this, call] { fire(call, Event::Uploaded); });
}

void CallController::finish(const CallPtr& call)
{
    m_uploading.removeOne(call);
    resetDesk();
}

void CallController::resetDesk()
{
    // A call answered meanwhile owns the buttons, the panel and the agent's
    // busy flag; only the statistics in the title are news, and the desk goes
    // idle when that call ends, connected or not.
    m_resetOwed = deskBusy();
    if (!m_resetOwed) {
        m_p.status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("0"));
        m_p.desk.SetButtonState(DeskControls::ButtonMode::StopCall);
        m_p.panel.setHeld(false);
        m_p.panel.clearCustInfoValuables();
        m_p.panel.setKind(CustSelectKind::None);
        m_p.panel.SetCustInfoValuables(QStringLiteral("0"));
        afterWrites(m_searchOwed, [this] { m_p.customers.searchCustomers(); });
        if (m_p.session.isReception())
            m_p.desk.SetButtonState(DeskControls::ButtonMode::Agent_1);
    }
    refreshTitle();
}

void CallController::DeviceLinkChanged(bool connected)
{
    // A blink of the device changes no call: the line reports on its return
    // what happened meanwhile, and a call whose line stayed taken goes on
    // being recorded.
    m_deviceLinked = connected;
    m_p.desk.setWindowEnabled(connected);
    if (connected) {
        refreshTitle();
        return;
    }
    m_p.messages.showMessage(QStringLiteral("Dorvane연결에 실패 했습니다") +
                                 QStringLiteral("\r\n") +
                                 QStringLiteral("연결을 확인해주시기 바랍니다"),
                             QStringLiteral("Dorvane2연결실패"), MessageIcon::Critical);
    m_p.desk.setWindowTitle(
        QStringLiteral("Dorvane연결에 실패했습니다. 트레이에서 프로그램을 종료하시고 "
                       "Dorvane을 연결해주십시오"));
}

void CallController::DataArrival(int index, const QString& text)
{
    const QString received = text;
    m_p.socket.SocketAcknowledge(index);
    callerNumber(HostUtils::PhoneDigits(received), true);
}

void CallController::callerNumber(const QString& digits, bool fromFeed)
{
    // Longer than a phone number box holds is no phone number: it would fail
    // the new customer's row on a server that enforces the column's length.
    if (digits.size() > CustomerPanel::maxLength(CustomerPanel::txtPhoneNo1))
        return;
    if (fromFeed)
        m_feedNumber = digits;
    const CallPtr call = m_line;
    // The number is news only to a call that is ringing or being answered;
    // with none, a feed number waits a little for the ring it announces.
    if (!call || (call->stage() != Stage::Ringing && call->stage() != Stage::Answering)) {
        if (fromFeed)
            m_pendingNumber.start();
        return;
    }
    // The line's own number stands in only until the feed has spoken.
    if (!fromFeed && call->numberFromFeed)
        return;
    if (fromFeed)
        m_pendingNumber.invalidate();
    call->CallerNumber = digits;
    call->numberFromFeed = call->numberFromFeed || fromFeed;
    if (m_p.windows.isWindowOpen(kSmallCall))
        emit callerIdLabel(call, call->CallerNumber);
}

void CallController::cmdStartPhoneNO1_Click()
{
    dialBox(CustomerPanel::txtPhoneNo1);
}

void CallController::cmdStartPhoneNO2_Click()
{
    dialBox(CustomerPanel::txtPhoneNo2);
}

void CallController::dialBox(CustomerPanel::Field box)
{
    const QString number = m_p.panel.value(box);
    if (number.isEmpty()) {
        m_p.messages.showMessage(QStringLiteral("고객전화번호는 반드시 입력되어야 합니다"),
                                 QStringLiteral("필수정보오류"), MessageIcon::Information);
        return;
    }
    DialNumber(number);
}

void CallController::DialNumber(const QString& number)
{
    // A dial the device never answered gives way to a new one; a line with
    // a caller on it is not dialled over.
    if (m_line && m_line->stage() != Stage::Dialling)
        return;
    const Session& s = m_p.session;
    QString digits = HostUtils::PhoneDigits(number);
    m_p.panel.setValue(CustomerPanel::lblTelNO, number);
    const CallPtr call = Call::outbound();
    call->DialledNumber = digits;
    QString prefix = s.LineLongCd;
    if (digits.left(2) == s.LandCode) {
        digits = digits.mid(2);
        prefix = s.LineAreaCd;
    }
    if (m_line)
        fire(m_line, Event::Redialled);
    m_line = call;
    m_p.device.TakeLine();
    m_p.device.Dial(u',' + prefix + u',' + digits);
    if (m_p.panel.kind() != CustSelectKind::E)
        m_p.panel.setKind(CustSelectKind::D);
    // The customer on the panel is the one dialled: from now on it is the call's.
    call->customer = m_p.panel.record();
    m_p.panel.setHeld(true);
}

QString CallController::callNumber(const Call& call) const
{
    if (!call.DialledNumber.isEmpty())
        return call.DialledNumber;
    const QString& shown = call.customer[CustomerPanel::lblTelNO];
    return shown.isEmpty() ? call.customer[CustomerPanel::txtPhoneNo1] : shown;
}

void CallController::saveTypedCustomer(Call& call)
{
    call.customerSaved = true;
    if (call.registering)
        return; // saved when the key comes

    const QString number = callNumber(call);
    const bool saved = m_p.customers.saveCallCustomer(call.customer, call.RecFileName, number);
    RecRow row;
    row.Name = call.customer[CustomerPanel::txtCustName];
    row.JuminNo = call.customer[CustomerPanel::txtCustSocialID];
    row.R_Tel = number;
    row.R_Path = call.RecFileName;
    m_p.records.AddToLocalDB(QStringLiteral("Inbound"), row);
    if (saved)
        m_p.records.setCustomerNumbers(call.RecFileName, call.customer[CustomerPanel::txtPhoneNo1],
                                       call.customer[CustomerPanel::txtPhoneNo2]);
}

void CallController::cmdStopCall_Click()
{
    const CallPtr call = m_line;
    if (call && call->stage() == Stage::Connected && call->customer.isNew())
        saveTypedCustomer(*call);
    m_p.device.HangUp();
}

void CallController::offerUnsavedResults()
{
    const Session& s = m_p.session;
    // Offered in the order of the rows, once every one has its customer: a
    // result is never asked for before the call knows whom it was with.
    struct Batch
    {
        QList<CallPtr> calls;
        int reading = 1; // the loop itself, then each read
    };
    const auto batch = std::make_shared<Batch>();
    const auto done = [this, batch] {
        if (--batch->reading > 0)
            return;
        m_released.append(batch->calls);
        nextResult();
    };
    for (const RecRow& row : m_p.records.unsaved(s.BranchID, s.AgentID)) {
        const CallPtr call = Call::unsaved(row.RecBound == recBound(CallDirection::Inbound));
        call->RecFileName = row.R_Path;
        call->RecFilePath = row.FileFullPath;
        (call->InboundCall ? call->CallerNumber : call->DialledNumber) = row.R_Tel;
        const QDateTime start =
            QDateTime::fromString(row.R_Date + row.R_StartTime, QStringLiteral("yyyyMMddHHmmss"));
        call->CallStartTime = start.toString(kServerTimeFormat);
        // Cut off mid-call, the rows have no length: they end where the voice file does.
        const bool cutOff = row.R_Time.isEmpty();
        const QString end = start
                                .addSecs(cutOff ? RecordingReconciliation::secondsOf(
                                                      QFileInfo(row.FileFullPath).size())
                                                : row.R_Time.toInt())
                                .toString(kServerTimeFormat);
        if (cutOff) {
            m_p.recorder.StopRecording(*call, end);
        } else {
            call->CallEndTime = end;
            call->CallDuration = row.R_Time;
        }
        batch->calls.append(call);
        if (!row.CustID.isEmpty()) {
            ++batch->reading;
            m_p.customers.readCallCustomer(row.CustID, this, call->customer,
                                           [call, done](const CustomerRecord* customer) {
                                               if (customer)
                                                   call->customer = *customer;
                                               done();
                                           });
        }
    }
    done();
}

void CallController::programEnding()
{
    m_p.session.ending = true;
    for (const CallPtr& call : openCalls())
        fire(call, Event::Quit);
}
