#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>

// The FTP client control of the desk, on libcurl.
//
// The operations keep the control's names and results. Everything between
// FtpConnect and FtpDisconnect runs over one libcurl handle, so one control
// connection carries transfer after transfer. Passive mode (EPSV, PASV when
// refused), binary transfers; folders are never created implicitly.
//
// The remote current folder is tracked here: FtpConnect starts at the
// server's root (the login folder), FtpChangeDir moves relative to it, and
// every command names its full path from the root, so no CWD is ever sent.
// FtpChangeDir sends nothing: a folder that does not exist makes the next
// transfer fail (so a file never lands in another folder than the one asked
// for).
//
// The operations block until the server has answered: the desk runs the
// control on a thread of its own (FtpWorker), never on the window thread.
// TransferProgress is emitted on the thread that runs the operation; abort()
// may be called from any thread.
//
// FTP over TLS as setTls() asks: explicit (AUTH TLS on the control
// connection, then PBSZ 0 and PROT P, so the data connections are protected
// too), the server's certificate and its name checked whenever TLS is spoken.
//
// Time limits: connecting 10 s; the stall limit (default 20 s) fails a
// transfer as soon as that long passes with no byte moving and no answer from
// the server. A connection given up that way is dropped, so the next
// operation connects afresh. Destroying the control says QUIT on a live
// connection and waits for the answer at most the stall limit.
class FtpCientOCX : public QObject
{
    Q_OBJECT

public:
    // How the connections are protected ([Branch] FtpTls and FtpCaFile).
    struct Tls
    {
        enum class Mode
        {
            Off,
            Try,    // TLS when the server offers AUTH TLS, in clear otherwise
            Require // refused unless the control and the data go under TLS
        };
        Mode mode = Mode::Try;
        // PEM file of the certificate authorities to trust; '' for the system's.
        QString caFile;

        // FtpTls is "off", "try" or "require" in any case, '' for try;
        // anything else reads as require, the safe side of a mistyped value.
        // A relative FtpCaFile lies in the program folder.
        static Tls fromSettings(const QString& mode, const QString& caFile,
                                const QString& programFolder);
    };

    explicit FtpCientOCX(QObject* parent = nullptr);
    ~FtpCientOCX() override;

    // Logs in (USER/PASS, then PWD); true when the login succeeded. The remote
    // current folder is then the root. Connecting again is allowed: it starts
    // over at the root, reusing a live connection to the same server.
    bool FtpConnect(const QString& host, const QString& user, const QString& password, int port);
    // Logs out (QUIT) and closes the connection; the control can connect again.
    void FtpDisconnect();
    // Fetches remoteName from the current remote folder into localPath. The
    // data goes to a temporary file beside localPath, which replaces localPath
    // only when the whole file has arrived: on failure an earlier file stays
    // as it was and nothing partial is left behind. The local folder must exist.
    bool FtpDownload(const QString& remoteName, const QString& localPath);
    // Creates the local folder with all missing parents (no server involved).
    static bool FtpMakeLocalDir(const QString& localPath);
    // Creates a folder in the current remote folder; an existing one is no error.
    void FtpMakeDir(const QString& name);
    // Changes the remote current folder relative to the current one ("a/b",
    // ".." and "." work; a leading "/" starts from the root).
    void FtpChangeDir(const QString& name);
    // Stores localPath under remoteName in the current remote folder. True only
    // when the server then reports the file's full size (FTP SIZE). A missing
    // local file gives false.
    bool FtpUpload(const QString& localPath, const QString& remoteName);

    // Name and size of every file in a remote folder, by name.
    using Sizes = QHash<QString, qint64>;
    // Our own helpers for a run of files into one folder: FtpStore stores as
    // FtpUpload does but asks no size (true when the server took the whole
    // transfer), and one FtpListDir afterwards, on the same connection, gives
    // the sizes the server holds of them all.
    bool FtpStore(const QString& localPath, const QString& remoteName);
    bool FtpListDir(Sizes* sizes);

    // Lists remote folders (paths from the root: "20260101", "TEMP/20260101")
    // over several connections at once, a few round trips for all of them
    // instead of one question per file. A folder the server does not have
    // is left out of *listing. False when the server could not be asked
    // (lastError() says why); connecting first is required.
    bool FtpListFolders(const QStringList& folders, QHash<QString, Sizes>* listing);
    // The files of a listing's text: MLSD facts, or a Unix or DOS LIST.
    static Sizes parseListing(const QByteArray& text);

    // The protection of every later connection; Try with the system's
    // authorities until set. A live connection made under other terms is
    // closed (FtpDisconnect).
    void setTls(const Tls& tls);

    // Readable text of the last failure (curl's message, the server's reply);
    // empty after an operation that succeeded.
    QString lastError() const { return m_lastError; }
    // The last operation failed for want of the server, not by its refusal:
    // no connection, a time limit, the stall limit or a dropped connection.
    // A run of transfers ends there instead of waiting out each of its files.
    bool lostConnection() const { return m_lostConnection; }

    // Our own helpers, not part of the original control.
    bool isConnected() const { return m_connected; }
    // Remote current folder from the root, "/" or "/TEMP/20260101".
    QString currentDir() const;
    // Seconds without a byte moving and without an answer after which a
    // transfer fails (default 20). At least 1.
    void setStallTimeout(int seconds);
    // Control connections opened since construction; a transfer over the
    // connection of the previous one adds nothing.
    int connectionsMade() const { return m_connectionsMade; }
    // Stops the running transfer, which then fails with "aborted", and every
    // later one until clearAbort().
    void abort() { m_abort.store(true); }
    void clearAbort() { m_abort.store(false); }
    bool aborted() const { return m_abort.load(); }

signals:
    // Bytes moved so far and the size of the file (0 when not known yet).
    void TransferProgress(qint64 done, qint64 total);

private:
    enum class Progress
    {
        None,
        Upload,
        Download
    };
    // One folder's listing as the worker got it.
    struct Listed
    {
        QByteArray body;
        int result = 0; // CURLcode
        long reply = 0; // last FTP reply code
    };

    static constexpr int kConnectTimeoutSeconds = 10;
    // Connections one FtpListFolders opens at most.
    static constexpr int kListingConnections = 8;
    static constexpr std::chrono::milliseconds kProgressInterval{50};

    // False (lastError() says why) when the operation cannot start.
    bool ready(const char* what, bool needsConnection);
    bool store(const QString& localPath, const QString& remoteName, bool checkSize);
    void prepare(const QByteArray& url, Progress progress);
    // Options every handle of this control shares: the server, the account,
    // the time limits, passive binary transfers.
    void setCommonOptions(void* easyHandle) const;
    // Runs the prepared transfer; its CURLcode.
    int perform();
    // Every folder's listing, several connections at a time.
    void listFolders(const QList<QByteArray>& urls, const char* command, QList<Listed>& listed);
    // One transfer of easyHandle on multiHandle; a CURLcode.
    static int transfer(void* multiHandle, void* easyHandle);
    bool ensureHandles();
    void dropHandles();
    void fail(const QString& what, int curlCode);
    QByteArray urlForDir(const QStringList& dir) const;
    QByteArray urlForFile(const QString& name) const;
    // Emits TransferProgress at most every kProgressInterval, and always the
    // last value of a transfer.
    void progress(qint64 done, qint64 total, bool last = false);

    void* m_curl = nullptr;  // CURL*: the options of the next transfer
    void* m_multi = nullptr; // CURLM*: runs it and keeps the control connection
    QString m_host;
    int m_port = 21;
    QString m_user;
    QString m_password;
    Tls m_tls;
    QStringList m_dir;         // remote current folder, parts from the root
    QSet<QString> m_knownDirs; // folders made or found on this server since connecting
    bool m_connected = false;
    QString m_lastError;
    bool m_lostConnection = false;
    std::atomic<int> m_stallSeconds{20};
    int m_connectionsMade = 0;
    long m_controlPort = 0; // local port of the last control connection
    long m_replyCode = 0;   // last FTP reply code of the last transfer
    char m_errorBuffer[256] = {};
    std::atomic<bool> m_abort{false};

    // State of the running transfer.
    Progress m_progressKind = Progress::None;
    int m_activeStall = 20;
    qint64 m_lastMoved = -1;
    std::chrono::steady_clock::time_point m_lastMoveTime;
    std::chrono::steady_clock::time_point m_lastProgressPost;
    bool m_stalled = false;
    QByteArray m_lastReply;
    qint64 m_emittedDone = -1;
    qint64 m_emittedTotal = -1;
};
