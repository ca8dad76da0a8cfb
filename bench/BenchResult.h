#pragma once

#include <QFile>
#include <QString>
#include <QVector>

#include <algorithm>
#include <cstdio>

// The figures of a bench as lines ./run bench collects into docs/performance.md:
// RESULT, figure, ours, reference, ratio, target, met (yes/no), tab-separated;
// CAUSE, figure, text for a missed target whose reason the bench measured.
namespace bench {

inline double median(QVector<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values.at(mid) : (values.at(mid - 1) + values.at(mid)) / 2;
}

// The process's resident memory in bytes, -1 when unknown.
inline double residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    return -1;
}

inline QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 1) + QStringLiteral(" ms");
}

inline QString mib(double bytes)
{
    return QString::number(bytes / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB");
}

// "0.93 (curl/ours)": a ratio with the way round it is taken.
inline QString ratioOf(double value, const char* sense)
{
    if (value < 0)
        return QStringLiteral("—");
    return QString::number(value, 'f', 2) + QStringLiteral(" (") + QString::fromUtf8(sense) + u')';
}

inline QString ratio(double numerator, double denominator, const char* sense)
{
    return ratioOf(numerator < 0 || denominator <= 0 ? -1 : numerator / denominator, sense);
}

// The median of the ratios of runs taken side by side: on a shared machine a
// busy moment then slows both sides of one pair alike.
inline double pairedRatio(const QVector<double>& numerators, const QVector<double>& denominators)
{
    QVector<double> ratios;
    for (qsizetype i = 0; i < std::min(numerators.size(), denominators.size()); ++i)
        if (denominators.at(i) > 0)
            ratios << numerators.at(i) / denominators.at(i);
    return median(ratios);
}

inline void result(const QString& figure, const QString& ours, const QString& reference,
                   const QString& ratio, const QString& target, bool met)
{
    std::printf("RESULT\t%s\t%s\t%s\t%s\t%s\t%s\n", qPrintable(figure), qPrintable(ours),
                qPrintable(reference), qPrintable(ratio), qPrintable(target), met ? "yes" : "no");
    std::fflush(stdout);
}

// What the bench measured as the reason of a missed target, for the report.
inline void cause(const QString& figure, const QString& text)
{
    std::printf("CAUSE\t%s\t%s\n", qPrintable(figure), qPrintable(text));
    std::fflush(stdout);
}

// A figure that could not be measured: its row says so instead of a number.
inline void failed(const QString& figure, const QString& why, const QString& target)
{
    result(figure, QStringLiteral("FAILED: ") + why, QStringLiteral("—"), QStringLiteral("—"),
           target, false);
}

} // namespace bench
