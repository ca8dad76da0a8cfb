#pragma once

#include <memory>
#include <optional>
#include <QString>

#include "telephony/CustomerRecord.h"
#include "telephony/ResultCode.h"

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

// One call, from its ring or dial until its result is saved and its voice
// file sent. Every window, recording, row write and upload holds the call it
// was opened for, and the call holds what was chosen for it, so a call that
// rings while the previous one is still being written up never shares a
// value with it.
//
// Its stage changes in one place only, on(), by the table of transitions in
// Call.cpp: an event that does not apply to the stage the call is in does
// nothing to it.
class Call
{
public:
    enum class Stage
    {
        Ringing,   // inbound, the line not taken yet
        Dialling,  // outbound, the line not reported taken yet
        Answering, // inbound, off-hook, the caller-ID window open
        Connected, // recording
        Released,  // the line is free; waiting for its result window
        WrapUp,    // its result window is open
        Uploading, // result saved (or the window closed), the voice file on its way
        Finished,  // done: rows complete, upload tried
        Dropped,   // ended before it was connected: nothing recorded
        Ended      // the program quit while it was connected: recording closed
    };
    enum class Event
    {
        RingStopped,    // the ring ended before the line was taken
        OffHook,        // the line reported taken
        OnHook,         // the line reported released
        Redialled,      // another dial replaced this one before the line was taken
        CallerIdClosed, // the caller-ID window closed, with a pick or without
        ResultTurn,     // the result window is free for it
        ResultClosed,   // its result window closed, saved or not
        Uploaded,       // its upload ended, the file stored or not
        Quit            // the program quits
    };
    // What the desk does for a transition.
    enum class Action
    {
        None,
        CloseSmallCall, // the ring is gone: "인바운드" closes
        OpenCallerId,   // "고객선택" for the caller
        CloseCallerId,  // the caller is gone before the pick
        StartCall,      // register a new customer if need be, start recording
        ReleaseLine,    // stop recording, complete the rows, queue the result
        OpenResult,     // "통화결과입력" for it
        Upload,         // send its voice file
        Finish,         // the desk goes back to idle unless a newer call holds it
        EndOnQuit       // close the voice file and the rows; nothing else is written
    };

    static std::shared_ptr<Call> inbound();
    static std::shared_ptr<Call> outbound();
    // A call of an earlier run whose result was never saved, released and
    // waiting for its result window.
    static std::shared_ptr<Call> unsaved(bool inbound);

    Stage stage() const { return m_stage; }
    // Applies the event: the action the desk takes for it, or nothing when
    // the event does not apply to the call's stage.
    std::optional<Action> on(Event event);

    // On the line: its device events still belong to it.
    bool onLine() const { return m_stage < Stage::Released; }
    // The desk (buttons, customer panel) works for it.
    bool holdsDesk() const { return m_stage != Stage::Ringing && onLine(); }

    bool InboundCall = false;
    QString CallerNumber;
    // The number came over the caller feed, which wins over the line's own.
    bool numberFromFeed = false;
    QString DialledNumber;
    ::CallDirection CallDirection = ::CallDirection::None;
    QString CallStartTime, CallEndTime, CallDuration;
    QString RecFileName, RecFilePath;
    // The customer chosen for the call: its ID, kind and details (for a new
    // one, what the agent typed), and the number shown in lblTelNO.
    CustomerRecord customer;
    // The typed details of a new customer are stored once per call.
    bool customerSaved = false;
    // A new customer's registration is on its way: the typed details and the
    // result wait for its key.
    bool registering = false;
    // The result the agent saved; empty when the window closed without one.
    // Saved: it reached the local or the central row; one in neither is asked
    // for again at the next login.
    ResultCode result;
    bool resultSaved = false;

private:
    explicit Call(Stage start) : m_stage(start) {}

    Stage m_stage;
};

using CallPtr = std::shared_ptr<Call>;
