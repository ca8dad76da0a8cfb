#pragma once

#include <memory>
#include <QString>

// How the customer of a call was chosen, by the letters the call logic has
// always used for it.
enum class CustSelectKind
{
    None,
    A, // an unknown caller, registered as a new inbound customer
    B, // the agent's own customer, picked in the caller-ID window
    C, // another agent's customer, picked in the caller-ID window
    D, // a customer opened from the list, or a number dialled
    E  // a new customer typed in by the agent before dialling
};

// Which way a call went; written as "I" or "O" into the recording rows.
enum class CallDirection
{
    None,
    Inbound,
    Outbound
};

inline QString recBound(CallDirection direction)
{
    return direction == CallDirection::Inbound    ? QStringLiteral("I")
           : direction == CallDirection::Outbound ? QStringLiteral("O")
                                                  : QString();
}

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
    ::CustSelectKind CustSelectKind = ::CustSelectKind::None;
    QString DialledNumber;
    ::CallDirection CallDirection = ::CallDirection::None;
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
    // A new customer whose typed details are saved with the call.
    bool newCustomer() const
    {
        return CustSelectKind == ::CustSelectKind::A || CustSelectKind == ::CustSelectKind::E;
    }
};

using CallPtr = std::shared_ptr<Call>;
