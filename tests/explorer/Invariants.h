#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <type_traits>
#include <utility>

// What the agent did and what happened around the desk during one
// schedule, as the driver saw it from outside: the customer the agent chose
// for each call and the result filed for it, when the line was held, when
// the device link was down, when the program quit, which databases went away.
struct Record
{
    struct CallNote
    {
        QString file;      // the call's voice file, once it has one
        char kind = 0;     // 'A'..'E': how its customer was chosen
        QString customer;  // the customer picked or dialled (B, C, D)
        QString typedName; // typed for a new customer (A, E)
        bool saved = false;
        QString status, memo;
        int span = -1; // the off-hook span of the line it was recorded in
    };
    using Span = std::pair<qint64, qint64>; // wall-clock ms, from and to

    QList<CallNote> calls;
    QList<Span> offHook, linkDown;
    QList<Span> soundDropped; // the line simulator's own, on a starved machine
    QList<Span> diskFull;     // the recording folder had no room
    QList<qint64> quits;
    bool centralDown = false, localDown = false;
    // Violations seen while the schedule ran (files watched, the desk's rest).
    QStringList seen;
};

// What the schedule started from: what may change, and by how much.
struct Baseline
{
    QHash<QString, QString> names; // customer ID to name
    qint64 maxCustomer = 0;
    qint64 recCnt = 0, workCount = 0;
};

// A violation's words: pattern's %1, %2, ... replaced by the values, in one pass.
template <typename... Values> QString say(const char* pattern, const Values&... values)
{
    const auto text = [](const auto& value) {
        if constexpr (std::is_arithmetic_v<std::decay_t<decltype(value)>>)
            return QString::number(value);
        else
            return QString(value);
    };
    return QString::fromUtf8(pattern).arg(text(values)...);
}

// The archive's invariants, checked on the program folder, its two
// databases and the FTP server's tree, whoever delivered the events. Each
// violation is one line "<invariant>: <what>".
namespace Invariants {

// Every row of a statement on one SQLite file of the folder, each column as
// text; *ok tells whether the statement ran.
QList<QStringList> query(const QString& folder, const char* file, const QString& sql,
                         bool* ok = nullptr);

// What the folder starts from; from now on its branch database keeps a
// trail of its customers' changes, which check() reads.
Baseline baseline(const QString& folder);
QStringList check(const QString& folder, const QString& ftpRoot, const Record& record,
                  const Baseline& base);
// At rest: no transaction left open on either database file.
QStringList atRest(const QString& folder);
// Every voice file of the folder against its size at the last look (sizes):
// none may ever shrink or go.
void watchFiles(const QString& folder, QHash<QString, qint64>* sizes, QStringList* seen);

} // namespace Invariants
