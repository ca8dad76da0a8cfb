#pragma once

#include <memory>
#include <QString>

// One call, from its ring or dial until its result is saved. Every window,
// recording, row write and upload holds the call it was opened for, so a
// call that rings while the previous one is still being written up never
// shares a value with it.
struct Call
{
    enum class Stage
    {
        Ringing,   // inbound, the line not taken yet
        Dialling,  // outbound, the line not reported taken yet
        Answering, // inbound, off-hook, the caller-ID window open
        Connected, // recording
        Released,  // the line is free; the result is being written up
        Finished,  // result saved and upload tried
        Dropped    // ended before it was connected: nothing recorded
    };

    Stage stage = Stage::Ringing;
    bool InboundCall = false;
    QString CallerNumber;
    // "A" unknown caller, "B" own customer, "C" another agent's, "D" opened
    // from the list or dialled, "E" typed in before dialling.
    QString CustSelectKind;
    QString DialledNumber;
    QString CallDirection;
    QString CallStartTime, CallEndTime, CallDuration;
    QString CallResultCode;
    QString RecFileName, RecFilePath;
    // The customer the result is filed for, taken from the panel when the
    // line is released (a later call may load another customer meanwhile).
    QString CustID;
    // The typed details of a new customer are stored once per call.
    bool customerSaved = false;

    // On the line: its events still belong to it.
    bool onLine() const { return stage < Stage::Released; }
    // The desk (buttons, customer panel) works for it.
    bool holdsDesk() const { return stage != Stage::Ringing && onLine(); }
};

using CallPtr = std::shared_ptr<Call>;
