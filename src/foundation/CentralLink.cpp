#include "foundation/CentralLink.h"

#include <deque>
#include <memory>
#include <QDateTime>
#include <QRegularExpression>
#include <QTimer>

#include "foundation/Database.h"
#include "platform/Connection.h"
#include "platform/SqlDialect.h"

// Lives on the link's thread: the queue, the connection and the retry timer.
class LinkWorker : public QObject
{
public:
    // A write, or a read when `read` (its number) is not 0.
    struct Job
    {
        CentralLink::Write write;
        qint64 read = 0;
        QString sql;
    };

    explicit LinkWorker(CentralLink& link) : m_link(link)
    {
        m_retry.setSingleShot(true);
        m_retry.setInterval(CentralLink::kRetryMs);
        connect(&m_retry, &QTimer::timeout, this, &LinkWorker::work);
    }

    void add(const CentralLink::Target& target, const CentralLink::Write& write)
    {
        m_target = target;
        m_queue.push_back({write, 0, QString()});
        work();
    }

    void read(const CentralLink::Target& target, qint64 id, const QString& sql)
    {
        m_target = target;
        // A server that failed its last try is not waited on for a read.
        if (m_retry.isActive())
            return emit m_link.answered(id, {}, false,
                                        QStringLiteral("The server is not answering."), true);
        m_queue.push_back({{}, id, sql});
        work();
    }

    void probe(const CentralLink::Target& target)
    {
        m_target = target;
        m_probe = true;
        work();
    }

    // The link closes: no more tries on this thread.
    void stop() { m_retry.stop(); }

    QString desk;

private:
    void work()
    {
        // A failure waits out its retry; what comes meanwhile queues behind it.
        if (m_retry.isActive())
            return;
        while (!m_queue.empty() || m_probe) {
            QString error;
            if (!connected(&error))
                return fail(error, {}, true);
            m_probe = false;
            answered();
            if (m_queue.empty())
                break;
            const Job job = m_queue.front();
            if (job.read != 0) {
                if (!readNow(job))
                    return;
                continue;
            }
            const CentralLink::Write& write = job.write;
            m_link.m_busySince = QDateTime::currentMSecsSinceEpoch();
            const auto outcome = CentralLink::apply(*m_connection, write, desk, &error);
            m_link.m_busySince = 0;
            if (outcome == CentralLink::Outcome::LinkFailed) {
                m_connection->close();
                return fail(error, write, true);
            }
            answered();
            if (outcome == CentralLink::Outcome::Refused)
                emit m_link.failed(error, write, false);
            m_queue.pop_front();
            emit m_link.written(write.seq, outcome == CentralLink::Outcome::Applied);
        }
        m_connection->close();
    }

    // One read at the head of the queue; false when the server did not
    // answer it, the link then waiting for its retry.
    bool readNow(const Job& job)
    {
        Recordset rows;
        QString error;
        m_link.m_busySince = QDateTime::currentMSecsSinceEpoch();
        const bool ok = m_connection->openRecordset(job.sql, &rows, &error);
        m_link.m_busySince = 0;
        const bool lost = !ok && m_connection->linkFailed();
        m_queue.pop_front();
        emit m_link.answered(job.read, rows, ok, error, lost);
        if (!lost)
            return true;
        m_connection->close();
        m_probe = true;
        waitForRetry(error);
        return false;
    }

    bool connected(QString* error)
    {
        if (!m_connection) {
            m_connection = std::make_unique<Connection>();
            m_connection->setKeepSessions(true);
        }
        if (m_connection->isOpen())
            return true;
        m_connection->setEncryption(m_target.encryption);
        m_connection->setQueryTimeout(m_target.queryTimeout);
        return m_connection->open(m_target.connectionString, m_target.programFolder, error);
    }

    void fail(const QString& error, const CentralLink::Write& write, bool linkFailed)
    {
        waitForRetry(error);
        emit m_link.failed(error, write, linkFailed);
    }

    // The writes wait out the retry, in order; the reads queued behind them
    // do not wait: they fail at once.
    void waitForRetry(const QString& error)
    {
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (it->read == 0) {
                ++it;
                continue;
            }
            emit m_link.answered(it->read, {}, false, error, true);
            it = m_queue.erase(it);
        }
        m_down = true;
        m_retry.start();
    }

    void answered()
    {
        if (std::exchange(m_down, false))
            emit m_link.up();
    }

    CentralLink& m_link;
    std::deque<Job> m_queue;
    CentralLink::Target m_target;
    std::unique_ptr<Connection> m_connection;
    QTimer m_retry{this}; // a child: it moves to the link's thread with the worker
    bool m_probe = false;
    bool m_down = false;
};

CentralLink::CentralLink(QObject* parent) : QObject(parent), m_worker(new LinkWorker(*this))
{
    qRegisterMetaType<CentralLink::Write>();
    qRegisterMetaType<Recordset>();
    m_worker->moveToThread(&m_thread);
    // Before any receiver of the owner's: the counts are right when they look.
    connect(this, &CentralLink::written, this, [this] {
        --m_pending;
        m_down = false;
    });
    connect(
        this, &CentralLink::failed, this,
        [this](const QString&, const Write&, bool linkFailed) { m_down = m_down || linkFailed; });
    connect(this, &CentralLink::up, this, [this] { m_down = false; });
    connect(
        this, &CentralLink::answered, this,
        [this](qint64 id, const Recordset& rows, bool ok, const QString& error, bool linkFailed) {
            m_down = linkFailed || (m_down && !ok);
            const auto [context, answer] = m_answers.take(id);
            if (context)
                answer(ok ? &rows : nullptr, error, linkFailed);
        });
    m_thread.setObjectName(QStringLiteral("central link"));
    m_thread.start();
}

CentralLink::~CentralLink()
{
    // The writes handed over go first (the agent's logout among them); what
    // the server does not take stays in the local file for the next run.
    QMetaObject::invokeMethod(m_worker, [this] {
        m_worker->stop();
        m_thread.quit();
    });
    m_thread.wait();
    delete m_worker;
}

void CentralLink::setDesk(const QString& desk)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, desk] { worker->desk = desk; });
}

void CentralLink::send(const Target& target, const Write& write)
{
    ++m_pending;
    QMetaObject::invokeMethod(m_worker,
                              [worker = m_worker, target, write] { worker->add(target, write); });
}

void CentralLink::read(const Target& target, const QString& sql, QObject* context, Answer answer)
{
    const qint64 id = ++m_reads;
    m_answers.insert(id, {context, std::move(answer)});
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, target, id, sql] { worker->read(target, id, sql); });
}

void CentralLink::suspect(const Target& target)
{
    m_down = true;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, target] { worker->probe(target); });
}

bool CentralLink::stuck() const
{
    const qint64 since = m_busySince.loadRelaxed();
    return since != 0 && QDateTime::currentMSecsSinceEpoch() - since > kStuckMs;
}

CentralLink::Outcome CentralLink::apply(Connection& connection, const Write& write,
                                        const QString& desk, QString* error)
{
    const auto failure = [&] {
        const Outcome outcome = connection.linkFailed() ? Outcome::LinkFailed : Outcome::Refused;
        if (connection.openTransactions() > 0)
            connection.rollback();
        return outcome;
    };
    const auto run = [&] {
        QString sql = write.sql;
        if (!write.pick.isEmpty()) {
            Recordset picked;
            if (!connection.openRecordset(write.pick, &picked, error))
                return false;
            if (picked.isEof()) {
                *error = QStringLiteral("No row to pick: ") + write.pick;
                return false;
            }
            static const QRegularExpression mark(QStringLiteral("\\{(\\w+)\\}"));
            for (const QRegularExpressionMatch& m : mark.globalMatch(write.sql))
                sql.replace(m.captured(0), SqlDialect::quoted(Database::field(
                                               picked, m.captured(1).toLatin1().constData())));
        }
        const QStringList steps = sql.split(kStepBreak);
        for (const QString& step : steps) {
            int changed = 0;
            if (!connection.execute(step.section(kOtherwise, 0, 0), error, &changed))
                return false;
            const QString otherwise = step.section(kOtherwise, 1);
            if (changed == 0 && !otherwise.isEmpty()) {
                if (!connection.execute(otherwise, error))
                    return false;
            } else if (steps.size() > 1 && changed != 1) {
                *error =
                    QStringLiteral("%1 rows changed where one was meant: ").arg(changed) + step;
                return false;
            }
        }
        return true;
    };
    if (!write.once)
        return run() ? Outcome::Applied : failure();
    const QString key = QStringLiteral("'") + SqlDialect::quoted(desk) + QStringLiteral("', ") +
                        QString::number(write.seq);
    Recordset applied;
    const bool done =
        connection.beginTransaction(error, Database::transactionLock(connection)) &&
        connection.openRecordset(QStringLiteral("select Seq from deskapplied where Desk = '") +
                                     SqlDialect::quoted(desk) + QStringLiteral("' and Seq = ") +
                                     QString::number(write.seq),
                                 &applied, error) &&
        (applied.recordCount() > 0 ||
         (run() && connection.execute(
                       QStringLiteral("insert into deskapplied (Desk, Seq) values (") + key + u')',
                       error))) &&
        connection.commit(error);
    return done ? Outcome::Applied : failure();
}
