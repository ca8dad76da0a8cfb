#pragma once

#include "TdsCollation.h"
#include "TdsSchema.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QRegularExpression>
#include <QString>

#include <atomic>
#include <memory>

class TdsTlsContext;

struct TdsDatabase
{
    QString name;
    QString file;
    TdsCollation collation;
};

// What the sessions of one server share: the configuration fixed at start,
// and the clock and faults a test changes while the server runs. Sessions
// run on threads of their own, so everything mutable here is locked or
// atomic.
class TdsServerState
{
public:
    QString user;
    QString password;
    QList<TdsDatabase> databases;
    TdsSchema schema;
    // How long a statement waits for another session's lock.
    int lockTimeoutMs = 20000;
    // Null: PRELOGIN answers that encryption is not supported.
    std::shared_ptr<TdsTlsContext> tls;
    bool tlsRequired = false;
    // Where each session writes the bytes it read and wrote; '' for nowhere.
    QString recordFolder;

    const TdsDatabase* database(const QString& name) const;

    // Local time as GETDATE() answers it.
    QDateTime now() const;
    // From now on the clock reads `at`, then runs on (or stands still).
    void setClock(const QDateTime& at, bool frozen);
    void resetClock();

    std::atomic<bool> refuseLogins{false};
    std::atomic<int> answerDelayMs{0};

    // Drop every connection once `requests` more requests have been answered.
    void dropAfter(int requests);
    // Drop every connection when a request's SQL matches, without answering it.
    void dropOn(const QRegularExpression& pattern);
    // Called with each request's SQL before it runs: true when it is the one
    // whose arrival drops the connections.
    bool dropsBefore(const QString& sql);
    // Called after a request was answered: true when that was the last one.
    bool dropsAfterAnswer();

    int nextSessionId() { return m_nextSessionId++; }

    // Sessions register themselves so that a fault can end all of them.
    void registerSession(QObject* session);
    void unregisterSession(QObject* session);
    int sessionCount() const;
    // Asks every session to drop its connection (each on its own thread).
    void dropAll();

private:
    mutable QMutex m_mutex;
    qint64 m_clockOffsetMs = 0;
    QDateTime m_frozenAt;
    int m_dropCountdown = -1;
    QRegularExpression m_dropPattern;
    std::atomic<int> m_nextSessionId{51};
    QList<QObject*> m_sessions;
};
