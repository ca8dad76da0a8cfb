// The customer list filled to its 32,767-row cap (41 columns) from a
// 40,000-customer folder, against the bare SELECT through QSqlQuery; and
// the caller-ID look-up among 100,000 customers.
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include "BenchResult.h"
#include "customers/CallerIdLookup.h"
#include "desk/Desk.h"
#include "platform/SqlDialect.h"
#include "ProgramFolderFixture.h"

namespace {

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The same statement, every row read into text, with nothing else around it.
double bareSelect(const QString& file, const QString& sql)
{
    double ms = 0;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(file);
        db.open();
        QElapsedTimer t;
        t.start();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(SqlDialect::toSqlite(sql));
        QVector<QVector<QString>> rows;
        const int cols = q.record().count();
        while (q.next()) {
            QVector<QString> row(cols);
            for (int c = 0; c < cols; ++c)
                row[c] = q.value(c).toString();
            rows.append(row);
        }
        ms = msSince(t);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = 7;
    {
        DemoOptions options;
        options.customers = 40000;
        options.callHistory = false;
        ProgramFolderFixture f(options);
        f.loginAs(QStringLiteral("kim"));
        f.exec(QStringLiteral("branch0001.db"),
               QStringLiteral("UPDATE gogakinfo SET AgentID = 'kim', Status = '0'"));
        CustomerPanel panel;
        DeskControls desk;
        SpreadModel list(41);
        CustomerSide side(f.db, panel, desk, list, f.messages);
        QVector<double> fill, bare;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer t;
            t.start();
            side.search.GetCustList(QStringLiteral("0"), QString(), QString(), QString(), QString(),
                                    QStringLiteral("999"));
            fill << msSince(t);
            bare << bareSelect(f.path(QStringLiteral("branch0001.db")),
                               CustomerSearch::custListStatement(
                                   f.session.BranchID, f.session.TeamID, f.session.AgentID,
                                   {QStringLiteral("0"), {}, {}, {}, {}, QStringLiteral("999")}));
        }
        std::printf("customer list: %d rows x 41 columns (of %s found), query to model %.1f ms "
                    "median of %d; bare SELECT to text %.1f ms\n",
                    list.MaxRows(), qPrintable(side.search.TxtTCount()), bench::median(fill), runs,
                    bench::median(bare));
        const QString figure = QStringLiteral("customer list fill, 32,767 rows × 41 columns");
        const QString target = QStringLiteral("≤ 1.5 × bare SELECT time");
        if (list.MaxRows() != 32767)
            bench::failed(figure, QStringLiteral("list holds %1 rows").arg(list.MaxRows()), target);
        else
            bench::result(figure, bench::ms(bench::median(fill)),
                          bench::ms(bench::median(bare)) + QStringLiteral(" (bare SELECT to text)"),
                          bench::ratio(bench::median(fill), bench::median(bare), "ours/ref"),
                          target, bench::median(fill) <= 1.5 * bench::median(bare));
    }
    {
        DemoOptions options;
        options.customers = 100000;
        options.callHistory = false;
        ProgramFolderFixture f(options);
        f.loginAs(QStringLiteral("kim"));
        const QStringList numbers =
            f.rows(QStringLiteral("branch0001.db"),
                   QStringLiteral("SELECT MobileNumber FROM gogakinfo WHERE ID % 997 = 0"));
        Desk desk({f.session, f.db, f.errors, f.messages, f.windows});
        CallerIdLookup lookup(f.db, nullptr, desk.calls, desk.customers.search, desk.device,
                              f.messages);
        QVector<double> times, bare;
        int found = 0;
        for (const QString& number : numbers) {
            QElapsedTimer t;
            t.start();
            lookup.GetCustinfo(number);
            times << msSince(t);
            found += lookup.sprCustSearch().MaxRows() > 0 ? 1 : 0;
            bare << bareSelect(f.path(QStringLiteral("branch0001.db")),
                               CallerIdLookup::custinfoStatement(number));
        }
        std::printf(
            "caller-ID look-up among 100000 customers: %.2f ms median, %.2f ms worst of %lld "
            "numbers (connection opened and closed each time, target < 20 ms)\n",
            bench::median(times), *std::max_element(times.cbegin(), times.cend()),
            qlonglong(times.size()));
        const QString figure = QStringLiteral("caller-ID look-up, 100,000 customers (GetCustinfo)");
        const QString target = QStringLiteral("< 20 ms");
        if (found != times.size())
            bench::failed(figure,
                          QStringLiteral("%1 of %2 numbers found").arg(found).arg(times.size()),
                          target);
        else
            bench::result(figure, bench::ms(bench::median(times)),
                          bench::ms(bench::median(bare)) + QStringLiteral(" (bare SELECT)"),
                          bench::ratio(bench::median(times), bench::median(bare), "ours/ref"),
                          target, bench::median(times) < 20);
    }
    return 0;
}
