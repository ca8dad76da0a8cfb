#include <climits>
#include <cstdio>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHashFunctions>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "Driver.h"

// brenvo-explore [--seed S] [--schedules N | --seconds T] [--jobs J] [--keep 0,3,5-9]
//                [--shrink-seconds T] [--trace] [--print]
//
// Plays the schedules of seeds S, S+1, ... against the desk (N of them, or
// for T seconds; a minute by default) and checks the archive after each; J
// processes (4 unless given) share the seeds, each with its own servers,
// as a schedule mostly waits for the line's time to pass. A
// schedule that breaks an invariant is printed with its seed; the first one
// to break each invariant is shrunk to the shortest schedule that still
// breaks it, with the command that replays it. --trace shows each event as it
// is played; --print only prints the schedules.
namespace {

// "0,3,5-9": the kept positions, for --keep.
QString keptText(const QList<int>& kept)
{
    QStringList parts;
    for (int i = 0; i < kept.size();) {
        int j = i;
        while (j + 1 < kept.size() && kept[j + 1] == kept[j] + 1)
            ++j;
        parts << (i == j ? QString::number(kept[i])
                         : QStringLiteral("%1-%2").arg(kept[i]).arg(kept[j]));
        i = j + 1;
    }
    return parts.join(u',');
}

QList<int> parseKept(const QString& text)
{
    QList<int> out;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts))
        for (int i = part.section(u'-', 0, 0).toInt(); i <= part.section(u'-', -1).toInt(); ++i)
            out << i;
    return out;
}

// Runs `jobs` copies of this program on every jobs-th seed from first, each
// `--jobs 1`, passes their output on as it comes and adds their last lines up.
// A child's options come first: the first of a name is the one that counts.
int shareOut(const QStringList& args, quint64 first, int schedules, int jobs)
{
    std::vector<std::unique_ptr<QProcess>> children;
    int played = 0, violations = 0;
    for (int k = 0; k < jobs; ++k) {
        QStringList mine{
            "--jobs",      "1",
            "--stride",    QString::number(jobs),
            "--seed",      QString::number(first + quint64(k)),
            "--schedules", QString::number(schedules ? (schedules + jobs - 1 - k) / jobs : 0)};
        auto child = std::make_unique<QProcess>();
        QProcess* c = child.get();
        c->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(c, &QProcess::readyReadStandardOutput, [c, &played, &violations] {
            while (c->canReadLine()) {
                const QString line = QString::fromUtf8(c->readLine());
                static const QRegularExpression total(
                    QStringLiteral("^(\\d+) schedules, (\\d+) violations"));
                if (const auto m = total.match(line); m.hasMatch()) {
                    played += m.captured(1).toInt();
                    violations += m.captured(2).toInt();
                } else {
                    std::printf("%s", qPrintable(line));
                    std::fflush(stdout);
                }
            }
        });
        c->start(args.first(), mine + args.mid(1));
        children.push_back(std::move(child));
    }
    static_cast<void>(QTest::qWaitFor(
        [&children] {
            return std::all_of(children.cbegin(), children.cend(),
                               [](const auto& c) { return c->state() == QProcess::NotRunning; });
        },
        INT_MAX));
    std::printf("%d schedules, %d violations\n", played, violations);
    return violations ? 1 : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // The same seed plays the same way, down to the order of the desk's hashes.
    QHashSeed::setDeterministicGlobalSeed();
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const auto option = [&args](const char* name, const QVariant& otherwise) {
        const qsizetype i = args.indexOf(QLatin1String(name));
        return i > 0 && i + 1 < args.size() ? QVariant(args[i + 1]) : otherwise;
    };
    const quint64 first = option("--seed", QDateTime::currentSecsSinceEpoch()).toULongLong();
    const int schedules = option("--schedules", 0).toInt();
    const qint64 seconds = option("--seconds", 60).toLongLong();
    const QList<int> kept = parseKept(option("--keep", QString()).toString());
    const qint64 shrinkSeconds = option("--shrink-seconds", 600).toLongLong();
    // No more jobs than schedules: a job with none would run for the time instead.
    const int jobs =
        schedules > 0 ? qMin(option("--jobs", 4).toInt(), schedules) : option("--jobs", 4).toInt();
    const quint64 stride = option("--stride", 1).toULongLong();
    if (jobs > 1 && kept.isEmpty() && !args.contains(QStringLiteral("--print")))
        return shareOut(args, first, schedules, jobs);

    const auto driver = Driver::make();
    driver->setTrace(args.contains(QStringLiteral("--trace")));
    if (!driver->error().isEmpty()) {
        std::fprintf(stderr, "explore: %s\n", qPrintable(driver->error()));
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    int played = 0, violations = 0;
    QSet<QString> shrunk;
    QElapsedTimer shrinking; // all shrinking together gets --shrink-seconds
    while (schedules ? played < schedules : clock.elapsed() < seconds * 1000) {
        Schedule schedule = Schedule::generate(first + stride * quint64(played++));
        if (!kept.isEmpty())
            schedule = schedule.keep(kept);
        if (args.contains(QStringLiteral("--print"))) {
            std::printf("%s", qPrintable(schedule.text()));
            continue;
        }
        const QStringList found = driver->play(schedule);
        if (found.isEmpty())
            continue;
        violations += int(found.size());
        std::printf("\nseed %llu breaks:\n  %s\n", schedule.seed, qPrintable(found.join("\n  ")));
        std::fflush(stdout);
        // One violation stands for its kind: the same words, whatever the numbers.
        const auto kind = [](QString violation) {
            return violation.replace(QRegularExpression(QStringLiteral("\\d+")),
                                     QStringLiteral("#"));
        };
        const QString invariant = kind(found.first());
        if (shrunk.contains(invariant))
            continue;
        shrunk.insert(invariant);
        if (!shrinking.isValid())
            shrinking.start();
        const Schedule shortest = schedule.shrink([&](const Schedule& trial) {
            if (shrinking.elapsed() > shrinkSeconds * 1000)
                return false;
            const QStringList again = driver->play(trial);
            return std::any_of(again.cbegin(), again.cend(),
                               [&](const QString& v) { return kind(v) == invariant; });
        });
        std::printf("shortest schedule found that still breaks \"%s\":\n%s"
                    "replay: ./run explore --seed %llu --schedules 1 --keep %s\n",
                    qPrintable(invariant), qPrintable(shortest.text()), schedule.seed,
                    qPrintable(keptText(shortest.kept)));
        std::fflush(stdout);
    }
    std::printf("%d schedules, %d violations\n", played, violations);
    return violations ? 1 : 0;
}
