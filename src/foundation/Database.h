#pragma once

#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <QString>
#include <QVariant>

#include "foundation/CentralJournal.h"
#include "foundation/CentralLink.h"
#include "platform/Connection.h"
#include "platform/Recordset.h"

struct Session;
class ErrorLog;
class MessageSink;

// The three connection slots of the program and the conventions every
// database routine follows: open a slot only if it is closed, close it at the
// end only if this routine opened it, and report a failure once through the
// error log with the routine's location and function name.
class Database
{
public:
    enum class Slot
    {
        Main,
        Directory,
        Local
    };

    Database(Session& session, ErrorLog& errors, MessageSink& messages);

    // Directory database (login only).
    void BranchSQLDBConnect();
    void BranchSQLDBClose();
    bool BranchSQLConnected() const { return m_branchConnected; }
    // Branch database: everything else.
    void SQLDBConnect();
    void SQLDBClose();
    bool SQLConnected() const { return m_sqlConnected; }
    // The local record file, program folder + "\Brenvo.mdb".
    bool MDBConnection();
    void MDBClose();
    bool MDBConnected() const { return m_mdbConnected; }

    QString branchConnectionString() const;
    QString mainConnectionString() const;
    QString localConnectionString() const;
    static QString sqlServerConnectionString(const QString& password, const QString& user,
                                             const QString& database, const QString& address,
                                             const QString& port);

    // Server time "yyyy-mm-dd hh:mm:ss"; '' after a failure. Across the
    // network it is asked once: later answers add the server's lead to the
    // workstation's clock, so that a call's start and end never wait on it.
    QString GetNowDate();
    // A field as trimmed text, Null as ''.
    static QString GetFieldValue(const QVariant& value);
    // The current record's field of that name, as GetFieldValue gives it.
    static QString field(const Recordset& rs, const char* name);

    Connection& connection(Slot slot);
    bool isConnected(Slot slot) const;
    void open(Slot slot);
    void close(Slot slot);

    // Runs one statement on an open slot; on failure writes the error-log
    // block with the statement and returns false.
    bool execute(Slot slot, const QString& sql, const QString& location, const QString& function,
                 int* rowsAffected = nullptr);
    bool query(Slot slot, const QString& sql, Recordset* result, const QString& location,
               const QString& function);
    // What a failed statement on the slot leaves: the error-log block, shown
    // unless the agent was told of this outage already.
    void statementFailed(Slot slot, const QString& error, const QString& location,
                         const QString& function, const QString& sql, bool linkFailed);
    // A failed connect of the branch database's slot, told once an outage.
    void connectFailed(const QString& error);
    // The branch server answered the link again: its next outage is told.
    void serverBack() { away(Slot::Main) = false; }
    // Runs steps as one transaction on an open slot (the main one unless
    // given): committed when they return true, rolled back otherwise; a
    // failure to begin or commit is logged like a failed statement.
    bool inTransaction(const QString& location, const QString& function,
                       const std::function<bool()>& steps, Slot slot = Slot::Main);

    // What an operation does with its slot at the end: close it only if the
    // operation opened it, close it whoever opened it (the customer and
    // history routines leave no connection behind), or leave it as it stands
    // (some failures do).
    enum class Closing
    {
        IfOpenedHere,
        Always,
        Never
    };
    // Reads sql on the slot, opened for the read and closed after it as
    // `closing` says, and hands the rows, or null after a failure (reported
    // like a statement's), to `done` on this thread. Across the network the
    // branch database is read by the link: a hung server keeps the answer,
    // never the window. `done` is dropped when `context` is gone by then.
    void read(Slot slot, const QString& sql, QObject* context, const QString& location,
              const QString& function, const std::function<void(const Recordset*)>& done,
              Closing closing = Closing::Always);

    // A slot held for the length of one operation: opened when it is closed,
    // and closed at the end by the rule given.
    class Use
    {
    public:
        Use(Database& db, Slot slot, Closing closing = Closing::IfOpenedHere);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        bool connected() const { return m_db.isConnected(m_slot); }
        // For a path that ends by another rule than the operation's usual one.
        void setClosing(Closing closing) { m_closing = closing; }

    private:
        Database& m_db;
        Slot m_slot;
        Closing m_closing;
        bool m_opened = false;
    };

    // The agent asks again (a login): a server still away is told again, and
    // asked again at once.
    void forgetOutages()
    {
        std::fill(std::begin(m_away), std::end(m_away), false);
        m_link.forgetFailure();
    }
    // Writes of the branch database kept through its outages.
    CentralJournal& journal() { return m_journal; }
    // The branch database is a server across the network (not the embedded
    // file): its writes go by the link, off the window thread.
    bool crossesNetwork() const;
    CentralLink& link() { return m_link; }
    const CentralLink& link() const { return m_link; }
    // The branch file on this PC (not across the network) failed for the
    // connection's sake (another writer holds it) less than
    // CentralLink::kRetryMs ago: its statements fail at once instead of each
    // waiting out the lock, and its writes wait in the journal.
    bool holdingOff() const;
    CentralLink::Target centralTarget() const;
    // The first statement of every transaction: on SQL Server the one
    // application lock all writers of the branch take.
    static QString transactionLock(const Connection& connection);

    ErrorLog& errors() { return m_errors; }
    Session& session() { return m_session; }

private:
    bool openSqlServer(Connection& connection, const QString& connectionString,
                       const QString& function, Slot slot);
    void connectFailed(Slot slot, const QString& connectionString, const QString& function,
                       const QString& error);
    void report(bool away, const QString& error, const QString& location, const QString& function,
                const QString& sql);
    bool& away(Slot slot) { return m_away[int(slot)]; }
    // A statement on the branch file while it is held off: failed at once.
    bool heldOff(Slot slot, const QString& location, const QString& function, const QString& sql);

    Session& m_session;
    ErrorLog& m_errors;
    MessageSink& m_messages;
    Connection m_branchConn;
    Connection m_sqlConn;
    Connection m_mdbConn;
    bool m_branchConnected = false;
    bool m_sqlConnected = false;
    bool m_mdbConnected = false;
    // By slot: its server failed the last connect or statement, and the
    // agent was told. Never set for the local file.
    bool m_away[3] = {};
    qint64 m_branchLostAt = 0; // when the branch file last failed for the connection's sake
    CentralLink m_link;
    CentralJournal m_journal{*this};
    // The server's clock less the workstation's, once asked.
    std::optional<qint64> m_serverLeadMs;
};
