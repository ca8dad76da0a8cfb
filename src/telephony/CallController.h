#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include "foundation/Seams.h"
#include "telephony/Call.h"
#include "telephony/CallerFeedPort.h"
#include "telephony/CustomerPanel.h"

struct Session;
class AgentStatus;
class CallRecorder;
class CustomerDesk;
class Database;
class DeskControls;
class DorvanePlus;
class FtpWorker;
class MessageSink;
class OrvelServerSocket;
class RecordingRecords;
class RecordingUpload;

// The call state machine of the one line: device events, the windows'
// answers and the call buttons of the main window turn into calls,
// recordings and uploads.
//
// Each call is an object of its own whose stage changes only through its
// transition table (Call::on); this class turns what happens into events for
// the call it belongs to and carries out the actions the table names. The
// line holds at most one call at a time (ringing, dialling or connected);
// released calls wait in turn for their result window, and their uploads run
// in the background, so a new call can ring, be answered and be recorded
// while earlier ones are still being written up. Nothing here waits: a
// window opens and its closing comes back as an event, an upload reports
// when it is done.
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
        // The end-of-call uploads' own FTP control: a playback fetch can
        // never make them wait.
        FtpWorker& uploads;
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
    ~CallController() override;

    // The device and the caller feed, as the main window opens.
    void openDevices(quint16 feedPort = 8400);
    CallerFeedPort& feed() { return m_feed; }
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

    // The caller-ID window chose the customer of its call: the panel shows
    // it when that call holds the desk, or, for a window opened outside a
    // call, when no call does.
    void customerChosen(const CallPtr& call);

    // The calls of earlier runs whose result was never saved (the program
    // killed, the power lost): their result windows, one after another.
    void offerUnsavedResults();

    // The program quits: a connected call's voice file and both rows are
    // closed now, and nothing that resumes afterwards writes anything.
    void programEnding();

    bool HookEventSeen() const { return m_hookEventSeen; }
    // The call on the line, if any.
    CallPtr lineCall() const { return m_line; }
    // Every call not finished yet: the line's and those being written up.
    QList<CallPtr> openCalls() const;
    // What a caller-ID window opened outside a call looks up: the ringing
    // call, or the feed's last number.
    CallPtr callForCallerId() const;

signals:
    // A caller number for the caller-ID window's label, while "인바운드" is open.
    void callerIdLabel(const CallPtr& call, const QString& number);

private:
    // The one way an event reaches a call: its transition, then its action.
    // By value: the line may let go of the call on the way.
    void fire(CallPtr call, Call::Event event);
    void perform(const CallPtr& call, Call::Action action);
    void windowClosed(Window window, const CallPtr& call);
    void callerNumber(const QString& digits, bool fromFeed);

    void dialBox(CustomerPanel::Field box);
    void answer(const CallPtr& call);
    void startCall(const CallPtr& call);
    // A new customer's registration answered (null: it failed).
    void customerRegistered(const CallPtr& call, const CustomerRecord* registered);
    void lineReleased(const CallPtr& call);
    void nextResult();
    void upload(const CallPtr& call);
    void finish(const CallPtr& call);
    void resetDesk();
    void saveTypedCustomer(Call& call);
    QString callNumber(const Call& call) const;
    bool deskBusy() const;
    // The panel shows the call's customer and belongs to it until the desk is reset.
    void holdPanel(const Call& call);
    // Runs `then` once this desk's writes are on the branch server, at most
    // one waiting per flag.
    void afterWrites(bool& owed, std::function<void()> then);
    void showTitle();

    Parts m_p;
    CallerFeedPort m_feed;
    bool m_hookEventSeen = false;
    // A call's end found the desk held by a newer call: idle once that one goes.
    bool m_resetOwed = false;
    bool m_deviceLinked = true;
    // The title's part read from the branch server, and reads owed to it.
    QString m_title;
    bool m_titleOwed = false, m_searchOwed = false;
    CallPtr m_line;
    // Released calls waiting for their result window, oldest first, and the
    // one whose window is open.
    QList<CallPtr> m_released;
    CallPtr m_wrappingUp;
    QList<CallPtr> m_uploading;
    // The feed's last number, and since when it waits for its ring.
    QString m_feedNumber;
    QElapsedTimer m_pendingNumber;
};
