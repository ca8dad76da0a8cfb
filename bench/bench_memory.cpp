// Resident memory of the desk: idle after login with the main window shown,
// and again with the customer list filled to its 32,767-row cap. The
// reference is this same process before the desk exists: the Qt application
// with one plain window shown (the demo folder already written).

#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <cstdio>
#include <malloc.h>

#include "BenchResult.h"
#include "CallDesk.h"
#include "customers/CustomerSide.h"
#include "platform/SpreadModel.h"
#include "windows/Frm100000.h"
#include "windows/QtWindowOpener.h"

namespace {

// Lets the windows lay out and paint, and the allocator settle.
double settledResident()
{
    QTest::qWait(500);
    return bench::residentBytes();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString idleFigure = QStringLiteral("RSS idle after login, main window shown");
    const QString fullFigure = QStringLiteral("RSS with 32,767-row customer list");
    const QString idleTarget = QStringLiteral("< 120 MiB");
    const QString fullTarget = QStringLiteral("< 200 MiB");

    // Writing the folder is the machine's work, not the desk's: its freed
    // heap goes back before anything is measured.
    DemoOptions options;
    options.customers = 40000;
    options.callHistory = false;
    ProgramFolderFixture big(options);
    malloc_trim(0);

    double reference = 0;
    {
        QMainWindow plain;
        plain.resize(1024, 768);
        plain.show();
        if (!QTest::qWaitForWindowExposed(&plain)) {
            bench::failed(idleFigure, QStringLiteral("no window exposed"), idleTarget);
            return 1;
        }
        reference = settledResident();
    }

    CallDesk d;
    if (!big.isValid() || !d.simulatorListening || !d.ftp.isRunning()) {
        bench::failed(idleFigure, QStringLiteral("desk not ready"), idleTarget);
        bench::failed(fullFigure, QStringLiteral("desk not ready"), fullTarget);
        return 1;
    }
    d.open();
    const double afterDesk = settledResident();
    SpreadModel& custList = d.desk.custList;
    CustomerSide& side = d.desk.customers;
    QtWindowOpener opener;
    Frm100000 window(d.desk, opener);
    const double afterBuild = settledResident();
    window.show();
    window.load();
    if (!QTest::qWaitForWindowExposed(&window)) {
        bench::failed(idleFigure, QStringLiteral("main window not exposed"), idleTarget);
        return 1;
    }
    const double idle = settledResident();
    const int idleRows = custList.MaxRows();

    // The same desk on a folder with more of the agent's customers than the list holds.
    big.exec(QStringLiteral("branch0001.db"),
             QStringLiteral("UPDATE gogakinfo SET AgentID = 'kim', Status = '0'"));
    d.f.session.programFolder = big.session.programFolder;
    side.search.GetCustList(QStringLiteral("0"), QString(), QString(), QString(), QString(),
                            QStringLiteral("999"));
    const int rows = custList.MaxRows();
    const double full = settledResident();

    const QString steps =
        QStringLiteral("plain Qt window %1, + desk parts (device, feed, FTP, media, databases) %2, "
                       "+ main window built %3, + shown and loaded (%4-row list) %5")
            .arg(bench::mib(reference), bench::mib(afterDesk - reference),
                 bench::mib(afterBuild - afterDesk))
            .arg(idleRows)
            .arg(bench::mib(idle - afterBuild));
    std::printf("RSS: %s; idle after login %.1f MiB, with %d-row customer list %.1f MiB\n",
                qPrintable(steps), idle / 1048576, rows, full / 1048576);
    const double mebi = 1024.0 * 1024.0;
    if (idle >= 120 * mebi)
        bench::cause(idleFigure, steps);
    if (full >= 200 * mebi)
        bench::cause(fullFigure,
                     steps + QStringLiteral(", + full list ") + bench::mib(full - idle));
    bench::result(
        idleFigure, bench::mib(idle), bench::mib(reference) + QStringLiteral(" (plain Qt window)"),
        bench::ratio(idle, reference, "ours/ref"), idleTarget, idle > 0 && idle < 120 * mebi);
    if (rows != 32767) {
        bench::failed(fullFigure, QStringLiteral("list holds %1 rows").arg(rows), fullTarget);
        return 1;
    }
    bench::result(
        fullFigure, bench::mib(full), bench::mib(reference) + QStringLiteral(" (plain Qt window)"),
        bench::ratio(full, reference, "ours/ref"), fullTarget, full > 0 && full < 200 * mebi);
    return 0;
}
