#include "telephony/CallController.h"

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
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"

namespace {
const QString kSmallCall = QStringLiteral("인바운드");
const QString kCallerId = QStringLiteral("고객선택");
} // namespace

CallController::CallController(const Parts& parts, QObject* parent) : QObject(parent), m_p(parts)
{
    connect(&m_p.device, &DorvanePlus::RingChanged, this, &CallController::RingChanged);
    connect(&m_p.device, &DorvanePlus::HookChanged, this, &CallController::HookChanged);
    connect(&m_p.device, &DorvanePlus::DeviceLinkChanged, this, &CallController::DeviceLinkChanged);
    connect(&m_p.socket, &OrvelServerSocket::DataArrival, this, &CallController::DataArrival);
    connect(&m_p.device, &DorvanePlus::DeviceOpened, this, [this](bool ok) {
        if (ok)
            return;
        m_p.messages.showMessage(QStringLiteral("Cannot Create Dorvane device"), QString(),
                                 MessageIcon::None);
        // An absent device is a lost one: no dialling into nothing, and the
        // desk comes alive when the device appears (its link-up).
        DeviceLinkChanged(false);
    });
}

void CallController::openDevices(quint16 feedPort)
{
    m_p.device.OpenDevice();
    m_p.socket.ListenPort(feedPort);
}

void CallController::refreshTitle()
{
    if (m_deviceLinked)
        m_p.desk.setWindowTitle(m_p.status.windowTitle());
}

bool CallController::still(const CallPtr& call, Call::Stage stage) const
{
    return !m_p.session.ending && call->stage == stage;
}

bool CallController::deskBusy() const
{
    return m_line && m_line->holdsDesk();
}

CallPtr CallController::callForCallerId() const
{
    if (m_line && m_line->InboundCall && m_line->onLine())
        return m_line;
    auto call = std::make_shared<Call>();
    call->CallerNumber = m_feedNumber;
    return call;
}

void CallController::RingChanged(int BellFlag)
{
    if (BellFlag != int(DorvanePlus::BellFlag::Ringing)) {
        // The caller gave up before the line was taken: the answer dialog
        // has nothing left to answer. A connected call is not touched.
        if (m_line && m_line->stage == Call::Stage::Ringing) {
            dropCall(m_line);
            m_p.windows.closeWindow(Window::SmallCall);
        }
        return;
    }
    if (m_line && m_line->stage != Call::Stage::Ringing)
        return; // the line is in use: no new call can ring on it
    if (!m_line) {
        m_line = std::make_shared<Call>();
        m_line->InboundCall = true;
        // A number the feed delivered just before the ring is this caller's.
        if (m_pendingNumber.isValid() && m_pendingNumber.elapsed() < kFeedNumberMs)
            m_line->CallerNumber = m_feedNumber;
        m_pendingNumber.invalidate();
    }
    const CallPtr call = m_line;
    if (!m_p.windows.isWindowOpen(kSmallCall)) {
        call->CallDirection = CallDirection::Inbound;
        m_p.windows.showModal(Window::SmallCall, call);
    }
}

void CallController::HookChanged(int HookFlag)
{
    if (!m_hookEventSeen) {
        m_hookEventSeen = true;
        return;
    }
    const CallPtr call = m_line;
    if (!call)
        return;
    if (HookFlag == int(DorvanePlus::HookFlag::OffHook)) {
        if (call->stage == Call::Stage::Ringing) {
            answer(call);
        } else if (call->stage == Call::Stage::Dialling) {
            if (call->CustSelectKind == CustSelectKind::E) {
                m_p.panel.SetCustInfoValuables(QStringLiteral("1"));
                m_p.customers.SetRegisterInboundCutomer(QStringLiteral("99998"),
                                                        QStringLiteral("2"), call->CallerNumber);
            }
            if (still(call, Call::Stage::Dialling))
                startCall(call);
        }
    } else if (HookFlag == int(DorvanePlus::HookFlag::OnHook)) {
        switch (call->stage) {
        case Call::Stage::Connected:
            lineReleased(call);
            break;
        case Call::Stage::Answering:
            // Gone before the agent picked: no recording, the window closes.
            dropCall(call);
            m_p.windows.closeWindow(Window::CallerId);
            break;
        case Call::Stage::Dialling:
            dropCall(call);
            break;
        default:
            break;
        }
    }
}

void CallController::answer(const CallPtr& call)
{
    // The handset taken while "인바운드" is open answers as its button does.
    m_p.windows.closeWindow(Window::SmallCall);
    // A caller-ID window opened from the tray gives way to this call's.
    if (m_p.windows.isWindowOpen(kCallerId))
        m_p.windows.closeWindow(Window::CallerId);
    call->stage = Call::Stage::Answering;
    call->CallDirection = CallDirection::Inbound;
    m_p.windows.showModal(Window::CallerId, call);
    if (!still(call, Call::Stage::Answering)) {
        // The caller hung up (or the device went) while the window was open.
        // A customer the pick loaded belongs to no call: the desk is idle again.
        if (!m_p.session.ending && call->CustSelectKind != CustSelectKind::None && !deskBusy()) {
            m_p.panel.clearCustInfoValuables();
            m_p.panel.CustSelectKind = CustSelectKind::None;
            m_p.panel.SetCustInfoValuables(QStringLiteral("0"));
        }
        return;
    }
    if (call->CustSelectKind == CustSelectKind::A) {
        m_p.panel.setValue(CustomerPanel::txtPhoneNo1, call->CallerNumber);
        m_p.panel.SetCustInfoValuables(QStringLiteral("1"));
        m_p.customers.SetRegisterInboundCutomer(QStringLiteral("99999"), QStringLiteral("3"),
                                                call->CallerNumber);
        if (!still(call, Call::Stage::Answering))
            return;
    }
    startCall(call);
}

void CallController::startCall(const CallPtr& call)
{
    call->stage = Call::Stage::Connected;
    m_p.desk.SetButtonState(DeskControls::ButtonMode::StartCall);
    const QString now = m_p.db.GetNowDate();
    if (!still(call, Call::Stage::Connected))
        return;
    m_p.recorder.StartRecording(*call, now);
    if (!still(call, Call::Stage::Connected))
        return;
    m_p.status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("1"));
}

void CallController::lineReleased(const CallPtr& call)
{
    m_line.reset();
    call->stage = Call::Stage::Released;
    // The voice file ends with the line, before anything can wait.
    m_p.recorder.stopMedia(*call);
    m_p.recorder.StopRecording(*call, m_p.db.GetNowDate());
    if (m_p.session.ending)
        return;
    // A new customer's typed details are kept however the call ended.
    if (call->newCustomer() && !call->customerSaved)
        saveTypedCustomer(*call);
    call->CustID = m_p.panel.value(CustomerPanel::txtCustID);
    m_released.append(call);
    wrapUp();
}

void CallController::wrapUp()
{
    // One result window at a time: a call released meanwhile waits its turn
    // here and is never skipped.
    if (m_wrappingUp)
        return;
    m_wrappingUp = true;
    while (!m_released.isEmpty()) {
        const CallPtr call = m_released.takeFirst();
        m_p.windows.showModal(Window::CallResult, call);
        if (m_p.session.ending)
            return;
        m_p.upload.UploadRecording(m_p.ftp, *call);
        if (m_p.session.ending)
            return;
        call->stage = Call::Stage::Finished;
        resetDesk();
        if (m_p.session.ending)
            return;
    }
    m_wrappingUp = false;
}

void CallController::resetDesk()
{
    // A call answered meanwhile owns the buttons, the panel and the agent's
    // busy flag; only the statistics in the title are news.
    if (!deskBusy()) {
        m_p.status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("0"));
        if (m_p.session.ending || deskBusy())
            return;
        m_p.desk.SetButtonState(DeskControls::ButtonMode::StopCall);
        m_p.panel.clearCustInfoValuables();
        m_p.panel.CustSelectKind = CustSelectKind::None;
        m_p.panel.SetCustInfoValuables(QStringLiteral("0"));
        m_p.customers.searchCustomers();
        if (m_p.session.ending || deskBusy())
            return;
        if (m_p.session.isReception())
            m_p.desk.SetButtonState(DeskControls::ButtonMode::Agent_1);
    }
    refreshTitle();
}

void CallController::dropCall(const CallPtr& call)
{
    call->stage = Call::Stage::Dropped;
    if (m_line == call)
        m_line.reset();
}

void CallController::DeviceLinkChanged(bool connected)
{
    m_deviceLinked = connected;
    if (connected) {
        m_p.desk.setWindowEnabled(true);
        refreshTitle();
        return;
    }
    m_p.desk.setWindowEnabled(false);
    if (const CallPtr call = m_line) {
        switch (call->stage) {
        case Call::Stage::Connected:
            // The voice file is closed and the rows get their end now; the
            // call itself ends when the line is reported released.
            m_p.recorder.stopMedia(*call);
            m_p.recorder.closeOnDeviceLoss(*call, m_p.db.GetNowDate());
            break;
        case Call::Stage::Answering:
            // Nothing can be recorded without the device.
            dropCall(call);
            m_p.windows.closeWindow(Window::CallerId);
            break;
        default:
            dropCall(call);
            m_p.windows.closeWindow(Window::SmallCall);
            break;
        }
    }
    m_p.messages.showMessage(QStringLiteral("Dorvane연결에 실패 했습니다") +
                                 QStringLiteral("\r\n") +
                                 QStringLiteral("연결을 확인해주시기 바랍니다"),
                             QStringLiteral("Dorvane2연결실패"), MessageIcon::Critical);
    if (m_deviceLinked)
        return; // back while the message was open
    m_p.desk.setWindowTitle(
        QStringLiteral("Dorvane연결에 실패했습니다. 트레이에서 프로그램을 종료하시고 "
                       "Dorvane을 연결해주십시오"));
}

void CallController::DataArrival(int index, const QString& text)
{
    const QString received = text;
    m_p.socket.SocketAcknowledge(index);
    const QString digits = HostUtils::PhoneDigits(received);
    // Longer than a phone number box holds is no phone number: it would fail
    // the new customer's row on a server that enforces the column's length.
    if (digits.size() > CustomerPanel::maxLength(CustomerPanel::txtPhoneNo1))
        return;
    m_feedNumber = digits;
    const CallPtr call = m_line;
    // The number is news only to a call that is ringing or being answered;
    // with none, it waits a little for the ring it announces.
    if (!call || (call->stage != Call::Stage::Ringing && call->stage != Call::Stage::Answering)) {
        m_pendingNumber.start();
        return;
    }
    m_pendingNumber.invalidate();
    call->CallerNumber = m_feedNumber;
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
    if (m_line && m_line->stage != Call::Stage::Dialling)
        return;
    const Session& s = m_p.session;
    auto call = std::make_shared<Call>();
    call->stage = Call::Stage::Dialling;
    QString digits = HostUtils::PhoneDigits(number);
    m_p.panel.setValue(CustomerPanel::lblTelNO, number);
    call->DialledNumber = digits;
    QString prefix = s.LineLongCd;
    if (digits.left(2) == s.LandCode) {
        digits = digits.mid(2);
        prefix = s.LineAreaCd;
    }
    if (m_line)
        dropCall(m_line);
    m_line = call;
    m_p.device.TakeLine();
    m_p.device.Dial(u',' + prefix + u',' + digits);
    if (m_p.panel.CustSelectKind != CustSelectKind::E)
        m_p.panel.CustSelectKind = CustSelectKind::D;
    call->CustSelectKind = m_p.panel.CustSelectKind;
    call->InboundCall = false;
    call->CallDirection = CallDirection::Outbound;
}

QString CallController::callNumber(const Call& call) const
{
    if (!call.DialledNumber.isEmpty())
        return call.DialledNumber;
    const QString shown = m_p.panel.value(CustomerPanel::lblTelNO);
    return shown.isEmpty() ? m_p.panel.value(CustomerPanel::txtPhoneNo1) : shown;
}

void CallController::saveTypedCustomer(Call& call)
{
    call.customerSaved = true;
    const QString number = callNumber(call);
    const bool saved = m_p.customers.saveCallCustomer(call.RecFileName, number);
    if (m_p.session.ending)
        return;
    RecRow row;
    row.Name = m_p.panel.value(CustomerPanel::txtCustName);
    row.JuminNo = m_p.panel.value(CustomerPanel::txtCustSocialID);
    row.R_Tel = number;
    row.R_Path = call.RecFileName;
    m_p.records.AddToLocalDB(QStringLiteral("Inbound"), row);
    if (saved)
        m_p.records.setCustomerNumbers(call.RecFileName,
                                       m_p.panel.value(CustomerPanel::txtPhoneNo1),
                                       m_p.panel.value(CustomerPanel::txtPhoneNo2));
}

void CallController::cmdStopCall_Click()
{
    const CallPtr call = m_line;
    if (call && call->stage == Call::Stage::Connected && call->newCustomer())
        saveTypedCustomer(*call);
    m_p.device.HangUp();
}

void CallController::programEnding()
{
    m_p.session.ending = true;
    const CallPtr call = m_line;
    if (!call || call->stage != Call::Stage::Connected)
        return;
    m_p.recorder.stopMedia(*call);
    m_p.recorder.StopRecording(*call, m_p.db.GetNowDate());
}
