#include "Driver.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <QDate>
#include <QDir>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <sys/mount.h>
#include <tuple>
#include <unistd.h>

#include "customers/CallerIdLookup.h"
#include "DemoFolder.h"
#include "desk/Desk.h"
#include "foundation/ErrorLog.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "FtpServer.h"
#include "Invariants.h"
#include "LineSimulator.h"
#include "platform/VoxFile.h"

namespace {

const char* const kFiles[] = {"", "branch0001.db", "Brenvo.mdb"};
// What can go away, in the order of the events that take it away.
enum Outage
{
    Link,
    Central,
    Local,
    Ftp
};

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The windows' captions, in the order of Window; a message box has none.
const char* const kCaptions[] = {"Form1", "", "고객선택", "통화결과입력", "인바운드"};

// One run of the program on the folder: what main() builds around the desk.
struct Station
{
    Station(const QString& folder, MessageSink& messages, WindowOpener& windows)
        : errors(folder, messages), db(session, errors, messages),
          desk({session, db, errors, messages, windows})
    {
        session.programFolder = folder;
    }
    Session session;
    ErrorLog errors;
    Database db;
    Desk desk;
};

// A window or message box open at the desk; Window::Main stands for a box.
struct Frame
{
    explicit Frame(Window w, CallPtr c = {}) : window(w), call(std::move(c)) {}
    Window window;
    CallPtr call;
    std::unique_ptr<CallerIdLookup> lookup;
    std::unique_ptr<CallResult> result;
    QTimer cidTimer;
};

class DeskDriver final : public Driver, public WindowOpener, public MessageSink
{
public:
    DeskDriver()
    {
        const DemoOptions options{.customers = 40,
                                  .callHistory = false,
                                  .ftpPort = m_ftp.port(),
                                  .ftpUser = m_ftp.user(),
                                  .ftpPassword = m_ftp.password()};
        if (!m_ftp.isRunning())
            m_error = m_ftp.errorString();
        else if (DemoFolder::create(m_template.path(), options, &m_error))
            m_line.listen(0, &m_error);
        m_line.setAnswerDelay(300);
        for (const QString& agent : Schedule::kAgents) {
            m_cast << QStringList();
            for (const QStringList& row : Invariants::query(
                     m_template.path(), "branch0001.db",
                     "SELECT MobileNumber FROM gogakinfo g WHERE AgentID = '" + agent +
                         "' AND MobileNumber <> '' AND (SELECT count(*) FROM gogakinfo h WHERE "
                         "g.MobileNumber IN (h.MobileNumber, h.OfficeNumber)) = 1 ORDER BY ID "
                         "LIMIT 5"))
                m_cast.last() << row[0];
            if (m_cast.last().size() < 5 && m_error.isEmpty())
                m_error = "the demo folder has too few customers of " + agent;
        }
        connect(&m_line, &LineSimulator::changed, this, [this] {
            const bool held = m_line.state() == LineSimulator::State::OffHook;
            const bool open =
                !m_record.offHook.isEmpty() && m_record.offHook.last().second == LLONG_MAX;
            if (held && !open)
                m_record.offHook << Record::Span{now(), LLONG_MAX};
            else if (!held && open)
                m_record.offHook.last().second = now();
        });
        connect(&m_line, &LineSimulator::soundDropped, this, [this](int ms) {
            m_record.soundDropped << Record::Span{now() - ms, now()};
        });
    }

    // One schedule on a fresh copy of the program folder; its violations.
    QStringList play(const Schedule& schedule) override
    {
        QTemporaryDir folder;
        m_folder = folder.path();
        for (const QString& file : QDir(m_template.path()).entryList(QDir::Files))
            QFile::copy(m_template.filePath(file), folder.filePath(file));
        // The recordings on a small disk of their own, so that it can fill
        // up (only root may mount it; elsewhere the disk never fills).
        const QByteArray recData = QFile::encodeName(m_folder + QStringLiteral("/RECDATA"));
        QDir().mkpath(m_folder + QStringLiteral("/RECDATA"));
        m_diskOwn = geteuid() == 0 &&
                    mount("tmpfs", recData.constData(), "tmpfs", 0, "size=8m,mode=0755") == 0;
        const auto unmount = qScopeGuard([&] {
            if (m_diskOwn)
                umount2(recData.constData(), MNT_DETACH);
        });
        QDir(m_ftp.root()).removeRecursively();
        QDir().mkpath(m_ftp.root());
        const int left = schedule.leftovers;
        for (int n = 0; n < 2 && (left & Schedule::WaitingRows); ++n)
            leftover(QStringLiteral("kim"), 1, n, 1);
        for (int n = 0; n < 2 && (left & Schedule::OldDay); ++n)
            leftover(Schedule::kAgents[schedule.agent], 40, n, 1 + n);
        if (left & Schedule::StrayOther)
            leftover(QStringLiteral("choi"), 1, 3, 0);
        if (left & Schedule::StrayOwn)
            leftover(QStringLiteral("kim"), 1, 4, 0);

        m_record = {};
        m_calls.clear();
        const Baseline base = Invariants::baseline(m_folder);
        QHash<QString, qint64> sizes;
        const auto watch = [&] { Invariants::watchFiles(m_folder, &sizes, &m_record.seen); };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, watch);
        poll.start(40);
        // What is away from the start is away when the agent logs in.
        qsizetype at = 0;
        for (const Event& e : schedule.events) {
            if (e.kind < Event::LinkDown || e.kind > Event::FtpUp ||
                e.kind % 2 != Event::LinkDown % 2)
                break;
            deliver(e);
            ++at;
        }
        login(schedule.agent);
        for (; at < schedule.events.size(); ++at) {
            if (m_trace)
                std::printf("%4lld ", qlonglong(schedule.kept.value(at)));
            deliver(schedule.events[at]);
            if (ended())
                retire();
        }
        settle();
        watch();
        for (qsizetype i = 0; i < m_calls.size(); ++i)
            m_record.calls[i].file = m_calls[i]->RecFileName;
        m_record.seen.removeDuplicates();
        return m_record.seen + Invariants::check(m_folder, m_ftp.root(), m_record, base);
    }

    void showMessage(const QString&, const QString&, MessageIcon) override
    {
        if (!ended())
            m_frames.push_back(std::make_unique<Frame>(Window::Main));
    }

    void open(Window window, const CallPtr& call) override
    {
        if (ended())
            return;
        m_frames.push_back(std::make_unique<Frame>(window, call));
        Frame& f = *m_frames.back();
        Desk& d = m_station->desk;
        if (window == Window::CallerId) {
            f.lookup = std::make_unique<CallerIdLookup>(m_station->db, call, d.calls,
                                                        d.customers.search, d.device, *this);
            connect(f.lookup.get(), &CallerIdLookup::unload, this, [this, &f] { close(&f); });
            connect(f.lookup.get(), &CallerIdLookup::tmrGetCIDChanged, this,
                    [&f](bool on) { on ? f.cidTimer.start(1000) : f.cidTimer.stop(); });
            connect(&f.cidTimer, &QTimer::timeout, f.lookup.get(),
                    &CallerIdLookup::tmrGetCID_Timer);
            f.lookup->load();
        } else if (window == Window::CallResult) {
            f.result = std::make_unique<CallResult>(d.resultParts(), call);
            f.result->load();
        } else if (window == Window::BulkUpload) {
            connect(&d.bulkUpload, &BulkUpload::finished, this, [this, &f] { close(&f); });
            d.bulkUpload.start();
        }
    }

    bool isWindowOpen(const QString& text) const override
    {
        return std::any_of(m_frames.cbegin(), m_frames.cend(), [&text](const auto& f) {
            return QString::fromUtf8(kCaptions[int(f->window)]) == text;
        });
    }

    void closeWindow(Window window) override
    {
        for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it)
            if ((*it)->window == window)
                return close(it->get());
    }

    QString error() const override { return m_error; }
    void setTrace(bool trace) override { m_trace = trace; }
    void setBusyCursor(bool) override {}

private:
    // A voice file an earlier day left; rows: 0 none, 1 waiting, 2 uploaded
    // with the server's copy.
    void leftover(const QString& agent, int daysBack, int n, int rows)
    {
        const QString day = QDate::currentDate().addDays(-daysBack).toString("yyyyMMdd");
        const QString start = QStringLiteral("10%1").arg(n * 2, 2, 10, QLatin1Char('0')) + "00";
        const QString name = day + start + "0001" + agent + ".vox";
        const QString path = m_folder + "/RECDATA/" + day + u'/' + name;
        QDir().mkpath(QFileInfo(path).path());
        VoxFile::encode(path, QVector<qint16>(16000));
        if (rows == 2) {
            QDir().mkpath(m_ftp.remoteFile(day));
            QFile::copy(path, m_ftp.remoteFile(day + u'/' + name));
        }
        for (int db = Central; rows && db <= Local; ++db)
            Invariants::query(
                m_folder, kFiles[db],
                say("INSERT INTO recfile (BranchID, AgentID, RegDate, R_Date, R_StartTime, "
                    "R_EndTime, R_Time, FolderName, R_Path, Status, UploadStatus%1) "
                    "VALUES ('0001', '%2', '%3', '%4', '%5', '%5', '2', '%4', '%6', '1', "
                    "'%7'%8)",
                    db == Central ? "" : ", FileFullPath", agent,
                    QDate::fromString(day, "yyyyMMdd").toString(Qt::ISODate), day, start, name,
                    rows == 2 ? "1" : "0", db == Central ? QString() : ", '" + path + u'\''));
    }

    void retire()
    {
        // The program has ended: its windows go with it, unheard.
        m_frames.clear();
        m_station.reset();
        m_mainOpen = false;
    }

    void login(int agent)
    {
        m_mainOpen = false;
        m_station = std::make_unique<Station>(m_folder, *this, *this);
        Desk& d = m_station->desk;
        d.device.setLinePort(m_line.port());
        d.media.setSilentOutput(true);
        connect(&d.calls, &CallController::callerIdLabel, this,
                [this](const CallPtr& call, const QString& number) {
                    for (const auto& f : m_frames)
                        if (f->lookup && f->lookup->call() == call)
                            f->lookup->setLblCIDData(number);
                });
        connect(&d.trayMenu, &TrayMenu::ending, this, [this] { m_record.quits << now(); });
        if (d.login.attempt(QStringLiteral("0001"), Schedule::kAgents[agent],
                            QStringLiteral("1234")) != LoginProcedure::Outcome::LoggedIn)
            return retire();
        // The bulk-upload window; nothing else happens at the desk before the
        // main window opens, and its summary is read at once.
        open(Window::BulkUpload, {});
        if (!QTest::qWaitFor([this] { return m_frames.empty(); }, 60000) || ended())
            return;
        // The main window's start-up, the caller feed on a free port.
        d.calls.openDevices(0);
        d.customers.lookups.SetCmbTermCombo();
        d.customers.search.SetSprCustList();
        d.panel.SetCustInfoValuables(QStringLiteral("0"));
        d.customers.search.setSearchBar({QStringLiteral("0")}); // the new customers
        d.customers.search.cmdCustSearch_Click();
        m_mainOpen = true;
        bool opened = false;
        connect(&d.device, &DorvanePlus::DeviceOpened, this, [&opened] { opened = true; });
        static_cast<void>(QTest::qWaitFor([&opened] { return opened; }, 2000));
        QTest::qWait(30); // the device's first report, which the desk swallows
    }

    bool ended() const { return m_station && m_station->desk.trayMenu.hasEnded(); }

    bool mainWindow() const
    {
        return m_station && m_mainOpen && m_frames.empty() && !ended() &&
               m_station->desk.controls.windowEnabled();
    }

    Frame* front() const { return m_frames.empty() ? nullptr : m_frames.back().get(); }

    // The window is done: it goes, and the desk hears of it.
    void close(Frame* frame)
    {
        const auto it = std::find_if(m_frames.begin(), m_frames.end(),
                                     [frame](const auto& f) { return f.get() == frame; });
        if (it == m_frames.end())
            return;
        const Window window = frame->window;
        const CallPtr call = frame->call;
        // Its logic may be what is closing it: it goes from the event loop.
        std::shared_ptr<Frame> gone = std::move(*it);
        m_frames.erase(it);
        QTimer::singleShot(0, this, [gone] {});
        if (window != Window::Main)
            QMetaObject::invokeMethod(
                this, [this, window, call] { emit closed(window, call); }, Qt::QueuedConnection);
    }

    Record::CallNote& note(const CallPtr& call)
    {
        qsizetype i = m_calls.indexOf(call);
        // A call offered again at a login is the one an earlier run recorded.
        for (qsizetype j = 0; i < 0 && j < m_calls.size(); ++j)
            if (!call->RecFileName.isEmpty() && m_calls[j]->RecFileName == call->RecFileName)
                m_calls[i = j] = call;
        if (i >= 0)
            return m_record.calls[i];
        m_calls << call;
        m_record.calls << Record::CallNote{};
        return m_record.calls.last();
    }

    void answerAnyhow(Frame& frame)
    {
        if (frame.lookup)
            pick(frame, frame.lookup->sprCustSearch().MaxRows() ? Event::Other : Event::New);
        if (frame.lookup && front() == &frame)
            pick(frame, Event::Own);
        if (frame.result)
            save(frame, 0);
        if (front() == &frame)
            close(&frame);
    }

    void deliver(const Event& e)
    {
        if (m_trace) {
            QStringList open;
            for (const auto& f : m_frames)
                open << (f->window == Window::Main ? QStringLiteral("box")
                                                   : QString::fromUtf8(kCaptions[int(f->window)]));
            std::printf("[%s] %s\n", qPrintable(open.join(u'>')), qPrintable(e.text()));
        }
        Frame* top = front();
        const auto inFront = [top](Window w) { return top && top->window == w; };
        const Event::Kind k = e.kind;
        QString error;
        if (k == Event::Ring)
            m_line.ring(QString(), &error);
        else if (k == Event::StopRing)
            m_line.stopRinging();
        else if (k == Event::Feed && m_mainOpen && !ended()) {
            m_line.setFeedPort(m_station->desk.socket.serverPort());
            m_line.sendFeed(
                e.arg / 100 == Event::kUnknown
                    ? QStringLiteral("029990%1").arg(e.arg % 100, 4, 10, QLatin1Char('0'))
                    : m_cast[e.arg / 100][e.arg % 100]);
        } else if (k == Event::HandsetUp)
            m_line.pickUp();
        else if (k == Event::HandsetDown)
            m_line.hangUp();
        else if ((k == Event::Answer || k == Event::CloseSmall) && inFront(Window::SmallCall)) {
            if (k == Event::Answer)
                m_station->desk.device.TakeLine();
            close(top);
        } else if (k == Event::Pick && inFront(Window::CallerId))
            pick(*top, e.arg);
        else if (k == Event::Type)
            typeDetails();
        else if (k == Event::Dial)
            dial(e.arg);
        else if (k == Event::Stop && mainWindow())
            m_station->desk.calls.cmdStopCall_Click();
        else if (k == Event::Save && inFront(Window::CallResult))
            save(*top, e.arg);
        else if (k == Event::Ok && inFront(Window::Main))
            close(top);
        else if (k == Event::Wait) // time matters only while the line is held
            QTest::qWait(m_line.state() == LineSimulator::State::OffHook ? e.arg : 0);
        else if (k == Event::Exit && m_mainOpen && !ended())
            m_station->desk.trayMenu.mExit_Click();
        else if (k == Event::EndSession && m_station && !ended())
            m_station->desk.trayMenu.endSession();
        else if (k == Event::Login && !m_station)
            login(e.arg);
        else if (k == Event::Kill && m_station) {
            m_record.quits << now();
            retire();
        } else if (k == Event::CentralHang || k == Event::CentralFree)
            hang(k == Event::CentralHang);
        else if (k == Event::DiskFull || k == Event::DiskFree)
            fill(k == Event::DiskFull);
        else if (k >= Event::LinkDown && k <= Event::FtpUp)
            setDown((k - Event::LinkDown) / 2, (k - Event::LinkDown) % 2 == 0);
        // What the event set off on the line and the sockets arrives.
        QTest::qWait(10);
        if (m_station && !ended())
            if (const CallPtr call = m_station->desk.calls.lineCall();
                call && call->stage() == Call::Stage::Connected && note(call).span < 0)
                note(call).span = int(m_record.offHook.size()) - 1;
    }

    void setDown(int what, bool down)
    {
        if (m_down[what] == down)
            return;
        m_down[what] = down;
        const QString file = m_folder + u'/' + QLatin1String(kFiles[qMin(what, 2)]);
        switch (what) {
        case Link:
            m_line.setLinkUp(!down);
            if (down)
                m_record.linkDown << Record::Span{now(), LLONG_MAX};
            else
                m_record.linkDown.last().second = now();
            break;
        case Ftp:
            m_ftp.setFault(down ? QStringLiteral("refuse-login") : QString());
            break;
        default:
            (what == Central ? m_record.centralDown : m_record.localDown) = true;
            down ? QFile::rename(file, file + QStringLiteral(".down"))
                 : QFile::rename(file + QStringLiteral(".down"), file);
        }
    }

    // Another writer takes the branch database and holds it: every
    // statement of the desk waits for it, as on a server that stopped
    // answering, until its time runs out.
    void hang(bool hung)
    {
        const QString file = m_folder + QStringLiteral("/branch0001.db");
        if (hung == m_hold.has_value() || (hung && !QFile::exists(file)))
            return;
        if (!hung) {
            QSqlQuery(*m_hold).exec(QStringLiteral("ROLLBACK"));
            m_hold->close();
            m_hold.reset();
            QSqlDatabase::removeDatabase(QStringLiteral("hold"));
            return;
        }
        m_record.centralDown = true;
        m_hold = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hold"));
        m_hold->setDatabaseName(file);
        if (m_hold->open())
            QSqlQuery(*m_hold).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }

    // A ballast file takes every free page of the recordings' disk, or goes.
    void fill(bool full)
    {
        const QString ballast = m_folder + QStringLiteral("/RECDATA/ballast");
        if (!m_diskOwn || full == QFile::exists(ballast))
            return;
        if (!full) {
            QFile::remove(ballast);
            m_record.diskFull.last().second = now();
            return;
        }
        m_record.diskFull << Record::Span{now(), LLONG_MAX};
        QFile file(ballast);
        file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        for (const qsizetype block : {qsizetype(65536), qsizetype(512)})
            while (file.write(QByteArray(block, '\0')) == block) {
            }
    }

    void pick(Frame& frame, int kind)
    {
        SpreadModel& grid = frame.lookup->sprCustSearch();
        Record::CallNote& call = note(frame.call);
        if (kind == Event::New) {
            if (grid.MaxRows() == 0)
                call.kind = 'A';
            return frame.lookup->cmdStartCall_Click();
        }
        const QString agent = m_station->session.AgentID;
        for (int row = 1; row <= grid.MaxRows(); ++row) {
            if ((grid.text(CallerIdLookup::colAgentID, row).trimmed() == agent) !=
                (kind == Event::Own))
                continue;
            call.kind = kind == Event::Own ? 'B' : 'C';
            call.customer = grid.text(CallerIdLookup::colCustID, row);
            return frame.lookup->sprCustSearch_Click(CallerIdLookup::colName, row);
        }
    }

    void save(Frame& frame, int statusIndex)
    {
        CallResult& result = *frame.result;
        if (!m_station->session.isReception() && !result.cmbCallStatus().isEmpty())
            result.cmbCallStatus_Click(statusIndex % int(result.cmbCallStatus().size()));
        const QString memo = QStringLiteral("메모 %1").arg(++m_serial);
        if (ended() || !result.cmdRcResultSave_Click(memo, result.DTPReservation()))
            return;
        Record::CallNote& call = note(frame.call);
        std::tie(call.saved, call.memo, call.status) =
            std::tuple(true, memo, frame.call->result.text());
        close(&frame);
    }

    void dial(int row)
    {
        if (!mainWindow() || !m_station->desk.controls.isEnabled(DeskControls::cmdStartPhoneNO1))
            return;
        Desk& d = m_station->desk;
        QString typed;
        if (row == Event::New) {
            d.customers.editor.cmdRegisterCust_Click();
            typed = QStringLiteral("신규 %1").arg(++m_serial);
            d.panel.type(CustomerPanel::txtCustName, typed);
            d.panel.type(CustomerPanel::txtCustSocialID, QStringLiteral("9001011%1").arg(m_serial));
            d.panel.type(CustomerPanel::txtPhoneNo1, QStringLiteral("0105555%1").arg(m_serial));
        } else if (d.custList.MaxRows() > 0) {
            d.customers.search.SprCustList_Click(1, row % d.custList.MaxRows() + 1);
        } else {
            return;
        }
        const QString customer = d.panel.value(CustomerPanel::txtCustID);
        d.calls.cmdStartPhoneNO1_Click();
        if (const CallPtr call = d.calls.lineCall(); call && call->stage() == Call::Stage::Dialling)
            std::tie(note(call).kind, note(call).customer, note(call).typedName) =
                std::tuple(typed.isEmpty() ? 'D' : 'E', customer, typed);
    }

    void typeDetails()
    {
        if (!mainWindow() || !m_station->desk.panel.isEditable())
            return;
        Desk& d = m_station->desk;
        const CallPtr call = d.calls.lineCall();
        if (!call || call->stage() != Call::Stage::Connected || !call->customer.isNew() ||
            call->customerSaved || !note(call).typedName.isEmpty())
            return;
        note(call).typedName = QStringLiteral("신규 %1").arg(++m_serial);
        d.panel.type(CustomerPanel::txtCustName, note(call).typedName);
        d.panel.type(CustomerPanel::txtCustSocialID, QStringLiteral("8001012%1").arg(m_serial));
    }

    void settle()
    {
        // The world comes back, the caller hangs up, every window still open is
        // answered; then the desk must be at rest.
        for (int what : {Link, Central, Local, Ftp})
            setDown(what, false);
        hang(false);
        fill(false);
        m_line.stopRinging();
        m_line.hangUp();
        answerAll();
        if (m_station && !ended()) {
            Desk& d = m_station->desk;
            const QStringList state =
                Invariants::query(m_folder, "branch0001.db",
                                  "SELECT Status FROM AgentLogin WHERE AgentID = '" +
                                      m_station->session.AgentID + "'")
                    .value(0);
            // A status written while the branch database was away is lost.
            if (!atRest() || d.controls.isEnabled(DeskControls::cmdStopCall) ||
                (state != QStringList{"0"} && !m_record.centralDown))
                m_record.seen << say(
                    "idle: the desk is not back to idle (line call %1, stop button "
                    "%2, window %3, agent status %4)",
                    d.calls.lineCall() ? "held" : "none",
                    d.controls.isEnabled(DeskControls::cmdStopCall) ? "on" : "off",
                    d.controls.windowEnabled() ? "enabled" : "disabled", state.join(u','));
            if (m_station->db.SQLConnected() || m_station->db.MDBConnected())
                m_record.seen << QStringLiteral("idle: a database connection is left open");
            m_record.seen << Invariants::atRest(m_folder);
            d.trayMenu.endSession();
        }
        retire();
        // Each agent of the desk logs in once more: the login's check and
        // upload put right what they can, and every call the agent left
        // without a result is asked for it.
        for (int agent : {0, 1}) {
            login(agent);
            answerAll();
            if (m_station)
                m_station->desk.trayMenu.endSession();
            retire();
        }
        for (const QStringList& row :
             Invariants::query(m_folder, kFiles[Local],
                               "SELECT R_Path FROM recfile WHERE coalesce(Status, '') = ''"))
            m_record.seen << say("results: %1 is still without a result after the next logins",
                                 row.value(0));
    }

    bool atRest() const
    {
        const Desk& d = m_station->desk;
        return !d.calls.lineCall() && d.controls.windowEnabled() && m_frames.empty() &&
               d.calls.openCalls().isEmpty();
    }

    // Every window still open is answered until the desk is at rest; up to
    // 20 s: a loaded machine finishes the last upload late, not never.
    void answerAll()
    {
        for (int i = 0; i < 400 && m_station && !ended() && !atRest(); ++i) {
            if (Frame* f = front())
                answerAnyhow(*f);
            QTest::qWait(50);
        }
    }

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
    std::optional<QSqlDatabase> m_hold; // the other writer, while it holds the branch database
    bool m_diskOwn = false;             // RECDATA is a small disk the schedule can fill
    bool m_trace = false;
};

} // namespace

std::unique_ptr<Driver> Driver::make()
{
    return std::make_unique<DeskDriver>();
}
