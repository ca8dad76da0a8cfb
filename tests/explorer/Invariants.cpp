#include "Invariants.h"

#include <algorithm>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <tuple>

QList<QStringList> Invariants::query(const QString& folder, const char* file, const QString& sql,
                                     bool* ok)
{
    QList<QStringList> out;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(folder + u'/' + QLatin1String(file));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QSqlQuery q(db);
        const bool done = db.open() && q.exec(sql);
        if (ok)
            *ok = done;
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i).toString();
            out << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

namespace {

using Invariants::query;

constexpr qint64 kVoxBytesPerSecond = 4000;

qint64 sum(const QString& folder, const char* column, const char* table)
{
    const QString sql = say("SELECT coalesce(sum(%1), 0) FROM %2", column, table);
    return query(folder, "branch0001.db", sql).value(0).value(0).toLongLong();
}

qint64 wallTime(const QString& date, const QString& time)
{
    return QDateTime::fromString(date + time, QStringLiteral("yyyyMMddHHmmss")).toMSecsSinceEpoch();
}

} // namespace

Baseline Invariants::baseline(const QString& folder)
{
    for (const char* sql :
         {"CREATE TABLE audit (ID TEXT, Status TEXT, Name TEXT)",
          "CREATE TRIGGER audit_customer AFTER UPDATE ON gogakinfo WHEN old.Status IS NOT "
          "new.Status OR old.Name IS NOT new.Name BEGIN INSERT INTO audit VALUES (new.ID, "
          "new.Status, new.Name); END"})
        query(folder, "branch0001.db", QString::fromUtf8(sql));
    Baseline base;
    for (const QStringList& row :
         query(folder, "branch0001.db", "SELECT ID, Name FROM gogakinfo")) {
        base.names.insert(row[0], row[1]);
        base.maxCustomer = qMax(base.maxCustomer, row[0].toLongLong());
    }
    base.recCnt = sum(folder, "RecCnt", "TB_AGENTCALLSTATISTICS");
    base.workCount = sum(folder, "WorkCount", "tb_branchworkcount");
    return base;
}

QStringList Invariants::check(const QString& folder, const QString& ftpRoot, const Record& record,
                              const Baseline& base)
{
    QStringList out;
    const auto local =
        query(folder, "Brenvo.mdb",
              "SELECT R_Path, FolderName, FileFullPath, Status, tMemo, CustID, "
              "Name, UploadStatus, R_Date, R_StartTime, R_EndTime, R_Time FROM recfile");
    const auto central = query(folder, "branch0001.db",
                               "SELECT R_Path, FolderName, FolderName, Status, Memo, CustID, Name, "
                               "UploadStatus, R_Date, R_StartTime, R_EndTime, R_Time FROM recfile");
    QHash<QString, QList<QStringList>> byPath[2];
    for (int db : {0, 1})
        for (const QStringList& row : db ? central : local)
            byPath[db][row[0]] << row;
    const char* const where[] = {"local", "central"};

    // Every voice file: named by its day and start, with one row in each database.
    static const QRegularExpression named(QStringLiteral("^(\\d{8})\\d{6}0001\\w+\\.vox$"));
    QDirIterator it(folder + QStringLiteral("/RECDATA"), {QStringLiteral("*.vox")}, QDir::Files,
                    QDirIterator::Subdirectories);
    QSet<QString> files;
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        const QString day = file.dir().dirName();
        if (day == QStringLiteral("Temp"))
            continue;
        const QString rel = day + u'/' + file.fileName();
        files.insert(rel);
        if (named.match(file.fileName()).captured(1) != day)
            out << say("file-name: RECDATA/%1 is not named by its day and start", rel);
        for (int db : {0, 1})
            if (const qsizetype found = byPath[db].value(file.fileName()).size(); found != 1)
                out << say("file-rows: %1 has %2 %3 rows", rel, found, where[db]);
    }
    for (int db : {0, 1})
        for (const QStringList& row : db ? central : local) {
            const QString rel = row[1] + u'/' + row[0];
            // Where the file went is the result's: the local row's, or the
            // central one's when the local file was away at the save.
            const bool temp = std::max(byPath[0].value(row[0]).value(0).value(3).toInt(),
                                       byPath[1].value(row[0]).value(0).value(3).toInt()) > 3;
            const QString sent = ftpRoot + (temp ? "/TEMP/" : "/") + rel;
            if (!files.contains(rel))
                out << say("file-rows: %1 row %2 has no voice file", where[db], rel);
            else if (row[7] == u"1" &&
                     QFileInfo(sent).size() != QFileInfo(folder + "/RECDATA/" + rel).size())
                out << say("uploaded: %1 row %2 is marked uploaded, the server does not hold the "
                           "whole file",
                           where[db], row[0]);
            else if (row[7] == u"1" && row[11].toInt() > 0 &&
                     QFileInfo(folder + "/RECDATA/" + rel).size() == 0)
                out << say("uploaded: %1 row %2 of a %3 s call is marked uploaded with an empty "
                           "file",
                           where[db], row[0], row[11]);
        }

    // Every call whose result was filed: its own result, memo and customer.
    // A result is kept through an outage unless the local file, which keeps
    // it, was away too; a new customer's name is not (its registration is not).
    const bool outage[] = {record.localDown, record.centralDown && record.localDown};
    const bool nameLost[] = {record.localDown, record.centralDown};
    for (const Record::CallNote& call : record.calls) {
        if (!call.saved || call.file.isEmpty())
            continue;
        for (int db : {0, 1})
            for (const QStringList& row : byPath[db].value(call.file)) {
                const bool isNew = call.kind == 'A' || call.kind == 'E';
                // A customer is read from the branch database when picked:
                // while it was away the pick brought no key.
                const bool customerOk =
                    isNew ? row[5].isEmpty() || row[5].toLongLong() > base.maxCustomer
                          : row[5] == call.customer || (record.centralDown && row[5].isEmpty());
                const auto mine = [&](const QString& value, const QString& own, bool ok) {
                    return ok || value == own || (outage[db] && (value.isEmpty() || value == u"0"));
                };
                if (!mine(row[3], call.status, false) || !mine(row[4], call.memo, false) ||
                    !mine(row[5], call.customer, customerOk) ||
                    !mine(row[6], call.typedName,
                          call.typedName.isEmpty() || (nameLost[db] && row[6].isEmpty())))
                    out << say("own-result: %1 row %2 holds status %3, memo '%4', customer %5, "
                               "name '%6'; its call filed %7, '%8' for customer %9 (%10) '%11'",
                               where[db], call.file, row[3], row[4], row[5], row[6], call.status,
                               call.memo, isNew ? QStringLiteral("new") : call.customer,
                               QString(QChar::fromLatin1(call.kind)), call.typedName);
            }
    }

    // A customer changes only by a result filed for a call that picked it; a
    // new one also by the details typed for its call, kept when picked later.
    const auto anyCall = [&record](const auto& test) {
        return std::any_of(record.calls.cbegin(), record.calls.cend(), test);
    };
    for (const QStringList& row :
         query(folder, "branch0001.db", QStringLiteral("SELECT ID, Status, Name FROM audit"))) {
        const bool isNew = row[0].toLongLong() > base.maxCustomer;
        const auto typed = [&row](const Record::CallNote& c) {
            return (c.kind == 'A' || c.kind == 'E') && (row[2].isEmpty() || row[2] == c.typedName);
        };
        const bool named = isNew ? anyCall(typed) : row[2] == base.names.value(row[0]);
        const bool filed =
            named && anyCall([&](const Record::CallNote& c) {
                return (c.saved && c.kind != 'C' && c.customer == row[0] && c.status == row[1]) ||
                       (isNew && typed(c) && (row[1] == u"0" || (c.saved && row[1] == c.status)));
            });
        if (!filed)
            out << say("customers: customer %1 was given status %2 and name '%3' by no call "
                       "that picked it",
                       row[0], row[1], row[2]);
    }

    // The work counters count each filed result once.
    const qint64 saved = std::count_if(record.calls.cbegin(), record.calls.cend(),
                                       [](const Record::CallNote& c) { return c.saved; });
    for (const auto& [now, then, what] :
         {std::tuple{sum(folder, "RecCnt", "TB_AGENTCALLSTATISTICS"), base.recCnt, "RecCnt"},
          std::tuple{sum(folder, "WorkCount", "tb_branchworkcount"), base.workCount, "WorkCount"}})
        if (now - then > saved || (now - then < saved && !record.centralDown))
            out << say("counters: %1 grew by %2 for %3 results filed", what, now - then, saved);

    // A recording lasts until the line is released or the program quits,
    // whatever short absences of the device came between; its file holds what
    // its rows say, but for what those absences kept from it, up to the row's
    // end (a line put down and lifted while the device was away is one call).
    QHash<QString, QStringList> localRow;
    for (const QStringList& row : local)
        localRow.insert(row[0], row);
    for (const Record::CallNote& call : record.calls) {
        const QStringList row = localRow.value(call.file);
        if (call.span < 0 || row.isEmpty() || row[8].size() != 8 || row[10].isEmpty())
            continue;
        const QFileInfo file(row[2]);
        const qint64 start = wallTime(row[8], row[9]);
        qint64 end = wallTime(row[8], row[10]);
        if (end < start)
            end += 86400000;
        qint64 until = record.offHook.value(call.span).second, gaps = 0;
        for (qint64 quit : record.quits)
            if (quit >= start)
                until = qMin(until, quit);
        for (const auto& [down, up] : record.linkDown)
            if (up > start && down < qMax(until, end))
                gaps += up - down + 1200;
        for (const auto& [from, to] : record.soundDropped)
            if (to > start && from < qMax(until, end))
                gaps += to - from;
        // A recording the full disk cut stays cut until the call ends.
        for (const auto& [from, to] : record.diskFull)
            if (to > start && from < qMax(until, end))
                gaps += qMax(until, end) - qMax(from, start);
        const qint64 speech = file.size() * 1000 / kVoxBytesPerSecond;
        const qint64 length = row[11].toLongLong() * 1000;
        // A local row lost while the local file was away is written again by
        // the login's check from the voice file alone: its end is the sound's.
        if (end < until - 2500 && !record.localDown)
            out << say("coverage: %1 ends at %2, the line was held until %3", row[0],
                       QDateTime::fromMSecsSinceEpoch(end).toString("HH:mm:ss"),
                       QDateTime::fromMSecsSinceEpoch(until).toString("HH:mm:ss.zzz"));
        if (speech > length + 2000 || speech < length - 2000 - gaps)
            out << say("coverage: %1 holds %2 ms of sound, its rows say %3 s", row[0], speech,
                       row[11]);
    }
    return out;
}

QStringList Invariants::atRest(const QString& folder)
{
    QStringList out;
    for (const char* file : {"branch0001.db", "Brenvo.mdb"}) {
        bool ok = false;
        query(folder, file, QStringLiteral("BEGIN IMMEDIATE"), &ok);
        if (!ok && QFileInfo::exists(folder + u'/' + QLatin1String(file)))
            out << say("transactions: %1 is locked by a transaction left open", file);
    }
    return out;
}

void Invariants::watchFiles(const QString& folder, QHash<QString, qint64>* sizes, QStringList* seen)
{
    QHash<QString, qint64> now;
    QDirIterator it(folder + QStringLiteral("/RECDATA"), {QStringLiteral("*.vox")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        now.insert(file.filePath(), file.size());
        const qint64 before = sizes->value(file.filePath(), 0);
        if (file.size() < before)
            *seen << say("file-kept: %1 shrank from %2 to %3 bytes", file.fileName(), before,
                         file.size());
    }
    for (auto it = sizes->cbegin(); it != sizes->cend(); ++it)
        if (!now.contains(it.key()))
            *seen << say("file-kept: %1 is gone", QFileInfo(it.key()).fileName());
    *sizes = now;
}
