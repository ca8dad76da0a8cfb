#pragma once

#include <memory>
#include <QStringList>

#include "Schedule.h"

// Plays schedules against the real desk: its own SQLite files, the test
// FTP server, the line simulator in this process, no screen. The desk never
// waits for a window or a message box: it opens them and goes on, and the
// driver keeps them in the order they opened, the newest in front, as the
// agent sees them. A button of a window that is not in front does nothing.
// Once the schedule is played, every window still open gets the answer an
// agent in a hurry gives.
class Driver
{
public:
    static std::unique_ptr<Driver> make();
    virtual ~Driver() = default;

    // Why the world could not be built; '' when it was.
    virtual QString error() const = 0;
    // Prints each event as it is played, with the windows and boxes open.
    virtual void setTrace(bool trace) = 0;
    // One schedule on a fresh copy of the program folder; its violations.
    virtual QStringList play(const Schedule& schedule) = 0;
};
