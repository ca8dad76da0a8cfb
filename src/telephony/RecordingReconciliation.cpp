#include "telephony/RecordingReconciliation.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTime>

#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/FtpLogin.h"
#include "foundation/Session.h"
#include "platform/FtpCientOCX.h"
#include "platform/FtpWorker.h"
#include "platform/ProgramFolder.h"
#include "platform/SqlDialect.h"
#include "telephony/ResultCode.h"

using SqlDialect::quoted;

namespace {

const QString kLocation = QStringLiteral("Frm010000");
const QString kFunction = QStringLiteral("CheckRecordings");
// 4-bit samples at 8 kHz.
constexpr int kVoxBytesPerSecond = 4000;
// A file this many seconds shorter than its row lost part of its call.
constexpr int kShortBySeconds = 2;
// A row's values as the local file names them, in the order its central
// twin is written; the central file calls the memo "Memo".
const char* const kRowColumns[] = {
    "BranchID",   "BranchName", "TeamID",     "AgentID",  "Name",   "JuminNo", "DataType",
    "CampaignID", "RegDate",    "R_Tel",      "RecBound", "Status", "R_Date",  "R_StartTime",
    "R_EndTime",  "R_Time",     "FolderName", "R_Path",   "CustID", "tMemo"};
constexpr int kRowStatus = 11, kRowEnd = 14, kRowSeconds = 15;

// The row's columns for a select or an insert; the central file's memo is
// read under the local name.
QString rowColumns(bool central)
{
    QStringList names;
    for (const char* name : kRowColumns)
        names << (central && qstrcmp(name, "tMemo") == 0 ? QLatin1String("Memo as tMemo")
                                                         : QLatin1String(name));
    return names.join(u',');
}

QString values(const QStringList& list)
{
    return QStringLiteral(" values (") + SqlDialect::quotedList(list) + u')';
}

QString serverPath(const QString& day, const QString& status)
{
    return ResultCode(status).serverFolder(day);
}

} // namespace

RecordingReconciliation::RecordingReconciliation(Session& session, Database& db, ErrorLog& errors,
                                                 QObject* parent)
    : QObject(parent), m_session(session), m_db(db), m_errors(errors)
{
}

bool RecordingReconciliation::isOwnFile(const QString& name) const
{
    static const QRegularExpression stamp(QStringLiteral("^\\d{14}"));
    return name.size() == 14 + m_session.BranchID.size() + m_session.AgentID.size() + 4 &&
           stamp.match(name).hasMatch() &&
           name.mid(14) == m_session.BranchID + m_session.AgentID + QStringLiteral(".vox");
}

int RecordingReconciliation::secondsOf(qint64 bytes)
{
    return int((bytes + kVoxBytesPerSecond / 2) / kVoxBytesPerSecond);
}

void RecordingReconciliation::report(const QString& what, const QString& path, const QString& sql)
{
    // Into the day's error log without a box each: the window sums them up.
    m_errors.appendErrorLog(what + QStringLiteral(": ") + path, kLocation, kFunction, sql);
}

void RecordingReconciliation::Reconcile(FtpWorker& ftp, std::function<void(const Findings&)> done)
{
    // The check compares the two databases: the central one first gets the
    // writes it missed.
    m_db.journal().deliver();
    auto check = std::make_shared<Check>();
    if (!gather(*check)) {
        done(check->found);
        return;
    }
    // Every size the server holds, one listing per day folder and its TEMP twin.
    QStringList remoteFolders;
    for (const QString& day : std::as_const(check->days))
        remoteFolders << day << QStringLiteral("TEMP/") + day;
    const FtpLogin login = FtpLogin::of(m_session);
    using Listing = std::optional<QHash<QString, FtpCientOCX::Sizes>>;
    ftp.run<Listing>(
        this,
        [=](FtpCientOCX& c) -> Listing {
            QHash<QString, FtpCientOCX::Sizes> server;
            if (login.connect(c) && c.FtpListFolders(remoteFolders, &server))
                return server;
            return std::nullopt;
        },
        [this, check, done](const Listing& server) {
            repair(*check, server);
            done(check->found);
        });
}

bool RecordingReconciliation::gather(Check& check)
{
    const QString root = ProgramFolder::path(m_session.programFolder, QStringLiteral("\\RECDATA"));
    const QString since = QDate::currentDate().addDays(-kDays).toString(QStringLiteral("yyyyMMdd"));
    const QString own = QStringLiteral("BranchID = '") + quoted(m_session.BranchID) +
                        QStringLiteral("' and AgentID = '") + quoted(m_session.AgentID) +
                        QStringLiteral("'");

    // This agent's rows of the recent days and of every day that still has a
    // waiting row (all of that day's, so a file already sent is known as
    // such), in one question. Another agent's rows on this desk are theirs
    // to check.
    Database::Use local(m_db, Database::Slot::Local);
    if (!local.connected())
        return false;
    Recordset rs;
    if (!m_db.query(
            Database::Slot::Local,
            QStringLiteral(" Select * from recfile where ") + own +
                QStringLiteral(" and (FolderName >= '") + since +
                QStringLiteral("' or FolderName in (select FolderName from recfile where ") + own +
                QStringLiteral(" and UploadStatus <> '1'))"),
            &rs, kLocation, kFunction))
        return false;
    QSet<QString> daySet;
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
        Row row{Database::field(rs, "FolderName"),
                Database::field(rs, "Status"),
                Database::field(rs, "UploadStatus"),
                Database::field(rs, "FileFullPath"),
                {}};
        for (const char* name : kRowColumns)
            row.central << Database::field(rs, name);
        daySet.insert(row.day);
        check.rows.insert(Database::field(rs, "R_Path"), row);
    }
    static const QRegularExpression dayName(QStringLiteral("^\\d{8}$"));
    for (const QString& day : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (dayName.match(day).hasMatch() && day >= since)
            daySet.insert(day);
    check.days = QStringList(daySet.cbegin(), daySet.cend());
    check.days.removeAll(QString());
    std::sort(check.days.begin(), check.days.end());
    if (check.days.isEmpty())
        return false;
    emit progressMaximum(int(check.days.size()));

    // Which of them the central database holds, and what: a file whose local
    // row was lost takes its call's row from there.
    Database::Use central(m_db, Database::Slot::Main);
    if (!central.connected())
        return false;
    Recordset twins;
    if (!m_db.query(Database::Slot::Main,
                    QStringLiteral(" Select UploadStatus,") + rowColumns(true) +
                        QStringLiteral(" from recfile where ") + own +
                        QStringLiteral(" and FolderName in (") +
                        SqlDialect::quotedList(check.days) + u')',
                    &twins, kLocation, kFunction))
        return false;
    for (twins.moveFirst(); !twins.isEof(); twins.moveNext()) {
        const QString path = Database::field(twins, "R_Path");
        check.centralPaths.insert(path, Database::field(twins, "UploadStatus"));
        QStringList& twin = check.centralRows[path];
        for (const char* name : kRowColumns)
            twin << Database::field(twins, name);
    }
    return true;
}

void RecordingReconciliation::repair(
    Check& check, const std::optional<QHash<QString, FtpCientOCX::Sizes>>& listing)
{
    Findings& found = check.found;
    auto& rows = check.rows;
    auto& centralPaths = check.centralPaths;
    const QStringList& days = check.days;
    const bool serverKnown = listing.has_value();
    const QHash<QString, FtpCientOCX::Sizes> server =
        listing.value_or(QHash<QString, FtpCientOCX::Sizes>());
    const QString root = ProgramFolder::path(m_session.programFolder, QStringLiteral("\\RECDATA"));
    Database::Use local(m_db, Database::Slot::Local);
    Database::Use central(m_db, Database::Slot::Main);
    const auto execute = [this](Database::Slot slot, const QString& sql) {
        return m_db.execute(slot, sql, kLocation, kFunction);
    };
    for (int i = 0; i < days.size(); ++i) {
        const QString& day = days.at(i);
        emit status(QStringLiteral("녹음파일 점검: %1").arg(day),
                    QStringLiteral("녹음파일과 기록을 맞추어 보고 있습니다."),
                    QStringLiteral("%1 / %2일").arg(i + 1).arg(days.size()));
        const QDir folder(QDir(root).filePath(day));
        // A voice file of this desk without its row: the row from its name and size.
        for (const QFileInfo& file : folder.entryInfoList({QStringLiteral("*.vox")}, QDir::Files)) {
            ++found.files;
            const QString name = file.fileName();
            if (!isOwnFile(name) || rows.contains(name))
                continue;
            const int seconds = secondsOf(file.size());
            const QTime start = QTime::fromString(name.mid(8, 6), QStringLiteral("HHmmss"));
            const QString end = start.addSecs(seconds).toString(QStringLiteral("HHmmss"));
            const QString regDate = QDate::fromString(day, QStringLiteral("yyyyMMdd"))
                                        .toString(QStringLiteral("yyyy-MM-dd"));
            // The central twin holds the call (its customer, length and
            // result, which decides the server's folder); else the file alone.
            QStringList central = check.centralRows.value(name);
            if (central.isEmpty())
                central = QStringList{m_session.BranchID, m_session.BranchName, m_session.TeamID,
                                      m_session.AgentID}
                          << QStringList(4) << regDate << QStringList(2) << QStringLiteral("0")
                          << day << name.mid(8, 6) << end << QString::number(seconds) << day << name
                          << QStringList(2);
            if (central[kRowEnd].isEmpty() || central[kRowSeconds].isEmpty())
                std::tie(central[kRowEnd], central[kRowSeconds]) =
                    std::tuple(end, QString::number(seconds));
            const QString sql = QStringLiteral(" insert into recfile(") + rowColumns(false) +
                                QStringLiteral(",FileFullPath)") +
                                values(central + QStringList{file.absoluteFilePath()});
            if (!execute(Database::Slot::Local, sql))
                return;
            ++found.rowsWritten;
            report(QStringLiteral("voice file without a local row, row written"),
                   file.absoluteFilePath(), sql);
            Row row{day, central[kRowStatus], QStringLiteral("0"), file.absoluteFilePath(), central,
                    true};
            rows.insert(name, row);
        }
        for (auto it = rows.begin(); it != rows.end(); ++it) {
            Row& row = it.value();
            const QString& path = it.key();
            if (row.day != day)
                continue;
            const QFileInfo file(row.fullPath);
            if (!file.isFile()) {
                ++found.filesGone;
                report(QStringLiteral("recording row whose voice file is gone, left as it is"),
                       row.fullPath.isEmpty() ? path : row.fullPath, QString());
            } else if (const int rowSeconds = row.central.value(kRowSeconds).toInt();
                       secondsOf(file.size()) + kShortBySeconds < rowSeconds) {
                // The row keeps the call's length; the file holds what could be written.
                ++found.cutShort;
                report(QStringLiteral("voice file of %1 s for a call of %2 s, left as it is")
                           .arg(secondsOf(file.size()))
                           .arg(rowSeconds),
                       row.fullPath, QString());
            }
            // No central twin: written from the local row, waiting.
            if (!centralPaths.contains(path)) {
                const QString sql =
                    QStringLiteral(" insert into recfile(BranchID,BranchName,TeamID,AgentID,Name,"
                                   "JuminNo,DataType,CampaignID,RegDate,R_Tel,RecBound,Status,"
                                   "R_Date,R_StartTime,R_EndTime,R_Time,FolderName,R_Path,CustID,"
                                   "Memo,UploadStatus)") +
                    values(row.central + QStringList{QStringLiteral("0")});
                if (!execute(Database::Slot::Main, sql))
                    return;
                centralPaths.insert(path, QStringLiteral("0"));
                // A file found without rows is one fault, reported once above.
                if (!row.fromFile) {
                    ++found.centralWritten;
                    report(QStringLiteral("local row without its central row, central row written"),
                           path, sql);
                }
            }
            // Marked uploaded, but the server lost the copy or holds it cut
            // short, or the central twin lacks the mark (written just now, or
            // a stop between the two marks): waiting again in both, so the
            // upload sends the file whole and marks both rows.
            const bool copyLost =
                serverKnown && file.isFile() &&
                server.value(serverPath(day, row.status)).value(path, -1) != file.size();
            if (row.uploaded != QStringLiteral("1") ||
                (!copyLost && centralPaths.value(path) == QStringLiteral("1")))
                continue;
            const QString sql = QStringLiteral(" Update recfile Set UploadStatus = '0'") +
                                QStringLiteral("  where R_Path = '") + quoted(path) +
                                QStringLiteral("' ");
            if (!execute(Database::Slot::Local, sql) || !execute(Database::Slot::Main, sql))
                return;
            if (copyLost) {
                ++found.resend;
                report(QStringLiteral("server copy missing or of another size, sent again"),
                       serverPath(day, row.status) + u'/' + path, sql);
            }
        }
        emit progressValue(i + 1);
    }
    if (found.any())
        emit status(QStringLiteral("녹음파일 점검 완료"),
                    QStringLiteral("기록 없는 녹음파일 %1건, 중앙 기록 없는 녹음 %2건을 기록했고, "
                                   "서버에 온전히 없는 녹음 %3건을 다시 보냅니다. 녹음파일이 "
                                   "없는 기록 %4건, 통화보다 짧은 녹음파일 %5건은 오류기록에 "
                                   "남겼습니다.")
                        .arg(found.rowsWritten)
                        .arg(found.centralWritten)
                        .arg(found.resend)
                        .arg(found.filesGone)
                        .arg(found.cutShort),
                    QStringLiteral("녹음파일 %1개 점검").arg(found.files));
}
