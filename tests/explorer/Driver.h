#pragma once

#include <memory>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include "foundation/Seams.h"
#include "FtpServer.h"
#include "Invariants.h"
#include "LineSimulator.h"
#include "Schedule.h"

class QTimer;
struct Station;

// Plays schedules against the real desk: its own SQLite files, the test
// FTP server, the line simulator in this process, no screen.
//
// Today's desk waits for its windows and message boxes in nested loops, and
// the driver answers the same way: when the desk opens a window or shows a
// box, the events that follow in the schedule are played from inside that
// call, until one answers that window or box. Once the schedule is played,
// every window still open gets the answer an agent in a hurry gives.
class Driver : public QObject, public MessageSink, public WindowOpener
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
    void showModal(Window window, const std::shared_ptr<Call>& call) override;
    bool isWindowOpen(const QString& caption) const override;
    void closeWindow(Window window) override;

private:
    struct Frame;

    void run(Frame& frame);
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
    void pump(int ms);
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
    QList<Event> m_events;
    qsizetype m_pos = 0;
    int m_serial = 0;
    std::unique_ptr<Station> m_station;
    bool m_mainOpen = false;
    QList<Frame*> m_frames;
    QList<std::shared_ptr<Call>> m_calls; // beside m_record.calls
    Record m_record;
    bool m_down[4] = {};
    bool m_trace = false;
};
