#include "telephony/RecordingUpload.h"

#include <QFileInfo>
#include <QPointer>

#include <memory>

#include "foundation/Database.h"
#include "foundation/FtpLogin.h"
#include "foundation/Session.h"
#include "platform/FtpCientOCX.h"
#include "platform/FtpWorker.h"
#include "platform/OrvelMedia.h"
#include "platform/SqlDialect.h"
#include "telephony/Call.h"
#include "telephony/RecordingRecords.h"

namespace {
// SQL Server takes long lists, but not without end.
constexpr qsizetype kNamesPerStatement = 500;
} // namespace

RecordingUpload::RecordingUpload(Session& session, Database& db, RecordingRecords& records,
                                 const OrvelMedia& media)
    : m_session(session), m_db(db), m_records(records), m_media(media)
{
}

void RecordingUpload::enterFolder(FtpCientOCX& ftp, const QString& folder)
{
    // "TEMP/yyyymmdd" or "yyyymmdd", each level made if need be (an
    // existing one is fine) and entered.
    for (const QString& part : folder.split(u'/')) {
        ftp.FtpMakeDir(part);
        ftp.FtpChangeDir(part);
    }
}

bool RecordingUpload::sendable(const QString& path, const QString& seconds) const
{
    // A row without its file stays waiting, and so does an empty file of a
    // call that lasted (begun on a full disk): it must never count as sent.
    // An empty file of a call hung up at once is all there was to record. A
    // file still being recorded is never sent half-way.
    const QFileInfo file(path);
    return file.exists() && (file.size() > 0 || seconds.trimmed() == u"0") &&
           path != m_media.recordingPath();
}

void RecordingUpload::UploadRecording(FtpWorker& ftp, const Call& call, std::function<void()> done)
{
    const QString fileName = call.RecFileName;
    const QString path = call.RecFilePath;
    // A result in neither row decides no folder yet: the file waits for it.
    if ((!call.result.isEmpty() && !call.resultSaved) || !sendable(path, call.CallDuration)) {
        done();
        return;
    }
    const QString folder = call.result.serverFolder(fileName.left(8));
    const FtpLogin server = FtpLogin::of(m_session);
    ftp.run<bool>(
        this,
        [=](FtpCientOCX& c) {
            if (!server.connect(c))
                return false;
            enterFolder(c, folder);
            bool stored = false;
            for (int attempt = 0; attempt < 3 && !stored; ++attempt)
                stored = c.FtpUpload(path, fileName);
            c.FtpDisconnect();
            return stored;
        },
        [this, fileName, done](const bool& stored) {
            if (stored && !m_session.ending) {
                RecRow row;
                row.R_Path = fileName;
                m_records.addToBoth(QStringLiteral("afterFtpUpload"), row);
            }
            done();
        });
}

void RecordingUpload::UploadPending(FtpWorker& ftp, std::function<void(const Pending&)> done)
{
    struct Item
    {
        QString path, remoteName, folder; // folder: "yyyymmdd" or "TEMP/yyyymmdd"
        qint64 size = 0;
    };
    QList<Item> items;
    Pending pending;
    {
        Database::Use use(m_db, Database::Slot::Local);
        // A call without its result waits for it: the result decides the folder.
        const QString sql = QStringLiteral(" Select * from recfile ") +
                            QStringLiteral(" where UploadStatus <> '1' and not (") +
                            RecordingRecords::kResultMissing + u')';
        Recordset rs;
        if (!m_db.query(Database::Slot::Local, sql, &rs, QStringLiteral("Frm010000"),
                        QStringLiteral("uploadfile"))) {
            done(pending);
            return;
        }
        pending.waiting = rs.recordCount();
        for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
            const QVariant fullPath = rs.value(QStringLiteral("FileFullPath"));
            const QString path = fullPath.toString();
            Item item;
            if (!fullPath.isNull() && sendable(path, Database::field(rs, "R_Time"))) {
                const auto f = [&rs](const char* name) { return Database::field(rs, name); };
                item = {path, f("R_Path"), ResultCode(f("Status")).serverFolder(f("FolderName")),
                        QFileInfo(path).size()};
            }
            items << item;
        }
    }
    if (items.isEmpty()) {
        done(pending);
        return;
    }
    emit progressMaximum(int(items.size()));
    const FtpLogin server = FtpLogin::of(m_session);
    const QPointer<QObject> self(this);
    const auto sent = std::make_shared<int>(0); // read and written on this thread only
    ftp.run<QString>(
        this,
        [=, this, &ftp](FtpCientOCX& c) -> QString {
            // One connection for the run, and one remote folder while its
            // rows follow each other: a file costs its transfer only, and one
            // listing per folder says which of its files the server holds
            // whole. Nothing is marked before that.
            bool connected = false;
            QString folder;
            QList<std::pair<QString, qint64>> stored; // sent into folder, not confirmed yet
            const auto confirm = [&] {
                FtpCientOCX::Sizes held;
                QStringList whole;
                if (!stored.isEmpty() && c.FtpListDir(&held))
                    for (const auto& [name, size] : stored)
                        if (held.value(name, -1) == size)
                            whole << name;
                stored.clear();
                if (!whole.isEmpty())
                    ftp.report(self, [this, whole, sent] {
                        markUploaded(whole);
                        *sent += int(whole.size());
                    });
            };
            // A server that stopped answering or moving data ends the run as
            // one that cannot be reached does: the next file would only wait
            // out the stall limit again.
            for (int i = 0; i < items.size(); ++i) {
                const Item& item = items.at(i);
                if (!item.path.isEmpty()) {
                    if (!connected && !(connected = server.connect(c)))
                        return c.lastError();
                    if (item.folder != folder) {
                        confirm();
                        if (c.lostConnection())
                            return c.lastError();
                        c.FtpChangeDir(QStringLiteral("/"));
                        enterFolder(c, item.folder);
                        folder = item.folder;
                    }
                    if (c.FtpStore(item.path, item.remoteName))
                        stored.append({item.remoteName, item.size});
                    else if (c.lostConnection())
                        return c.lastError();
                }
                if (c.aborted())
                    return c.lastError();
                ftp.report(self, [this, i] { emit progressValue(i + 1); });
            }
            confirm();
            if (c.lostConnection())
                return c.lastError();
            c.FtpDisconnect();
            return QString();
        },
        [pending, sent, done](const QString& stopped) {
            Pending result = pending;
            result.sent = *sent;
            result.stopped = stopped;
            done(result);
        });
}

void RecordingUpload::markUploaded(const QStringList& fileNames)
{
    markUploaded(Database::Slot::Local, fileNames, QStringLiteral("UpdateMDB"));
    markUploaded(Database::Slot::Main, fileNames, QStringLiteral("UpdateMsSQL"));
}

void RecordingUpload::markUploaded(Database::Slot slot, const QStringList& fileNames,
                                   const QString& function)
{
    // One transaction for them all, in as few statements as the server takes
    // names in one list.
    QStringList statements;
    for (qsizetype at = 0; at < fileNames.size(); at += kNamesPerStatement) {
        const QStringList part = fileNames.mid(at, kNamesPerStatement);
        const QString list = SqlDialect::quotedList(part);
        const QString names =
            part.size() == 1 ? QStringLiteral("= ") + list : QStringLiteral("in (") + list + u')';
        statements << QStringLiteral("Update recfile SET  UploadStatus = '1'   where R_Path ") +
                          names + u' ';
    }
    const QString location = QStringLiteral("Frm010000");
    const auto markAll = [&] {
        for (const QString& sql : statements)
            if (!m_db.execute(slot, sql, location, function))
                return false;
        return true;
    };
    Database::Use use(m_db, slot);
    if (statements.size() == 1)
        markAll();
    else
        m_db.inTransaction(location, function, markAll, slot);
}
