#pragma once

#include <functional>
#include <QAtomicInteger>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include "platform/Recordset.h"
#include "platform/SqlServerEncryption.h"

class Connection;
class LinkWorker;

// The branch database's writes of this desk, sent on a thread of their own
// so that the window never waits on a server that stops answering.
//
// Writes go in the order given; one that fails for the connection's sake
// stays at the head and is tried again every kRetryMs until the server
// answers. Each write ends in exactly one written() on the thread that
// owns the link.
class CentralLink : public QObject
{
    Q_OBJECT
public:
    // One kept write: steps joined by kStepBreak, run in order. A step may
    // name, after kOtherwise, what runs when it changed no row (the update
    // that becomes an insert); of several steps, each other one changes one
    // row, or none is kept. `pick` is read first, and its first row's fields
    // fill the steps' {Field} marks (no row: the write is refused). A write
    // marked `once` adds to what is there: it is applied together with a row
    // (desk, seq) of deskapplied, and skipped when that row is there
    // already, so it counts once even when it reached the server but its
    // answer did not reach the desk.
    struct Write
    {
        qint64 seq = 0;
        QString sql, pick;
        bool once = false;
        QString location, function;
    };
    // Where the writes go.
    struct Target
    {
        QString connectionString, programFolder;
        SqlServerEncryption encryption;
        int queryTimeout = 0;
    };
    enum class Outcome
    {
        Applied,
        Refused,   // the server answered no: not sent again
        LinkFailed // no answer: sent again later
    };

    explicit CentralLink(QObject* parent = nullptr);
    ~CentralLink() override;

    // What a read brings: the rows, or null and why not (linkFailed: no answer).
    using Answer =
        std::function<void(const Recordset* rows, const QString& error, bool linkFailed)>;

    void setDesk(const QString& desk);
    void send(const Target& target, const Write& write);
    // Reads sql after every write sent before it; `answer` runs on the
    // link's owner thread, unless `context` is gone by then. While the
    // server is not answering it is answered at once with a failure.
    void read(const Target& target, const QString& sql, QObject* context, Answer answer);
    // A failure seen elsewhere: the link counts as down until a connect of
    // its own succeeds, tried every kRetryMs.
    void suspect(const Target& target);

    // Counts the link up until it fails again.
    void forgetFailure() { m_down = false; }
    // Writes sent and not yet written().
    int pending() const { return m_pending; }
    // Reads sent and not yet answered.
    qsizetype reading() const { return m_answers.size(); }
    // The server failed the link's last attempt and has not answered since.
    bool down() const { return m_down; }
    // A write has waited for its answer longer than kStuckMs: the server
    // may have stopped answering.
    bool stuck() const;

    // Applies one write on an open connection; the same on any thread.
    static Outcome apply(Connection& connection, const Write& write, const QString& desk,
                         QString* error);

    static constexpr QChar kStepBreak = QChar(0x1e), kOtherwise = QChar(0x1f);
    static constexpr int kRetryMs = 3000;
    static constexpr int kStuckMs = 300;

signals:
    void written(qint64 seq, bool applied);
    // Every failure, for the error log; linkFailed tells the kind.
    void failed(const QString& error, const Write& write, bool linkFailed);
    // The server answered again after a failure.
    void up();
    void answered(qint64 id, const Recordset& rows, bool ok, const QString& error, bool linkFailed);

private:
    friend class LinkWorker;
    QThread m_thread;
    LinkWorker* m_worker;
    int m_pending = 0;
    bool m_down = false;
    qint64 m_reads = 0;
    QHash<qint64, QPair<QPointer<QObject>, Answer>> m_answers;
    QAtomicInteger<qint64> m_busySince = 0; // ms since epoch the write at work started, or 0
};

Q_DECLARE_METATYPE(CentralLink::Write)
Q_DECLARE_METATYPE(Recordset)
