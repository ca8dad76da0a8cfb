#pragma once

#include <QObject>
#include <QString>

struct CallState;
struct Session;
class AgentStatus;
class CallRecorder;
class CustomerDesk;
class CustomerPanel;
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
class CallController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        Session& session;
        CallState& call;
        Database& db;
        DorvanePlus& device;
        OrvelServerSocket& socket;
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

    explicit CallController(const Parts& parts, QObject* parent = nullptr);

    // The device and the caller feed, as the main window opens.
    void openDevices(quint16 feedPort = 8400);
    // "Brenvo-<name>-(<id>)-<statistics>"
    void refreshTitle();

    void RingChanged(int BellFlag);
    void HookChanged(int HookFlag);
    void DeviceLinkChanged(bool connected);
    void DataArrival(int index, const QString& text);

    void cmdStartPhoneNO1_Click();
    void cmdStartPhoneNO2_Click();
    void cmdStopCall_Click();
    void DialNumber(const QString& number);

signals:
    // A caller number for the caller-ID window's label, while "인바운드" is open.
    void callerIdLabel(const QString& number);

private:
    void dialBox(const QString& boxName);
    void startCall();
    void endCall();

    Parts m_p;
};
