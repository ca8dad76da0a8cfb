#pragma once

#include <memory>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "DemoFolder.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "Recorders.h"

class TdsServer;

// Where the directory and branch databases of a test live. Tests whose
// statements matter on every back end run once per back end, as Qt's own SQL
// tests do: a whole test file with
//   void initTestCase_data() { Backends::addRows(); }
//   void init() { USE_BACKEND(); }
// or one function with
//   void f_data() { Backends::addRows(); }   and USE_BACKEND_ROW(); in f.
// Every fixture built after that uses the row's back end.
enum class Backend
{
    Sqlite,    // the embedded default: the SQLite files, through Qt's driver
    StandIn,   // brenvo-tds in this process serving the same files, through FreeTDS
    SqlServer, // the server BRENVO_TEST_MSSQL names, filled with the demo data
};
Q_DECLARE_METATYPE(Backend)

namespace Backends {
void addRows();
// Makes the back end the one of the fixtures built from now on; the reason
// it cannot run here, or ''.
QString use(Backend backend);
Backend current();
} // namespace Backends

#define USE_BACKEND_FROM(fetch)                                                                    \
    do {                                                                                           \
        fetch(Backend, backend);                                                                   \
        if (const QString why = Backends::use(backend); !why.isEmpty())                            \
            QSKIP(qPrintable(why));                                                                \
    } while (false)
#define USE_BACKEND() USE_BACKEND_FROM(QFETCH_GLOBAL)
#define USE_BACKEND_ROW() USE_BACKEND_FROM(QFETCH)

// A fresh demo program folder in a temporary directory, with the session,
// error log and database slots of one run wired to message recorders.
class ProgramFolderFixture
{
public:
    explicit ProgramFolderFixture(const DemoOptions& options = DemoOptions(),
                                  Backend backend = Backends::current());
    ~ProgramFolderFixture();

    bool isValid() const { return m_valid; }
    QString error() const { return m_error; }
    QString path(const QString& relative = QString()) const
    {
        return relative.isEmpty() ? dir.path() : QDir(dir.path()).filePath(relative);
    }
    Backend backend() const { return m_backend; }
    // Whether the database refuses what does not fit a column's declared length.
    bool enforcesLengths() const { return m_backend != Backend::Sqlite; }
    // The running stand-in of the StandIn back end, for faults; else null.
    TdsServer* standIn() const { return m_standIn.get(); }

    // Fills the session as a successful login of this demo agent would.
    void loginAs(const QString& agentId);

    // Runs one statement, written for SQL Server, on a demo database
    // ("branch0001.db", ...) where the back end keeps it, and returns every
    // row, its columns '|'-joined, Null as "<null>". On the SQLite files it
    // is rewritten as the program's own are, so SQLite's own forms pass too.
    QStringList rows(const QString& databaseFile, const QString& sql) const;
    // Waits until every read the desk sent to the branch server has answered.
    bool answered() const;
    bool exec(const QString& databaseFile, const QString& sql) const;
    bool write(const QString& relative, const QByteArray& bytes) const;
    // Leaves `keep` of 2,000 filler rows in a local record file's recfile,
    // so that a compaction has pages to free.
    bool fragment(const QString& localFile, int keep) const;
    // The length mssql.sql declares for a text column of a table; 0 if none.
    static int declaredLength(const QString& table, const QString& column);
    // Makes the directory database unreachable: its file removed, or the
    // settings pointed at a port where no server listens.
    void takeDirectoryDown();

    QTemporaryDir dir;
    Session session;
    MessageRecorder messages;
    WindowRecorder windows;
    ErrorLog errors;
    Database db;

private:
    bool serveFromStandIn();
    bool fillSqlServer(const QString& adoConnectionString);
    bool onServer(const QString& databaseFile) const;

    Backend m_backend;
    std::unique_ptr<TdsServer> m_standIn;
    // The SqlServer back end's own connection; it holds the lock that keeps
    // two test processes from filling the one database at once.
    std::unique_ptr<Connection> m_server;
    bool m_valid = false;
    QString m_error;
};
