#include "platform/FtpCientOCX.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>

#include <curl/curl.h>

#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/PrivateFiles.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#ifdef _MSC_VER
#pragma comment(lib, "ws2_32.lib") // shutdown(); MinGW builds link ws2_32 themselves
#endif
constexpr int kShutBoth = SD_BOTH;
#else
#include <sys/socket.h>
constexpr int kShutBoth = SHUT_RDWR;
#endif

namespace {

constexpr long kBufferSize = 256 * 1024;

CURL* handle(void* curl)
{
    return static_cast<CURL*>(curl);
}

void initCurlOnce()
{
    static const bool initialised = [] {
        return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    Q_UNUSED(initialised);
}

size_t appendTo(char* data, size_t size, size_t count, void* body)
{
    static_cast<QByteArray*>(body)->append(data, qsizetype(size * count));
    return size * count;
}

// The reply of a server that does not know a command (MLSD on an old one).
bool isUnknownCommand(long reply)
{
    return reply == 500 || reply == 501 || reply == 502;
}

// A name that would break the FTP command line it ends up in.
bool isBadName(const QString& name)
{
    return name.isEmpty() || name.contains(u'\r') || name.contains(u'\n') ||
           name.contains(QChar(0));
}

} // namespace

FtpCientOCX::FtpCientOCX(QObject* parent) : QObject(parent)
{
    initCurlOnce();
}

FtpCientOCX::~FtpCientOCX()
{
    dropHandles();
}

FtpCientOCX::Tls FtpCientOCX::Tls::fromSettings(const QString& mode, const QString& caFile,
                                                const QString& programFolder)
{
    Tls tls;
    const QString m = mode.trimmed().toLower();
    if (m == u"off")
        tls.mode = Mode::Off;
    else if (!m.isEmpty() && m != u"try")
        tls.mode = Mode::Require;
    if (!caFile.trimmed().isEmpty())
        tls.caFile = QDir(programFolder).absoluteFilePath(caFile.trimmed());
    return tls;
}

void FtpCientOCX::setTls(const Tls& tls)
{
    if (tls.mode != m_tls.mode || tls.caFile != m_tls.caFile)
        FtpDisconnect();
    m_tls = tls;
}

bool FtpCientOCX::ready(const char* what, bool needsConnection)
{
    m_lostConnection = false;
    if (m_abort.load()) {
        m_lastError = QStringLiteral("%1 failed: aborted").arg(QLatin1String(what));
        return false;
    }
    if (needsConnection && (!m_connected || !m_curl)) {
        m_lastError =
            QStringLiteral("%1 refused: not connected (FtpConnect first)").arg(QLatin1String(what));
        return false;
    }
    return true;
}

QString FtpCientOCX::currentDir() const
{
    return u'/' + m_dir.join(u'/');
}

void FtpCientOCX::setStallTimeout(int seconds)
{
    m_stallSeconds.store(qMax(1, seconds));
}

bool FtpCientOCX::FtpConnect(const QString& host, const QString& user, const QString& password,
                             int port)
{
    if (!ready("FtpConnect", false))
        return false;
    m_connected = false;
    m_dir.clear();
    if (host.trimmed().isEmpty() || port < 1 || port > 65535) {
        m_lastError = QStringLiteral("FtpConnect failed: no server address or a port outside "
                                     "1-65535 (\"%1\", %2)")
                          .arg(host)
                          .arg(port);
        return false;
    }
    if (!ensureHandles()) {
        m_lastError = QStringLiteral("FtpConnect failed: libcurl could not make a handle");
        return false;
    }
    if (host.trimmed() != m_host || port != m_port || user != m_user)
        m_knownDirs.clear();
    m_host = host.trimmed();
    m_port = port;
    m_user = user;
    m_password = password;

    // Nothing to fetch from the root: libcurl connects, logs in and sends PWD.
    prepare(urlForDir({}), Progress::None);
    curl_easy_setopt(handle(m_curl), CURLOPT_NOBODY, 1L);
    const int rc = perform();
    if (rc != CURLE_OK) {
        fail(QStringLiteral("FtpConnect to %1:%2 as \"%3\"").arg(m_host).arg(m_port).arg(m_user),
             rc);
        return false;
    }
    m_connected = true;
    m_lastError.clear();
    return true;
}

void FtpCientOCX::FtpDisconnect()
{
    m_connected = false;
    m_dir.clear();
    m_knownDirs.clear();
    m_lastError.clear();
    dropHandles(); // QUIT on a live connection
}

bool FtpCientOCX::FtpDownload(const QString& remoteName, const QString& localPath)
{
    if (!ready("FtpDownload", true))
        return false;
    const QString what = QStringLiteral("FtpDownload of \"%1\" from %2 to %3")
                             .arg(remoteName, currentDir(), localPath);
    if (isBadName(remoteName)) {
        m_lastError = what + QStringLiteral(" failed: not a usable file name");
        return false;
    }
    // The data goes to a temporary file beside localPath, renamed over it once
    // complete (atomic on the same file system). No fsync as QSaveFile would
    // do: a fetched copy needs a whole file, not one that survives a power cut.
    const QFileInfo target(localPath);
    QTemporaryFile out(
        target.absoluteDir().filePath(target.fileName() + QStringLiteral(".part.XXXXXX")));
    if (!out.open()) {
        m_lastError = what + QStringLiteral(" failed: cannot write beside the local file: ") +
                      out.errorString();
        return false;
    }
    out.setPermissions(target.exists() ? QFile::permissions(localPath)
                                       : PrivateFiles::fileMode(target.absolutePath()));

    prepare(urlForFile(remoteName), Progress::Download);
    curl_write_callback write = [](char* data, size_t size, size_t count, void* file) -> size_t {
        const qint64 length = qint64(size * count);
        return static_cast<QFile*>(file)->write(data, length) == length ? size * count : 0;
    };
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(handle(m_curl), CURLOPT_WRITEDATA, static_cast<QFile*>(&out));
    const int rc = perform();
    if (rc != CURLE_OK) {
        fail(what, rc);
        return false;
    }
    curl_off_t expected = -1;
    curl_easy_getinfo(handle(m_curl), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    if (!out.flush()) {
        m_lastError = what + QStringLiteral(" failed: cannot write: ") + out.errorString();
        return false;
    }
    const qint64 received = out.size();
    if (expected >= 0 && expected != received) {
        m_lastError =
            what + QStringLiteral(" failed: %1 of %2 bytes arrived").arg(received).arg(expected);
        return false;
    }
    out.close();
    std::error_code error;
    std::filesystem::rename(QFileInfo(out.fileName()).filesystemAbsoluteFilePath(),
                            target.filesystemAbsoluteFilePath(), error);
    if (error) {
        m_lastError = what + QStringLiteral(" failed: cannot replace the local file: ") +
                      QString::fromStdString(error.message());
        return false;
    }
    out.setAutoRemove(false); // it is localPath now
    progress(received, received, true);
    m_lastError.clear();
    return true;
}

bool FtpCientOCX::FtpMakeLocalDir(const QString& localPath)
{
    return !localPath.isEmpty() && PrivateFiles::makePath(localPath);
}

void FtpCientOCX::FtpMakeDir(const QString& name)
{
    if (!ready("FtpMakeDir", true))
        return;
    const QString what = QStringLiteral("FtpMakeDir of \"%1\" in %2").arg(name, currentDir());
    if (isBadName(name)) {
        m_lastError = what + QStringLiteral(" failed: not a usable folder name");
        return;
    }

    // A folder made or found on this connection is there still: the bulk
    // upload asks for the same day folder before every file.
    QStringList folder = m_dir;
    folder << name;
    const QString path = folder.join(u'/');
    if (m_knownDirs.contains(path)) {
        m_lastError.clear();
        return;
    }

    // MKD with the folder's path from the root (transfers change no folder
    // on the server); nothing is transferred.
    prepare(urlForDir({}), Progress::None);
    const QByteArray command = "MKD " + path.toUtf8();
    curl_slist* commands = curl_slist_append(nullptr, command.constData());
    curl_easy_setopt(handle(m_curl), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(handle(m_curl), CURLOPT_POSTQUOTE, commands);
    int rc = perform();
    curl_slist_free_all(commands);
    if (rc == CURLE_OK) {
        m_lastError.clear();
        m_knownDirs.insert(path);
        return;
    }
    fail(what, rc);
    if (rc != CURLE_QUOTE_ERROR)
        return;

    // Refused: fine when the folder is there already, which changing into it
    // shows.
    const QString refused = m_lastError;
    prepare(urlForDir(folder), Progress::None);
    curl_easy_setopt(handle(m_curl), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(handle(m_curl), CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    rc = perform();
    m_lastError = rc == CURLE_OK ? QString() : refused;
    if (rc == CURLE_OK)
        m_knownDirs.insert(path);
}

void FtpCientOCX::FtpChangeDir(const QString& name)
{
    if (!ready("FtpChangeDir", true))
        return;
    if (name.contains(u'\r') || name.contains(u'\n') || name.contains(QChar(0))) {
        m_lastError =
            QStringLiteral("FtpChangeDir to \"%1\" failed: not a usable folder name").arg(name);
        return;
    }
    if (name.startsWith(u'/'))
        m_dir.clear();
    for (const QString& part : name.split(u'/')) {
        if (part.isEmpty() || part == u'.')
            continue;
        if (part == QStringLiteral("..")) {
            if (!m_dir.isEmpty())
                m_dir.removeLast();
            continue;
        }
        m_dir << part;
    }
    m_lastError.clear();
}

bool FtpCientOCX::FtpUpload(const QString& localPath, const QString& remoteName)
{
    return store(localPath, remoteName, true);
}

bool FtpCientOCX::FtpStore(const QString& localPath, const QString& remoteName)
{
    return store(localPath, remoteName, false);
}

bool FtpCientOCX::store(const QString& localPath, const QString& remoteName, bool checkSize)
{
    if (!ready(checkSize ? "FtpUpload" : "FtpStore", true))
        return false;
    const QString what = QStringLiteral("%1 of %2 to \"%3\" in %4")
                             .arg(QLatin1String(checkSize ? "FtpUpload" : "FtpStore"), localPath,
                                  remoteName, currentDir());
    if (isBadName(remoteName)) {
        m_lastError = what + QStringLiteral(" failed: not a usable file name");
        return false;
    }
    const QFileInfo info(localPath);
    if (!info.isFile()) {
        m_lastError = what + QStringLiteral(" failed: no such local file");
        return false;
    }
    QFile in(localPath);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_lastError = what + QStringLiteral(" failed: cannot read: ") + in.errorString();
        return false;
    }
    const qint64 size = in.size();

    prepare(urlForFile(remoteName), Progress::Upload);
    curl_read_callback read = [](char* data, size_t size, size_t count, void* file) -> size_t {
        const qint64 got = static_cast<QFile*>(file)->read(data, qint64(size * count));
        return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
    };
    curl_easy_setopt(handle(m_curl), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle(m_curl), CURLOPT_READFUNCTION, read);
    curl_easy_setopt(handle(m_curl), CURLOPT_READDATA, &in);
    curl_easy_setopt(handle(m_curl), CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
    // Stored only when the server holds the whole file: right after the
    // transfer, on the same connection, ask its size.
    QStringList file = m_dir;
    file << remoteName;
    const QByteArray sizeCommand = "SIZE " + file.join(u'/').toUtf8();
    curl_slist* after = checkSize ? curl_slist_append(nullptr, sizeCommand.constData()) : nullptr;
    curl_easy_setopt(handle(m_curl), CURLOPT_POSTQUOTE, after);
    const int rc = perform();
    curl_slist_free_all(after);
    if (rc != CURLE_OK) {
        fail(rc == CURLE_QUOTE_ERROR ? what + QStringLiteral(" (size check)") : what, rc);
        // The folder may have gone on the server: ask again next time.
        m_knownDirs.clear();
        return false;
    }
    bool known = m_lastReply.startsWith("213 ");
    const qint64 stored = known ? m_lastReply.mid(4).trimmed().toLongLong(&known) : -1;
    if (checkSize && (!known || stored != size)) {
        m_lastError = what + QStringLiteral(" failed: the server holds %1 of %2 bytes")
                                 .arg(known ? QString::number(stored)
                                            : QStringLiteral("an unknown number (\"%1\")")
                                                  .arg(QString::fromUtf8(m_lastReply)))
                                 .arg(size);
        return false;
    }
    progress(size, size, true);
    m_lastError.clear();
    return true;
}

bool FtpCientOCX::FtpListDir(Sizes* sizes)
{
    if (!ready("FtpListDir", true))
        return false;
    // MLSD gives exact sizes in a fixed form; a server that does not know it
    // refuses it at once and is asked with LIST instead.
    for (const char* command : {"MLSD", "LIST"}) {
        QByteArray body;
        prepare(urlForDir(m_dir), Progress::None);
        curl_easy_setopt(handle(m_curl), CURLOPT_CUSTOMREQUEST, command);
        curl_easy_setopt(handle(m_curl), CURLOPT_WRITEFUNCTION, appendTo);
        curl_easy_setopt(handle(m_curl), CURLOPT_WRITEDATA, &body);
        const int rc = perform();
        if (rc == CURLE_OK) {
            *sizes = parseListing(body);
            m_lastError.clear();
            return true;
        }
        if (!isUnknownCommand(m_replyCode) || qstrcmp(command, "LIST") == 0) {
            fail(QStringLiteral("FtpListDir of %1").arg(currentDir()), rc);
            return false;
        }
    }
    return false;
}

bool FtpCientOCX::FtpListFolders(const QStringList& folders, QHash<QString, Sizes>* listing)
{
    if (!ready("FtpListFolders", true))
        return false;
    listing->clear();
    QList<QByteArray> urls;
    for (const QString& folder : folders) {
        if (isBadName(folder)) {
            m_lastError =
                QStringLiteral("FtpListFolders of \"%1\" failed: not a usable folder name")
                    .arg(folder);
            return false;
        }
        urls << urlForDir(folder.split(u'/', Qt::SkipEmptyParts));
    }
    // MLSD gives exact sizes in a fixed form; a server that does not know it
    // refuses it at once and is asked with LIST instead.
    for (const char* command : {"MLSD", "LIST"}) {
        QList<Listed> listed(urls.size());
        listFolders(urls, command, listed);
        const bool unknownCommand =
            std::any_of(listed.cbegin(), listed.cend(),
                        [](const Listed& l) { return isUnknownCommand(l.reply); });
        if (unknownCommand && qstrcmp(command, "MLSD") == 0)
            continue;
        for (qsizetype i = 0; i < listed.size(); ++i) {
            const Listed& l = listed.at(i);
            if (l.result == CURLE_OK)
                listing->insert(folders.at(i), parseListing(l.body));
            else if (l.result != CURLE_REMOTE_ACCESS_DENIED && l.reply != 550) {
                m_replyCode = l.reply;
                m_lastReply.clear();
                m_errorBuffer[0] = '\0';
                fail(QStringLiteral("FtpListFolders of \"%1\"").arg(folders.at(i)), l.result);
                return false;
            }
        }
        m_lastError.clear();
        break;
    }
    return true;
}

void FtpCientOCX::listFolders(const QList<QByteArray>& urls, const char* command,
                              QList<Listed>& listed)
{
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(kListingConnections));
    QList<CURL*> easies;
    for (qsizetype i = 0; i < urls.size(); ++i) {
        CURL* easy = curl_easy_init();
        setCommonOptions(easy);
        curl_easy_setopt(easy, CURLOPT_URL, urls.at(i).constData());
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, command);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendTo);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &listed[i].body);
        curl_easy_setopt(easy, CURLOPT_PRIVATE, &listed[i]);
        curl_multi_add_handle(multi, easy);
        easies << easy;
    }
    int running = 1;
    while (running && !m_abort.load()) {
        if (curl_multi_perform(multi, &running) != CURLM_OK || !running)
            break;
        curl_multi_poll(multi, nullptr, 0, 5, nullptr);
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Listed* l = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &l);
        l->result = message->data.result;
        curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &l->reply);
    }
    for (CURL* easy : easies) {
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
    }
    curl_multi_cleanup(multi);
}

namespace {

// The rest of a listing line after `fields` blank-separated fields: the name,
// which may hold blanks of its own.
QString afterFields(const QByteArray& line, int fields)
{
    qsizetype at = 0;
    for (int f = 0; f < fields; ++f) {
        while (at < line.size() && line.at(at) == ' ')
            ++at;
        while (at < line.size() && line.at(at) != ' ')
            ++at;
    }
    while (at < line.size() && line.at(at) == ' ')
        ++at;
    return QString::fromUtf8(line.mid(at));
}

} // namespace

FtpCientOCX::Sizes FtpCientOCX::parseListing(const QByteArray& text)
{
    Sizes sizes;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype space = line.indexOf(' ');
        const QByteArray facts = space > 0 ? line.left(space) : QByteArray();
        if (facts.endsWith(';') && facts.contains('=')) { // MLSD: "type=file;size=12; name"
            QByteArray type, size;
            for (const QByteArray& fact : facts.toLower().split(';')) {
                if (fact.startsWith("type="))
                    type = fact.mid(5);
                else if (fact.startsWith("size="))
                    size = fact.mid(5);
            }
            bool ok = false;
            const qint64 bytes = size.toLongLong(&ok);
            if (type == "file" && ok)
                sizes.insert(QString::fromUtf8(line.mid(space + 1)), bytes);
            continue;
        }
        const QList<QByteArray> words = line.simplified().split(' ');
        bool ok = false;
        if (line.startsWith('-') && words.size() >= 9) { // Unix: mode links owner group size …
            const qint64 bytes = words.at(4).toLongLong(&ok);
            if (ok)
                sizes.insert(afterFields(line, 8), bytes);
        } else if (words.size() >= 4 && words.at(0).size() >= 8 && words.at(0).at(2) == '-') {
            const qint64 bytes = words.at(2).toLongLong(&ok); // DOS: date time size name
            if (ok)
                sizes.insert(afterFields(line, 3), bytes);
        }
    }
    return sizes;
}

void FtpCientOCX::setCommonOptions(void* easyHandle) const
{
    CURL* h = handle(easyHandle);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, long(CURLPROTO_FTP));
#endif
    curl_easy_setopt(h, CURLOPT_USERNAME, m_user.toUtf8().constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, m_password.toUtf8().constData());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(kConnectTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long(m_stallSeconds.load()));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(m_stallSeconds.load()));
    // No CWD: every command names its path from the root ("STOR TEMP/day/f"),
    // so the files of one folder cost two commands each, EPSV and STOR.
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 1L); // passive: EPSV, PASV when refused
    curl_easy_setopt(h, CURLOPT_FTP_SKIP_PASV_IP, 1L);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L); // binary
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, kBufferSize);
    // Explicit TLS: AUTH TLS, then PROT P for every data connection (under
    // Try, in clear when the server offers no TLS; under Require, refused).
    static constexpr long kUseSsl[] = {CURLUSESSL_NONE, CURLUSESSL_TRY, CURLUSESSL_ALL};
    curl_easy_setopt(h, CURLOPT_USE_SSL, kUseSsl[int(m_tls.mode)]);
    curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_tls.caFile.isEmpty()) {
        // Only the authorities named: the system's folder of them is left out.
        curl_easy_setopt(h, CURLOPT_CAINFO, QFile::encodeName(m_tls.caFile).constData());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    if (qEnvironmentVariableIsSet("BRENVO_FTP_VERBOSE"))
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
}

void FtpCientOCX::prepare(const QByteArray& url, Progress progress)
{
    CURL* h = handle(m_curl);
    curl_easy_reset(h); // options only; the live connection stays
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    setCommonOptions(h);
    m_errorBuffer[0] = '\0';
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer);

    // Nothing but a download has a body; for FTP libcurl also hands the file
    // size of a size request to the body writer ("Content-Length: n").
    curl_write_callback discard = [](char*, size_t size, size_t count, void*) -> size_t {
        return size * count;
    };
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discard);

    // Server replies: keep the last complete one for lastError().
    curl_write_callback header = [](char* data, size_t size, size_t count, void* self) -> size_t {
        const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
        if (line.size() >= 4 && line[3] == ' ' && std::isdigit(uchar(line[0])))
            static_cast<FtpCientOCX*>(self)->m_lastReply = line;
        return size * count;
    };
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);

    // Progress, abort and the stall limit; called at every turn of the
    // transfer loop, so also while waiting for a reply.
    curl_xferinfo_callback onProgress = [](void* p, curl_off_t dltotal, curl_off_t dlnow,
                                           curl_off_t ultotal, curl_off_t ulnow) -> int {
        auto* self = static_cast<FtpCientOCX*>(p);
        if (self->m_abort.load())
            return 1;
        const auto now = std::chrono::steady_clock::now();
        const qint64 moved = qint64(dlnow) + qint64(ulnow);
        if (moved != self->m_lastMoved) {
            self->m_lastMoved = moved;
            self->m_lastMoveTime = now;
        } else if (now - self->m_lastMoveTime >= std::chrono::seconds(self->m_activeStall)) {
            self->m_stalled = true;
            return 1;
        }
        if (self->m_progressKind == Progress::Upload)
            self->progress(ulnow, ultotal);
        else if (self->m_progressKind == Progress::Download)
            self->progress(dlnow, dltotal);
        return 0;
    };
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);

    m_progressKind = progress;
    m_activeStall = m_stallSeconds.load();
    m_lastMoved = -1;
    m_stalled = false;
    m_lastReply.clear();
    m_emittedDone = -1;
    m_emittedTotal = -1;
}

int FtpCientOCX::perform()
{
    CURL* easy = handle(m_curl);
    auto* multi = static_cast<CURLM*>(m_multi);
    m_lastMoveTime = std::chrono::steady_clock::now();
    m_lastProgressPost = m_lastMoveTime;
    const auto rc = CURLcode(transfer(multi, easy));
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &m_replyCode);
    long localPort = 0;
    curl_easy_getinfo(easy, CURLINFO_LOCAL_PORT, &localPort);
    // Stopped by us or by a time limit while waiting for an answer: libcurl
    // may keep that connection, whose next answer would then belong to the
    // old command. So too after a passive-mode reply that was not one: when
    // a server refuses a STOR and closes its data connection in the middle
    // of the TLS handshake, libcurl 7.88 takes that for a failed EPSV, sends
    // PASV and reads the refusal as its answer. Shut it, so that dropping it
    // sends no QUIT into the void and waits for nothing; the next operation
    // connects afresh.
    const bool wedged = rc == CURLE_ABORTED_BY_CALLBACK || rc == CURLE_OPERATION_TIMEDOUT ||
                        rc == CURLE_FTP_WEIRD_PASV_REPLY;
    if (wedged) {
        curl_socket_t control = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &control) == CURLE_OK &&
            control != CURL_SOCKET_BAD)
            ::shutdown(control, kShutBoth);
    }
    curl_multi_remove_handle(multi, easy);
    // A control connection of its own has a local port of its own
    // (CURLINFO_NUM_CONNECTS would count the data connections too).
    if (localPort > 0 && localPort != m_controlPort) {
        m_controlPort = localPort;
        ++m_connectionsMade;
    }
    if (wedged) {
        dropHandles();
        ensureHandles();
    }
    return rc;
}

int FtpCientOCX::transfer(void* multiHandle, void* easyHandle)
{
    // Driven by hand rather than by curl_easy_perform: libcurl 7.88 now and
    // then sleeps a whole second in its wait after a passive-mode reply
    // before it opens the data connection (the curl tool shows it too);
    // waiting at most kPollMs at a time makes that a few milliseconds.
    constexpr long kPollMs = 5;
    auto* multi = static_cast<CURLM*>(multiHandle);
    auto* easy = handle(easyHandle);
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK || !running)
            break;
        long wait = -1;
        curl_multi_timeout(multi, &wait);
        if (wait < 0 || wait > kPollMs)
            wait = kPollMs;
        if (curl_multi_poll(multi, nullptr, 0, int(wait), nullptr) != CURLM_OK)
            break;
    }
    CURLcode result = CURLE_RECV_ERROR; // libcurl ended without a word
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            result = message->data.result;
    }
    return result;
}

bool FtpCientOCX::ensureHandles()
{
    if (!m_curl)
        m_curl = curl_easy_init();
    if (!m_multi)
        m_multi = curl_multi_init();
    return m_curl && m_multi;
}

void FtpCientOCX::dropHandles()
{
    // The multi handle holds the connection: it goes first (with a QUIT on a
    // live connection), then the easy handle. Neither is in a transfer here.
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
    if (m_curl)
        curl_easy_cleanup(handle(m_curl));
    m_multi = nullptr;
    m_curl = nullptr;
    m_controlPort = 0;
}

void FtpCientOCX::fail(const QString& what, int curlCode)
{
    const auto rc = CURLcode(curlCode);
    const QString curlText =
        QString::fromUtf8(m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(rc));
    m_lostConnection = m_stalled || rc == CURLE_OPERATION_TIMEDOUT ||
                       rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_CONNECT ||
                       rc == CURLE_GOT_NOTHING || rc == CURLE_SEND_ERROR || rc == CURLE_RECV_ERROR;
    QString text = what + QStringLiteral(" failed: ");
    if (m_abort.load())
        text += QStringLiteral("aborted");
    else if (m_stalled)
        text += QStringLiteral("no data and no answer from the server for %1 s (stall limit)")
                    .arg(m_activeStall);
    else if (rc == CURLE_OPERATION_TIMEDOUT && m_replyCode > 0) // connected, then silence
        text += QStringLiteral("no answer from the server for %1 s (stall limit): %2")
                    .arg(m_activeStall)
                    .arg(curlText);
    else if (rc == CURLE_USE_SSL_FAILED)
        text += QStringLiteral("the server offers no TLS and FtpTls is require: ") + curlText;
    else if (rc == CURLE_PEER_FAILED_VERIFICATION)
        text += QStringLiteral("TLS refused, the server's certificate is not signed by an "
                               "authority trusted (FtpCaFile) or does not name this server: ") +
                curlText;
    else if (rc == CURLE_SSL_CACERT_BADFILE)
        text += QStringLiteral("FtpCaFile cannot be read: ") + curlText;
    else
        text += curlText;
    text += QStringLiteral(" (curl error %1").arg(curlCode);
    if (!m_lastReply.isEmpty() && m_lastReply.left(3).toInt() >= 400)
        text += QStringLiteral(", server replied \"%1\"").arg(QString::fromUtf8(m_lastReply));
    else if (m_replyCode >= 400)
        text += QStringLiteral(", FTP reply %1").arg(m_replyCode);
    text += u')';
    m_lastError = text;
}

QByteArray FtpCientOCX::urlForDir(const QStringList& dir) const
{
    QString host = m_host;
    if (host.contains(u':') && !host.startsWith(u'['))
        host = u'[' + host + u']'; // IPv6 literal
    QByteArray url = "ftp://" + host.toUtf8() + ':' + QByteArray::number(m_port) + '/';
    for (const QString& part : dir)
        url += QUrl::toPercentEncoding(part) + '/';
    return url;
}

QByteArray FtpCientOCX::urlForFile(const QString& name) const
{
    return urlForDir(m_dir) + QUrl::toPercentEncoding(name);
}

void FtpCientOCX::progress(qint64 done, qint64 total, bool last)
{
    if (done == m_emittedDone && total == m_emittedTotal)
        return;
    // At most every kProgressInterval: a short transfer wakes nobody up but
    // with its final value.
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - m_lastProgressPost < kProgressInterval)
        return;
    m_lastProgressPost = now;
    m_emittedDone = done;
    m_emittedTotal = total;
    emit TransferProgress(done, total);
}
