#pragma once

#include <QDate>
#include <QObject>

#include "customers/CallResult.h"
#include "customers/CustomerSide.h"
#include "histories/CallHistory.h"
#include "histories/LocalRecordings.h"
#include "histories/RecordingHistory.h"
#include "histories/RecordingPlayer.h"
#include "line/DorvanePlus.h"
#include "login/AgentStatus.h"
#include "login/LoginProcedure.h"
#include "platform/FtpWorker.h"
#include "platform/OrvelMedia.h"
#include "platform/OrvelServerSocket.h"
#include "platform/SpreadModel.h"
#include "shell/LocalFileRotation.h"
#include "shell/TrayMenu.h"
#include "telephony/BulkUpload.h"
#include "telephony/CallController.h"
#include "telephony/CallRecorder.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "telephony/RecordingReconciliation.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"
#include "telephony/WorkCounters.h"

class Database;
class ErrorLog;
class MessageSink;
class WindowOpener;
struct Session;

// The agent's desk without its windows: every logic object of one run,
// built and wired once. The program builds one over its message boxes and
// windows; each test builds one over recorders, on a program folder of its own.
class Desk
{
public:
    // What the desk is given: the run's session, its connection slots and
    // error log, and the two ways the logic reaches a person.
    struct Seams
    {
        Session& session;
        Database& db;
        ErrorLog& errors;
        MessageSink& messages;
        WindowOpener& windows;
    };

    explicit Desk(const Seams& seams);
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // What the main window's start-up leaves for the window to show.
    struct StartUp
    {
        QDate today; // by the server's clock
        QList<AgentComboItem> agents;
        bool campaignPage = true; // reception agents have none
    };
    // The main window's start-up but for its controls: the device and the
    // caller feed, today, the grids laid out, the status, campaign and agent
    // lists read, the boxes read-only, a reception agent's buttons off.
    StartUp startUp();
    // What a call's result window saves through.
    CallResult::Parts resultParts();

    Session& session;
    Database& db;
    ErrorLog& errors;
    MessageSink& messages;
    WindowOpener& windows;

    AgentStatus status;
    LoginProcedure login;
    CustomerPanel panel;
    DeskControls controls;
    SpreadModel custList{41};
    DorvanePlus device;
    OrvelServerSocket socket;
    // FtpCientOCX1: playback fetches.
    FtpWorker ftp;
    // The end-of-call uploads, on a control of their own.
    FtpWorker uploadFtp;
    OrvelMedia media;
    RecordingRecords records;
    CallRecorder recorder;
    RecordingUpload upload;
    RecordingReconciliation reconciliation;
    // The login's check and upload, on the bulk-upload window's control.
    BulkUpload bulkUpload;
    WorkCounters counters;
    CustomerSide customers;
    CallController calls;
    RecordingPlayer player;
    LocalRecordings localRecordings;
    RecordingHistory recordingHistory;
    CallHistory callHistory;
    LocalFileRotation rotation;
    TrayMenu trayMenu;
};
