#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// One way of reaching the agent's telephone line: the line simulator's
// client, or an extension of the branch's SIP telephone system. The device
// control (DorvanePlus) stands in front of it; nothing else of the program
// knows which back end runs. A back end never waits: open() starts the work
// and opened() reports it, every other report comes when the line changes.
// Reports may be emitted from inside the call that caused them; the device
// control delivers them to the program later, from the event loop.
class LineBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts reaching the line; opened() follows once. Whatever it says, the
    // back end keeps trying in the background and reports each link change.
    virtual void open() = 0;
    // A call exists or the line is taken.
    virtual bool isLineBusy() const = 0;
    virtual void takeLine() = 0;
    virtual void dial(const QString& dialString) = 0;
    virtual void hangUp() = 0;

signals:
    void opened(bool ok);
    // 1 = ringing, 0 = the ring ended.
    void ringChanged(int bell);
    // 3 = line taken, 1 = line released.
    void hookChanged(int hook);
    void linkChanged(bool up);
    // The line's sound while a call is on it: 8 kHz s16le mono, 20 ms frames,
    // both directions mixed.
    void audio(const QByteArray& pcm);
    // The caller's number as the line itself knows it (a SIP INVITE's);
    // the simulator's line has none.
    void callerNumber(const QString& number);
};
