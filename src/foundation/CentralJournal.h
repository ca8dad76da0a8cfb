#pragma once

#include <QString>

class Database;

// Writes of the branch database kept through its outages.
//
// A write that fails for the connection's sake (no connection, a time-out,
// a dropped session, a locked file) is kept, in order, in the local file's
// table deskjournal, and every later write goes in behind it; the kept ones
// are sent again, oldest first, when the slot is next opened (before whatever
// opened it runs) and at the login's check. A write the server refuses (a
// constraint, a syntax) is reported as ever and not kept.
//
// Only writes that may reach the server twice to the same effect go through
// here: updates that set values, and inserts a unique key refuses the second
// time. So a write that went through, but was not forgotten here before the
// program died or the answer timed out, does no harm when it is sent again.
class CentralJournal
{
public:
    explicit CentralJournal(Database& db);

    // Sends sql now, or keeps it behind the writes waiting; true when the
    // server has it now.
    bool write(const QString& sql, const QString& location, const QString& function);
    // Sends what waits, oldest first, until one fails for the connection's sake.
    void deliver();
    // Writes kept and not yet sent, as last seen.
    int waiting() const { return qMax(m_waiting, 0); }

private:
    void send();
    void keep(const QString& sql, const QString& location, const QString& function);
    // Makes the table when the local file has none yet.
    bool table();

    Database& m_db;
    int m_waiting = -1;        // not counted yet
    bool m_delivering = false; // an open of the slot while sending sends nothing more
};
