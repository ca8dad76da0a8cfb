#include "foundation/CentralJournal.h"

#include "foundation/Database.h"
#include "platform/SqlDialect.h"

namespace {
const QString kLocation = QStringLiteral("CentralJournal");
} // namespace

CentralJournal::CentralJournal(Database& db) : m_db(db) {}

bool CentralJournal::write(const QString& sql, const QString& location, const QString& function)
{
    // Opening the slot sends what waits; a write kept after it stays behind.
    Database::Use central(m_db, Database::Slot::Main);
    if (central.connected() && m_waiting <= 0) {
        if (m_db.execute(Database::Slot::Main, sql, location, function))
            return true;
        if (!m_db.connection(Database::Slot::Main).linkFailed())
            return false;
    }
    keep(sql, location, function);
    return false;
}

void CentralJournal::deliver()
{
    if (m_delivering)
        return;
    m_delivering = true;
    send();
    m_delivering = false;
}

void CentralJournal::send()
{
    Database::Use local(m_db, Database::Slot::Local);
    Recordset rs;
    if (!local.connected() || !table() ||
        !m_db.query(Database::Slot::Local,
                    QStringLiteral("select Seq, Statement, Location, Func from deskjournal "
                                   "order by Seq"),
                    &rs, kLocation, QStringLiteral("deliver")))
        return;
    m_waiting = rs.recordCount();
    if (m_waiting == 0)
        return;
    Database::Use central(m_db, Database::Slot::Main);
    if (!central.connected())
        return;
    for (rs.moveFirst(); !rs.isEof(); rs.moveNext()) {
        const auto f = [&rs](const char* name) { return Database::field(rs, name); };
        // A refused write is reported and dropped, as one sent at once is.
        if (!m_db.execute(Database::Slot::Main, f("Statement"), f("Location"), f("Func")) &&
            m_db.connection(Database::Slot::Main).linkFailed())
            return;
        m_db.execute(Database::Slot::Local,
                     QStringLiteral("delete from deskjournal where Seq = ") + f("Seq"), kLocation,
                     QStringLiteral("deliver"));
        --m_waiting;
    }
}

void CentralJournal::keep(const QString& sql, const QString& location, const QString& function)
{
    using SqlDialect::quoted;
    Database::Use local(m_db, Database::Slot::Local);
    if (!local.connected() || !table() ||
        !m_db.execute(Database::Slot::Local,
                      QStringLiteral("insert into deskjournal (Statement, Location, Func) "
                                     "values ('") +
                          quoted(sql) + QStringLiteral("', '") + quoted(location) +
                          QStringLiteral("', '") + quoted(function) + QStringLiteral("')"),
                      kLocation, QStringLiteral("keep")))
        return;
    m_waiting = qMax(m_waiting, 0) + 1;
}

bool CentralJournal::table()
{
    return m_db.execute(Database::Slot::Local,
                        QStringLiteral("create table if not exists deskjournal (Seq integer "
                                       "primary key autoincrement, Statement text not null, "
                                       "Location text, Func text)"),
                        kLocation, QStringLiteral("table"));
}
