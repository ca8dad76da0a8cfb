#pragma once

#include <functional>
#include <QList>
#include <QString>

// One thing that happens at the desk: the caller, the line, the agent's
// hands, the network or the clock. Whether it applies is decided when it is
// played: a button of a window that is not in front does nothing.
struct Event
{
    enum Kind
    {
        Ring,        // arg: caller
        StopRing,    // the caller gives up
        Feed,        // arg: caller whose number the feed delivers
        HandsetUp,   // the handset, or the far end answering
        HandsetDown, // either side hangs up
        Answer,      // "전화받기" of "인바운드"
        CloseSmall,  // "닫기" of "인바운드"
        Pick,        // caller-ID window, arg: Own, Other, New
        Type,        // a new customer's name and resident number in the main window
        Dial,        // main window, arg: list row, or New for a typed-in customer
        Stop,        // "통화종료"
        Save,        // result window, arg: status index
        Ok,          // the message box in front
        LinkDown,
        LinkUp,
        CentralDown,
        CentralUp,
        LocalDown,
        LocalUp,
        FtpDown,
        FtpUp,
        Wait, // arg: ms
        Exit, // the tray's "&Exit"
        EndSession,
        Login,       // arg: agent index
        Kill,        // the program dies: a crash, the power
        CentralHang, // the branch database stops answering (another writer holds it)
        CentralFree,
        DiskFull, // the recording folder's disk fills up
        DiskFree
    };
    enum Pick
    {
        Own,
        Other,
        New = 9
    };
    // Callers: agent index * 100 + n for that agent's nth customer, 200 + n
    // for the nth unknown number.
    static constexpr int kUnknown = 2;

    Kind kind;
    int arg = 0;
    QString text() const;
};

// A flat list of events from a seed, with the start it needs: the agent who
// logs in first and what earlier days left in the program folder.
struct Schedule
{
    enum Leftover
    {
        WaitingRows = 1, // yesterday's recordings of kim not yet sent
        OldDay = 2,      // a day folder past the check's reach, one row still waiting
        StrayOther = 4,  // a voice file of choi without rows
        StrayOwn = 8     // a voice file of kim without rows
    };

    static const QStringList kAgents;

    quint64 seed = 0;
    int agent = 0;
    int leftovers = 0;
    QList<Event> events;
    // Positions in the seed's list; what remains after shrinking.
    QList<int> kept;

    static Schedule generate(quint64 seed);
    // Only the events at these positions of the seed's list.
    Schedule keep(const QList<int>& positions) const;
    QString text() const;

    // The shortest schedule found that still fails: events are dropped in
    // halves, then quarters, down to one at a time, while fails() holds.
    Schedule shrink(const std::function<bool(const Schedule&)>& fails) const;
};
