#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QString>

#include <memory>

class QThread;
class TdsListener;
class TdsServerState;

// A stand-in for SQL Server: speaks TDS 7.4 to the FreeTDS driver (and to
// QODBC and tsql on top of it) and answers from SQLite files, one file per
// database, with the column types of the SQL Server schema script. It runs
// on threads of its own, so a test may call the blocking ODBC client from
// the thread that owns this object.
class TdsServer : public QObject
{
    Q_OBJECT
public:
    struct Database
    {
        QString name;
        QString file;
        // Empty: the schema's CREATE/ALTER DATABASE ... COLLATE, else the
        // server's default.
        QString collation;
    };
    enum class Encryption
    {
        None,
        Offered,
        Required
    };
    struct Options
    {
        QString user = QStringLiteral("brenvo");
        QString password = QStringLiteral("brenvo");
        QList<Database> databases;
        // The SQL Server schema script (a file or a Qt resource path);
        // Brenvo's mssql.sql is built in.
        QString schemaFile = QStringLiteral(":/brenvo-tds/mssql.sql");
        QString defaultCollation = QStringLiteral("Korean_Wansung_CI_AS");
        QHostAddress address = QHostAddress::LocalHost;
        // As SQL Server: Offered encrypts what the client asks for, at
        // least its login; Required ("force encryption") encrypts every
        // session whole and refuses a client that cannot; None is a server
        // without TLS, whose PRELOGIN answer says so.
        Encryption encryption = Encryption::Offered;
        // PEM: the certificate with its chain, and its key. Empty: a
        // self-signed certificate made at start.
        QString certificateFile, keyFile;
        // Every connection leaves the bytes it read and wrote here, in
        // SESSION-in.bin and SESSION-out.bin, for a look at the wire.
        QString recordFolder;
    };

    explicit TdsServer(QObject* parent = nullptr);
    ~TdsServer() override;

    // Lays out the database files (creating the schema's missing tables) and
    // listens; port 0 takes a free one. Calling it again after stop() starts
    // the same server afresh.
    bool start(const Options& options, quint16 port, QString* error);
    // Stops listening and drops every connection, as a stopped server does.
    void stop();
    bool isRunning() const;
    quint16 port() const { return m_port; }
    // What it was last started with.
    const Options& options() const { return m_options; }
    int connectionCount() const;

    // Faults a test drives.
    void setRefuseLogins(bool refuse);
    void dropConnections();
    // Drops every connection once `requests` more requests have been
    // answered (0: the next request is never answered).
    void dropAfter(int requests);
    // Drops every connection when a request's SQL matches, before running it.
    void dropOn(const QRegularExpression& pattern);
    void setAnswerDelay(int ms);
    // GETDATE() reads `at` from now on, then runs on or stands still.
    void setClock(const QDateTime& at, bool frozen = false);
    void resetClock();

private:
    std::unique_ptr<TdsServerState> m_state;
    // Lives on m_thread; deleted there.
    TdsListener* m_listener = nullptr;
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
    Options m_options;
};
