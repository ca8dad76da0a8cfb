#pragma once

#include <functional>
#include <QList>
#include <QPointer>
#include <QString>

#include "foundation/CentralLink.h"
#include "platform/Recordset.h"

class Database;

// Writes of the branch database kept through its outages.
//
// Every write is kept, in order, in the local file's table deskjournal until
// the server has it. Across the network (SQL Server) each is handed to the
// link at once and forgotten when the link has written it, so the window
// never waits on the server. On the embedded file the write is sent at once
// and kept only when it fails for the connection's sake (no connection, a
// locked file); the kept ones go, oldest first, when the slot is next opened.
// A write the server refuses (a constraint, a syntax) is reported as ever
// and not kept.
//
// Writes that may reach the server twice to the same effect go as they are:
// updates that set values, and inserts a unique key refuses the second time.
// Writes that add to a count go `once`: applied together with a mark of
// (desk, seq) in the branch's deskapplied, and skipped when it is there.
class CentralJournal
{
public:
    explicit CentralJournal(Database& db);

    // Sends sql (steps, as CentralLink::Write has them), or keeps it behind
    // the writes waiting; true when the server has it or it is kept.
    bool write(const QString& sql, const QString& location, const QString& function,
               bool once = false, const QString& pick = QString());
    // Sends what waits, oldest first.
    void deliver();
    // Writes kept and not yet through, as last seen.
    int waiting() const { return qMax(m_waiting, 0); }
    // Runs `then` once nothing of this desk waits to be written, so that what
    // it reads of the branch database has this desk's writes in it; at once
    // when nothing waits. Dropped when `context` is gone.
    void whenWritten(QObject* context, std::function<void()> then);
    // Told each time the count of waiting writes changes.
    void setWaitingChanged(std::function<void()> told) { m_told = std::move(told); }

private:
    void retryLater();
    void send();
    void keep(CentralLink::Write& write);
    void forget(qint64 seq);
    void sendKept();
    // The writes kept in the local file, oldest first; one of them.
    bool readKept(Recordset* rs);
    static CentralLink::Write kept(const Recordset& rs);
    void written(qint64 seq);
    void changed(int by);
    // Makes the tables when the local file has none yet.
    bool table();
    QString desk();

    Database& m_db;
    int m_waiting = -1;          // not counted yet
    bool m_delivering = false;   // an open of the slot while sending sends nothing more
    bool m_retryPlanned = false; // a delivery waits for the branch file's hold-off
    bool m_keptSent = false;     // the writes of earlier runs are with the link
    qint64 m_unkept = 0;         // sequence of writes the local file could not keep
    QString m_desk;
    std::function<void()> m_told;
    QList<QPair<QPointer<QObject>, std::function<void()>>> m_then;
};
