#pragma once

#include <memory>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include "foundation/Seams.h"
#include "FtpServer.h"
#include "Invariants.h"
#include "LineSimulator.h"
#include "Schedule.h"

struct Station;

// Plays schedules against the real desk: its own SQLite files, the test
// FTP server, the line simulator in this process, no screen. The desk never
// waits for a window or a message box: it opens them and goes on, and the
// driver keeps them in the order they opened, the newest in front, as the
// agent sees them. A button of a window that is not in front does nothing.
// Once the schedule is played, every window still open gets the answer an
// agent in a hurry gives.
class Driver : public WindowOpener, public MessageSink
{
public:
    Driver();
    ~Driver() override;

    // Why the world could not be built; '' when it was.
    QString error() const { return m_error; }
    // Prints each event as it is played, with the windows and boxes open.
    void setTrace(bool trace) { m_trace = trace; }
    // One schedule on a fresh copy of the program folder; its violations.
    QStringList play(const Schedule& schedule);

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    void setBusyCursor(bool) override {}
    void open(Window window, const std::shared_ptr<Call>& call) override;
    bool isWindowOpen(const QString& caption) const override;
    void closeWindow(Window window) override;

private:
    struct Frame;

    Frame* front() const;
    // The window is done: it goes, and the desk hears of it.
    void close(Frame* frame);
    void answerAnyhow(Frame& frame);
    void deliver(const Event& event);
    void pick(Frame& frame, int kind);
    void save(Frame& frame, int statusIndex);
    void dial(int row);
    void typeDetails();
    void login(int agent);
    void retire();
    void settle();
    void setDown(int what, bool down);
    // A voice file an earlier day left; rows: 0 none, 1 waiting, 2 uploaded
    // with the server's copy.
    void leftover(const QString& agent, int daysBack, int n, int rows);
    bool ended() const;
    bool mainWindow() const;
    Record::CallNote& note(const std::shared_ptr<Call>& call);

    QString m_error;
    FtpServer m_ftp;
    LineSimulator m_line;
    QTemporaryDir m_template;
    QList<QStringList> m_cast; // per agent, numbers that only their customer carries

    // One schedule's play.
    QString m_folder;
    int m_serial = 0;
    std::unique_ptr<Station> m_station;
    bool m_mainOpen = false;
    std::vector<std::unique_ptr<Frame>> m_frames; // oldest first
    QList<std::shared_ptr<Call>> m_calls;         // beside m_record.calls
    Record m_record;
    bool m_down[4] = {};
    bool m_trace = false;
};
