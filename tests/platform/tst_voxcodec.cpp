#include "platform/VoxFile.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numbers>

namespace {

constexpr int Tone = 0, Voice = 1, ClippedSquare = 2;

QVector<qint16> makeSignal(int kind, qsizetype count)
{
    QVector<qint16> samples(count);
    QRandomGenerator noise(11);
    const auto sine = [](double hz, double t) { return std::sin(2 * std::numbers::pi * hz * t); };
    for (qsizetype i = 0; i < count; ++i) {
        const double t = double(i) / VoxFile::SampleRate;
        double v = 32767 * std::pow(10.0, -3.0 / 20) * sine(1000, t); // -3 dBFS
        if (kind == Voice)
            v = (0.55 * sine(500, t) + 0.3 * sine(1500, t) + 0.15 * sine(2500, t)) *
                    std::abs(sine(2.5, t)) * 14000 +
                (noise.generateDouble() - 0.5) * 300;
        else if (kind == ClippedSquare)
            v = (i / 20) % 2 ? 32767 : -32768;
        samples[i] = qint16(v);
    }
    return samples;
}

double snrDb(const QVector<qint16>& reference, const QVector<qint16>& decoded)
{
    double signal = 0, error = 0;
    for (qsizetype i = 0; i < reference.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        error += std::pow(double(reference[i]) - decoded.value(i), 2);
    }
    return 10 * std::log10(signal / std::max(error, 1.0));
}

QVector<qint16> soxDecode(const QString& vox)
{
    const QString raw = vox + QStringLiteral(".raw");
    if (QProcess::execute("sox", {"-t", "vox", "-r", "8000", "-c", "1", vox, "-t", "raw", "-e",
                                  "signed", "-b", "16", raw}) != 0)
        return {};
    QFile file(raw);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    QVector<qint16> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.constData(), bytes.size());
    return samples;
}

} // namespace

class TestVoxCodec : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheSignal_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("minSnrDb");
        QTest::newRow("1 kHz tone at -3 dBFS") << Tone << 18.0;
        QTest::newRow("voice-like") << Voice << 15.0;
        QTest::newRow("full-scale square, clipped") << ClippedSquare << 0.0;
    }

    void keepsTheSignal()
    {
        QFETCH(int, kind);
        QFETCH(double, minSnrDb);
        const QVector<qint16> input = makeSignal(kind, 2 * VoxFile::SampleRate);
        const QString ours = m_dir.filePath("ours.vox");
        QVERIFY(VoxFile::encode(ours, input));
        QCOMPARE(VoxFile::durationMs(ours), qint64(2000));
        bool ok = false;
        const QVector<qint16> decoded = VoxFile::decode(ours, &ok);
        QVERIFY(ok);
        QCOMPARE(decoded.size(), input.size());
        QVERIFY2(snrDb(input, decoded) > minSnrDb,
                 qPrintable(QString::number(snrDb(input, decoded))));

        if (QStandardPaths::findExecutable("sox").isEmpty())
            QSKIP("sox is not installed: no independent codec to compare with");
        QCOMPARE(soxDecode(ours), decoded);
        const QString raw = m_dir.filePath("input.raw"), theirs = m_dir.filePath("sox.vox");
        QFile file(raw);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(input.constData()), input.size() * 2);
        file.close();
        QCOMPARE(QProcess::execute("sox", {"-t", "raw", "-r", "8000", "-e", "signed", "-b", "16",
                                           "-c", "1", raw, "-t", "vox", theirs}),
                 0);
        const QVector<qint16> fromSox = VoxFile::decode(theirs);
        QCOMPARE(fromSox.size(), input.size());
        QCOMPARE(fromSox, soxDecode(theirs));
    }

    void streamedWritesMatchOneWrite()
    {
        // Line frames come in all sizes; odd ones must not slip padding in.
        const QVector<qint16> input = makeSignal(Voice, VoxFile::SampleRate);
        const QString whole = m_dir.filePath("whole.vox"),
                      streamed = m_dir.filePath("streamed.vox");
        QVERIFY(VoxFile::encode(whole, input));
        VoxWriter writer;
        QVERIFY(writer.open(streamed));
        const qsizetype chunks[] = {1, 159, 160, 7, 1, 3, 4097};
        for (qsizetype at = 0, i = 0; at < input.size(); at += chunks[i++ % 7])
            QVERIFY(
                writer.write(input.constData() + at, std::min(chunks[i % 7], input.size() - at)));
        writer.close();
        QFile a(whole), b(streamed);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
    }

    void missingFile()
    {
        const QString missing = m_dir.filePath("missing.vox");
        QCOMPARE(VoxFile::durationMs(missing), qint64(-1));
        bool ok = true;
        QString error;
        QVERIFY(VoxFile::decode(missing, &ok, &error).isEmpty());
        QVERIFY(!ok && error.contains(missing));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestVoxCodec)
#include "tst_voxcodec.moc"
