#include "telephony/CallController.h"

#include "foundation/Database.h"
#include "foundation/HostUtils.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "login/AgentStatus.h"
#include "platform/DorvanePlus.h"
#include "platform/OrvelServerSocket.h"
#include "telephony/CallRecorder.h"
#include "telephony/CallState.h"
#include "telephony/CustomerDesk.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"

namespace {
const QString kSmallCall = QStringLiteral("인바운드");
const QString kCallerId = QStringLiteral("고객선택");
const QString kCallResult = QStringLiteral("통화결과입력");
} // namespace

CallController::CallController(const Parts& parts, QObject* parent) : QObject(parent), m_p(parts)
{
    connect(&m_p.device, &DorvanePlus::RingChanged, this, &CallController::RingChanged);
    connect(&m_p.device, &DorvanePlus::HookChanged, this, &CallController::HookChanged);
    connect(&m_p.device, &DorvanePlus::DeviceLinkChanged, this, &CallController::DeviceLinkChanged);
    connect(&m_p.socket, &OrvelServerSocket::DataArrival, this, &CallController::DataArrival);
}

void CallController::openDevices(quint16 feedPort)
{
    if (!m_p.device.OpenDevice())
        m_p.messages.showMessage(QStringLiteral("Cannot Create Dorvane device"), QString(),
                                 MessageIcon::None);
    m_p.socket.ListenPort(feedPort);
}

void CallController::refreshTitle()
{
    m_p.desk.setWindowTitle(m_p.status.windowTitle());
}

void CallController::RingChanged(int BellFlag)
{
    CallState& call = m_p.call;
    if (BellFlag == 1) {
        call.InboundCall = true;
        call.CallPending = true;
        if (!m_p.windows.isWindowOpen(kSmallCall)) {
            call.CallDirection = QStringLiteral("I");
            m_p.windows.showModal(Window::SmallCall);
        }
    } else {
        call.InboundCall = false;
        call.CallPending = false;
        // The caller gave up before the line was taken: the answer dialog
        // has nothing left to answer.
        m_p.windows.closeWindow(Window::SmallCall);
    }
}

void CallController::HookChanged(int HookFlag)
{
    CallState& call = m_p.call;
    if (!call.HookEventSeen) {
        call.HookEventSeen = true;
        return;
    }
    if (!call.CallPending)
        return;
    if (HookFlag == 3) {
        if (!call.InboundCall) {
            if (call.CustSelectKind == QStringLiteral("E")) {
                m_p.panel.SetCustInfoValuables(QStringLiteral("1"));
                m_p.customers.SetRegisterInboundCutomer(QStringLiteral("99998"),
                                                        QStringLiteral("2"));
            }
        } else {
            if (m_p.windows.isWindowOpen(kCallerId))
                return;
            call.CallDirection = QStringLiteral("I");
            m_p.windows.showModal(Window::CallerId);
            if (call.CustSelectKind == QStringLiteral("A")) {
                m_p.panel.setValue(QStringLiteral("txtPhoneNo1"), call.CallerNumber);
                m_p.panel.SetCustInfoValuables(QStringLiteral("1"));
                m_p.customers.SetRegisterInboundCutomer(QStringLiteral("99999"),
                                                        QStringLiteral("3"));
            }
        }
        startCall();
    } else if (HookFlag == 1) {
        endCall();
    }
}

void CallController::startCall()
{
    m_p.desk.SetButtonState(QStringLiteral("StartCall"));
    m_p.recorder.StartRecording(m_p.db.GetNowDate());
    m_p.status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("1"));
}

void CallController::endCall()
{
    if (m_p.windows.isWindowOpen(kCallResult))
        return;
    CallState& call = m_p.call;
    m_p.recorder.StopRecording(m_p.db.GetNowDate());
    m_p.windows.showModal(Window::CallResult);
    m_p.upload.UploadRecording(m_p.ftp, call, call.RecFileName, call.CallResultCode);
    m_p.status.SetLoginANDStatus(QStringLiteral("1"), QStringLiteral("0"));
    m_p.desk.SetButtonState(QStringLiteral("StopCall"));
    m_p.panel.clearCustInfoValuables();
    call.clearGlobalValuables();
    m_p.panel.SetCustInfoValuables(QStringLiteral("0"));
    m_p.customers.searchCustomers();
    if (m_p.session.AgentPrivilege == QStringLiteral("11"))
        m_p.desk.SetButtonState(QStringLiteral("Agent_1"));
    refreshTitle();
}

void CallController::DeviceLinkChanged(bool connected)
{
    if (connected) {
        m_p.desk.setWindowEnabled(true);
        refreshTitle();
        return;
    }
    m_p.desk.setWindowEnabled(false);
    m_p.recorder.closeOnDeviceLoss(m_p.db.GetNowDate());
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
    m_p.call.CallerNumber = HostUtils::PhoneDigits(received);
    if (m_p.windows.isWindowOpen(kSmallCall))
        emit callerIdLabel(m_p.call.CallerNumber);
}

void CallController::cmdStartPhoneNO1_Click()
{
    dialBox(QStringLiteral("txtPhoneNo1"));
}

void CallController::cmdStartPhoneNO2_Click()
{
    dialBox(QStringLiteral("txtPhoneNo2"));
}

void CallController::dialBox(const QString& boxName)
{
    const QString number = m_p.panel.value(boxName);
    if (number.isEmpty()) {
        m_p.messages.showMessage(QStringLiteral("고객전화번호는 반드시 입력되어야 합니다"),
                                 QStringLiteral("필수정보오류"), MessageIcon::Information);
        return;
    }
    DialNumber(number);
}

void CallController::DialNumber(const QString& number)
{
    CallState& call = m_p.call;
    const Session& s = m_p.session;
    QString digits = HostUtils::PhoneDigits(number);
    m_p.panel.setValue(QStringLiteral("lblTelNO"), number);
    call.DialledNumber = digits;
    QString prefix = s.LineLongCd;
    if (digits.left(2) == s.LandCode) {
        digits = digits.mid(2);
        prefix = s.LineAreaCd;
    }
    m_p.device.TakeLine();
    m_p.device.Dial(u',' + prefix + u',' + digits);
    if (call.CustSelectKind != QStringLiteral("E"))
        call.CustSelectKind = QStringLiteral("D");
    call.CallPending = true;
    call.InboundCall = false;
    call.CallDirection = QStringLiteral("O");
}

void CallController::cmdStopCall_Click()
{
    const CallState& call = m_p.call;
    QString number = call.DialledNumber;
    if (number.isEmpty())
        number = m_p.panel.value(QStringLiteral("lblTelNO"));
    if (number.isEmpty())
        number = m_p.panel.value(QStringLiteral("txtPhoneNo1"));
    if (call.CustSelectKind == QStringLiteral("E") || call.CustSelectKind == QStringLiteral("A")) {
        m_p.customers.saveCallCustomer(call.RecFileName, number);
        RecRow row;
        row.Name = m_p.panel.value(QStringLiteral("txtCustName"));
        row.JuminNo = m_p.panel.value(QStringLiteral("txtCustSocialID"));
        row.R_Tel = number;
        row.R_Path = call.RecFileName;
        m_p.records.AddToLocalDB(QStringLiteral("Inbound"), row);
    }
    m_p.device.HangUp();
}
