#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include "telephony/Call.h"
#include "telephony/CustomerPanel.h"

struct Session;
class AgentStatus;
class CallRecorder;
class CustomerDesk;
class Database;
class DeskControls;
class DorvanePlus;
class FtpCientOCX;
class MessageSink;
class OrvelServerSocket;
class RecordingRecords;
class RecordingUpload;
class WindowOpener;

// The call state machine of the one line: device events and the call
// buttons of the main window turn into calls, recordings and uploads.
//
// Each call is an object of its own. The line holds at most one call at a
// time (ringing, dialling or connected); released calls wait in turn for
// their result window and upload, so a new call can ring, be answered and
// be recorded while the previous one is still being written up. Modal
// windows keep delivering events: every step that follows a wait checks
// that its call is still where it was, and that the program is not ending.
class CallController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        Session& session;
        Database& db;
        DorvanePlus& device;
        OrvelServerSocket& socket;
        // The end-of-call upload's own control: a playback fetch on the
        // desk's control can never make it wait or refuse.
        FtpCientOCX& ftp;
        CallRecorder& recorder;
        RecordingRecords& records;
        RecordingUpload& upload;
        AgentStatus& status;
        CustomerPanel& panel;
        DeskControls& desk;
        CustomerDesk& customers;
        WindowOpener& windows;
        MessageSink& messages;
    };

    // A number the feed delivers while no call rings names the caller of a
    // ring that follows within this time.
    static constexpr int kFeedNumberMs = 10000;

    explicit CallController(const Parts& parts, QObject* parent = nullptr);

    // The device and the caller feed, as the main window opens.
    void openDevices(quint16 feedPort = 8400);
    // "Brenvo-<name>-(<id>)-<statistics>", unless the device is away.
    void refreshTitle();

    void RingChanged(int BellFlag);
    void HookChanged(int HookFlag);
    void DeviceLinkChanged(bool connected);
    void DataArrival(int index, const QString& text);

    void cmdStartPhoneNO1_Click();
    void cmdStartPhoneNO2_Click();
    void cmdStopCall_Click();
    void DialNumber(const QString& number);

    // The program quits: a connected call's voice file and both rows are
    // closed now, and nothing that resumes afterwards writes anything.
    void programEnding();

    bool HookEventSeen() const { return m_hookEventSeen; }
    // The call on the line, if any.
    CallPtr lineCall() const { return m_line; }
    // What a caller-ID window opened outside a call looks up: the ringing
    // call, or the feed's last number.
    CallPtr callForCallerId() const;

signals:
    // A caller number for the caller-ID window's label, while "인바운드" is open.
    void callerIdLabel(const CallPtr& call, const QString& number);

private:
    void dialBox(CustomerPanel::Field box);
    void answer(const CallPtr& call);
    void startCall(const CallPtr& call);
    void lineReleased(const CallPtr& call);
    void dropCall(const CallPtr& call);
    void wrapUp();
    void resetDesk();
    void saveTypedCustomer(Call& call);
    QString callNumber(const Call& call) const;
    bool still(const CallPtr& call, Call::Stage stage) const;
    bool deskBusy() const;

    Parts m_p;
    bool m_hookEventSeen = false;
    bool m_deviceLinked = true;
    CallPtr m_line;
    QList<CallPtr> m_released;
    bool m_wrappingUp = false;
    // The feed's last number, and since when it waits for its ring.
    QString m_feedNumber;
    QElapsedTimer m_pendingNumber;
};
