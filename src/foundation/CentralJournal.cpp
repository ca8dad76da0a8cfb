#include "foundation/CentralJournal.h"

#include <QDateTime>
#include <QTimer>
#include <QUuid>

#include "foundation/Database.h"
#include "platform/SqlDialect.h"

namespace {
const QString kLocation = QStringLiteral("CentralJournal");
using Slot = Database::Slot;
} // namespace

CentralJournal::CentralJournal(Database& db)
    : m_db(db), m_unkept(-QDateTime::currentMSecsSinceEpoch())
{
    CentralLink* link = &m_db.link();
    QObject::connect(link, &CentralLink::written, link, [this](qint64 seq) { written(seq); });
    QObject::connect(
        link, &CentralLink::failed, link,
        [this](const QString& error, const CentralLink::Write& write, bool linkFailed) {
            if (write.location.isEmpty())
                m_db.connectFailed(error);
            else
                m_db.statementFailed(Slot::Main, error, write.location, write.function, write.sql,
                                     linkFailed);
        });
    QObject::connect(link, &CentralLink::up, link, [this] { m_db.serverBack(); });
}

bool CentralJournal::write(const QString& sql, const QString& location, const QString& function,
                           bool once, const QString& pick)
{
    CentralLink::Write write{0, sql, pick, once, location, function};
    if (m_db.crossesNetwork()) {
        sendKept();
        keep(write);
        desk(); // named once: the link marks its counts with it
        m_db.link().send(m_db.centralTarget(), write);
        changed(1);
        return true;
    }
    // Opening the slot sends what waits; a write kept after it stays behind.
    // A count is kept before it goes: its sequence is its mark.
    Database::Use central(m_db, Slot::Main);
    if (once)
        keep(write);
    if (central.connected() && m_waiting <= 0 && !m_db.holdingOff()) {
        QString error;
        const auto outcome = CentralLink::apply(m_db.connection(Slot::Main), write, desk(), &error);
        if (outcome != CentralLink::Outcome::LinkFailed)
            forget(write.seq);
        if (outcome == CentralLink::Outcome::Applied) {
            m_db.serverBack();
            return true;
        }
        m_db.statementFailed(Slot::Main, error, location, function, sql,
                             outcome == CentralLink::Outcome::LinkFailed);
        if (outcome == CentralLink::Outcome::Refused)
            return false;
    }
    if (!once)
        keep(write);
    if (write.seq <= 0)
        return false;
    if (m_db.holdingOff())
        retryLater();
    changed(1);
    return true;
}

void CentralJournal::retryLater()
{
    // The branch file was held by another writer: what waits goes once the
    // hold-off is over, without waiting for the desk's next write.
    if (std::exchange(m_retryPlanned, true))
        return;
    QTimer::singleShot(CentralLink::kRetryMs, &m_db.link(), [this] {
        m_retryPlanned = false;
        deliver();
    });
}

void CentralJournal::deliver()
{
    if (m_db.crossesNetwork())
        return sendKept();
    if (m_delivering)
        return;
    if (m_db.holdingOff())
        return retryLater();
    m_delivering = true;
    send();
    m_delivering = false;
}

void CentralJournal::whenWritten(QObject* context, std::function<void()> then)
{
    if (waiting() == 0 || !m_db.crossesNetwork())
        return then();
    m_then.append({context, std::move(then)});
}

void CentralJournal::send()
{
    Recordset rs;
    if (!readKept(&rs))
        return;
    changed(rs.recordCount() - waiting());
    if (m_waiting == 0)
        return;
    Database::Use central(m_db, Slot::Main);
    if (!central.connected())
        return;
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
        const CentralLink::Write write = kept(rs);
        QString error;
        const auto outcome = CentralLink::apply(m_db.connection(Slot::Main), write, desk(), &error);
        // A refused write is reported and dropped, as one sent at once is.
        if (outcome != CentralLink::Outcome::Applied)
            m_db.statementFailed(Slot::Main, error, write.location, write.function, write.sql,
                                 outcome == CentralLink::Outcome::LinkFailed);
        if (outcome == CentralLink::Outcome::LinkFailed)
            return retryLater();
        m_db.serverBack();
        forget(write.seq);
        changed(-1);
    }
}

void CentralJournal::sendKept()
{
    Recordset rs;
    if (m_keptSent || !readKept(&rs))
        return;
    m_keptSent = true;
    desk();
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext())
        m_db.link().send(m_db.centralTarget(), kept(rs));
    changed(rs.recordCount());
}

bool CentralJournal::readKept(Recordset* rs)
{
    Database::Use local(m_db, Slot::Local);
    return local.connected() && table() &&
           m_db.query(Slot::Local,
                      QStringLiteral("select Seq, Statement, Location, Func, Pick, Once from "
                                     "deskjournal order by Seq"),
                      rs, kLocation, QStringLiteral("deliver"));
}

CentralLink::Write CentralJournal::kept(const Recordset& rs)
{
    const auto f = [&rs](const char* name) { return Database::field(rs, name); };
    return {f("Seq").toLongLong(), f("Statement"), f("Pick"), f("Once") == QStringLiteral("1"),
            f("Location"),         f("Func")};
}

void CentralJournal::keep(CentralLink::Write& write)
{
    using SqlDialect::quoted;
    Database::Use local(m_db, Slot::Local);
    Recordset seq;
    const auto quote = [](const QString& text) {
        return QStringLiteral("'") + quoted(text) + u'\'';
    };
    if (local.connected() && table() &&
        m_db.execute(Slot::Local,
                     QStringLiteral("insert into deskjournal (Statement, Location, Func, "
                                    "Pick, Once) values (") +
                         quote(write.sql) + u',' + quote(write.location) + u',' +
                         quote(write.function) + u',' + quote(write.pick) + u',' +
                         (write.once ? u'1' : u'0') + u')',
                     kLocation, QStringLiteral("keep")) &&
        m_db.query(Slot::Local, QStringLiteral("select max(Seq) as Seq from deskjournal"), &seq,
                   kLocation, QStringLiteral("keep"))) {
        write.seq = Database::field(seq, "Seq").toLongLong();
        return;
    }
    // Not kept: the write still goes while the program runs.
    write.seq = --m_unkept;
}

void CentralJournal::forget(qint64 seq)
{
    if (seq <= 0)
        return;
    Database::Use local(m_db, Slot::Local);
    m_db.execute(Slot::Local,
                 QStringLiteral("delete from deskjournal where Seq = ") + QString::number(seq),
                 kLocation, QStringLiteral("deliver"));
}

void CentralJournal::written(qint64 seq)
{
    forget(seq);
    changed(-1);
    if (waiting() > 0)
        return;
    const auto then = std::exchange(m_then, {});
    for (const auto& [context, run] : then)
        if (context)
            run();
}

void CentralJournal::changed(int by)
{
    m_waiting = waiting() + by;
    if (by != 0 && m_told)
        m_told();
}

bool CentralJournal::table()
{
    if (!m_db.execute(Slot::Local,
                      QStringLiteral("create table if not exists deskjournal (Seq integer "
                                     "primary key autoincrement, Statement text not null, "
                                     "Location text, Func text, Pick text, Once integer)"),
                      kLocation, QStringLiteral("table")))
        return false;
    // A journal of an earlier version has no Pick and Once: its writes are
    // plain ones, and keep their place.
    Recordset columns;
    QString error;
    if (!m_db.connection(Slot::Local)
             .openRecordset(QStringLiteral("select Pick, Once from deskjournal where 0 = 1"),
                            &columns, &error) &&
        !(m_db.execute(Slot::Local, QStringLiteral("alter table deskjournal add column Pick text"),
                       kLocation, QStringLiteral("table")) &&
          m_db.execute(Slot::Local,
                       QStringLiteral("alter table deskjournal add column Once integer"), kLocation,
                       QStringLiteral("table"))))
        return false;
    return m_db.execute(Slot::Local,
                        QStringLiteral("create table if not exists deskidentity (ID text)"),
                        kLocation, QStringLiteral("table"));
}

QString CentralJournal::desk()
{
    // The local file's own name for its writes in the branch's deskapplied;
    // made once, with the file's first kept write.
    if (!m_desk.isEmpty())
        return m_desk;
    Database::Use local(m_db, Slot::Local);
    Recordset rs;
    if (!local.connected() || !table() ||
        !m_db.query(Slot::Local, QStringLiteral("select ID from deskidentity"), &rs, kLocation,
                    QStringLiteral("desk")))
        return m_desk;
    if (rs.recordCount() > 0) {
        m_desk = Database::field(rs, "ID");
    } else {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (m_db.execute(Slot::Local,
                         QStringLiteral("insert into deskidentity (ID) values ('") + id +
                             QStringLiteral("')"),
                         kLocation, QStringLiteral("desk")))
            m_desk = id;
    }
    if (!m_desk.isEmpty())
        m_db.link().setDesk(m_desk);
    return m_desk;
}
