// VOX encode and decode of long voice-like recordings, file in to file out,
// against sox on the same files in the same run.
//   encode: raw 16-bit PCM file -> .vox     decode: .vox -> raw 16-bit PCM file

#include "platform/VoxFile.h"

#include "BenchResult.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr int Rounds = 5;
constexpr qsizetype BlockSamples = 1 << 16;

// Three formant-like partials over a wandering pitch, syllable-rate
// amplitude modulation with pauses, and a little noise.
bool writeVoiceLikeRaw(const QString& path, int minutes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator noise(7);
    const qsizetype total = qsizetype(minutes) * 60 * VoxFile::SampleRate;
    QVector<qint16> block(BlockSamples);
    double phase[3] = {};
    for (qsizetype start = 0; start < total; start += BlockSamples) {
        const qsizetype n = std::min(BlockSamples, total - start);
        for (qsizetype i = 0; i < n; ++i) {
            const double t = double(start + i) / VoxFile::SampleRate;
            const double pitch = 1.0 + 0.08 * std::sin(2 * std::numbers::pi * 0.7 * t);
            const double freqs[3] = {520 * pitch, 1480 * pitch, 2450 * pitch};
            const double gains[3] = {0.55, 0.3, 0.15};
            double v = 0;
            for (int k = 0; k < 3; ++k) {
                phase[k] += 2 * std::numbers::pi * freqs[k] / VoxFile::SampleRate;
                v += gains[k] * std::sin(phase[k]);
            }
            const double syllable = std::max(0.0, std::sin(2 * std::numbers::pi * 2.5 * t));
            v = v * syllable * 14000 + (noise.generateDouble() - 0.5) * 400;
            block[i] = qint16(std::clamp(v, -32768.0, 32767.0));
        }
        file.write(reinterpret_cast<const char*>(block.constData()), n * qsizetype(sizeof(qint16)));
    }
    return file.error() == QFileDevice::NoError;
}

bool encodeOurs(const QString& rawPath, const QString& voxPath)
{
    QFile in(rawPath);
    VoxWriter writer;
    if (!in.open(QIODevice::ReadOnly) || !writer.open(voxPath))
        return false;
    QVector<qint16> block(BlockSamples);
    qint64 got;
    while ((got = in.read(reinterpret_cast<char*>(block.data()), BlockSamples * 2)) > 0) {
        if (!writer.write(block.constData(), got / 2))
            return false;
    }
    writer.close();
    return got == 0;
}

bool decodeOurs(const QString& voxPath, const QString& rawPath)
{
    bool ok = false;
    const QVector<qint16> samples = VoxFile::decode(voxPath, &ok);
    QFile out(rawPath);
    if (!ok || !out.open(QIODevice::WriteOnly))
        return false;
    const qint64 bytes = samples.size() * qint64(sizeof(qint16));
    return out.write(reinterpret_cast<const char*>(samples.constData()), bytes) == bytes;
}

bool runSox(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("sox"), arguments) == 0;
}

// Median of a few rounds, in milliseconds; -1 when a round failed.
double medianMs(const std::function<bool()>& job)
{
    QVector<double> times;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        if (!job())
            return -1;
        times << clock.nsecsElapsed() / 1e6;
    }
    return bench::median(times);
}

void report(QTextStream& out, const QString& what, double ours, double sox, double target)
{
    const double ratio = ours > 0 ? sox / ours : 0;
    out << QStringLiteral("%1  ours %2 ms  sox %3 ms  sox/ours %4x  (target %5x) %6\n")
               .arg(what, -18)
               .arg(ours, 6, 'f', 1)
               .arg(sox, 6, 'f', 1)
               .arg(ratio, 0, 'f', 2)
               .arg(target, 0, 'f', 1)
               .arg(ratio >= target ? QStringLiteral("ok") : QStringLiteral("MISSED"));
    out.flush();
    bench::result(QStringLiteral("VOX ") + what + QStringLiteral(" (vs sox)"), bench::ms(ours),
                  bench::ms(sox), bench::ratio(sox, ours, "sox/ours"),
                  QStringLiteral("≥ %1 × sox speed").arg(target, 0, 'f', 1), ratio >= target);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty()) {
        out << "sox is not installed; nothing to compare against\n";
        return 1;
    }
    QTemporaryDir dir;
    const QStringList rawIn = {"-t", "raw", "-r", "8000", "-e", "signed", "-b", "16", "-c", "1"};
    const QStringList voxIn = {"-t", "vox", "-r", "8000", "-c", "1"};
    const QStringList rawOut = {"-t", "raw", "-e", "signed", "-b", "16"};

    for (const int minutes : {10, 60}) {
        const QString raw = dir.filePath(QStringLiteral("voice%1.raw").arg(minutes));
        const QString vox = dir.filePath(QStringLiteral("voice%1.vox").arg(minutes));
        const QString ourVox = dir.filePath(QStringLiteral("ours%1.vox").arg(minutes));
        const QString soxVox = dir.filePath(QStringLiteral("sox%1.vox").arg(minutes));
        const QString ourRaw = dir.filePath(QStringLiteral("ours%1.raw").arg(minutes));
        const QString soxRaw = dir.filePath(QStringLiteral("sox%1.raw").arg(minutes));
        if (!writeVoiceLikeRaw(raw, minutes) ||
            !runSox(rawIn + QStringList{raw, "-t", "vox", vox})) {
            out << "could not prepare the " << minutes << "-minute input\n";
            return 1;
        }

        const double ourEncode = medianMs([&] { return encodeOurs(raw, ourVox); });
        const double soxEncode = medianMs([&] {
            return runSox(rawIn + QStringList{raw, "-t", "vox", soxVox});
        });
        const double ourDecode = medianMs([&] { return decodeOurs(vox, ourRaw); });
        const double soxDecode = medianMs(
            [&] { return runSox(voxIn + QStringList{vox} + rawOut + QStringList{soxRaw}); });
        if (ourEncode < 0 || soxEncode < 0 || ourDecode < 0 || soxDecode < 0) {
            out << "a " << minutes << "-minute run failed\n";
            for (const char* what : {"encode", "decode"})
                bench::failed(QStringLiteral("VOX %1 %2 min (vs sox)").arg(what).arg(minutes),
                              QStringLiteral("a run failed"), QStringLiteral("—"));
            return 1;
        }
        report(out, QStringLiteral("encode %1 min").arg(minutes), ourEncode, soxEncode, 1.5);
        report(out, QStringLiteral("decode %1 min").arg(minutes), ourDecode, soxDecode, 2.0);
        for (const QString& path : {raw, vox, ourVox, soxVox, ourRaw, soxRaw})
            QFile::remove(path);
    }
    return 0;
}
