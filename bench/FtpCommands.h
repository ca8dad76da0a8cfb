#pragma once

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <unistd.h>

// Which FTP commands a run sends, from libcurl's verbose trace ("> CMD ..."
// lines): ours through BRENVO_FTP_VERBOSE with stderr caught in a file,
// curl's through -v.
namespace bench {

inline QMap<QString, int> commandsIn(const QByteArray& trace)
{
    QMap<QString, int> counts;
    for (const QByteArray& line : trace.split('\n'))
        if (line.startsWith("> "))
            ++counts[QString::fromLatin1(line.mid(2).split(' ').value(0).trimmed())];
    return counts;
}

inline QMap<QString, int> ourCommands(const std::function<void()>& run)
{
    QTemporaryFile trace;
    if (!trace.open())
        return {};
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(trace.handle(), STDERR_FILENO);
    qputenv("BRENVO_FTP_VERBOSE", "1");
    run();
    qunsetenv("BRENVO_FTP_VERBOSE");
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    trace.seek(0);
    return commandsIn(trace.readAll());
}

inline QMap<QString, int> curlCommands(const QString& curl, const QStringList& arguments)
{
    QProcess process;
    process.start(curl, QStringList{QStringLiteral("-sS"), QStringLiteral("-v")} + arguments);
    process.waitForFinished(600000);
    return commandsIn(process.readAllStandardError());
}

// "CWD 3, EPSV 1, ... = 7" per file, the commands of one run over files;
// the log-in's once-only commands round to nothing and are left out.
inline QString perFile(const QMap<QString, int>& counts, int files)
{
    QStringList parts;
    double total = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double each = double(it.value()) / files;
        if (each < 0.05)
            continue;
        total += each;
        parts << it.key() + u' ' + QString::number(each, 'g', 3);
    }
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" = ") +
           QString::number(total, 'g', 3);
}

} // namespace bench
