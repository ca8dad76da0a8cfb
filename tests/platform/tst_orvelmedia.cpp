#include "platform/OrvelMedia.h"
#include "platform/VoxFile.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <numbers>

using namespace Qt::StringLiterals;

namespace {

constexpr int FrameBytes = 320; // 20 ms of line sound, a whole number of tone periods

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

// From sample `from` on: a recording's first 100 ms hold the codec's step size settling.
double snrDb(const QVector<qint16>& reference, const QVector<qint16>& decoded, qsizetype from = 0)
{
    double signal = 0, error = 0;
    for (qsizetype i = from; i < reference.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        error += std::pow(double(reference[i]) - decoded.value(i), 2);
    }
    return 10 * std::log10(signal / std::max(error, 1.0));
}

QVector<qint16> soxDecode(const QString& vox)
{
    QProcess sox;
    sox.start("sox", {"-t", "vox", "-r", "8000", "-c", "1", vox, "-t", "raw", "-e", "signed", "-b",
                      "16", "-"});
    if (!sox.waitForFinished() || sox.exitCode() != 0)
        return {};
    const QByteArray bytes = sox.readAllStandardOutput();
    QVector<qint16> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.constData(), bytes.size());
    return samples;
}

QByteArray littleEndian(const QVector<qint16>& samples)
{
    QByteArray bytes(samples.size() * 2, Qt::Uninitialized);
    qToLittleEndian<qint16>(samples.constData(), samples.size(), bytes.data());
    return bytes;
}

double recordedSnrDb(const QVector<qint16>& decoded)
{
    return snrDb(makeSignal(Tone, decoded.size()), decoded, VoxFile::SampleRate / 10);
}

} // namespace

class TestOrvelMedia : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY((m_dir = std::make_unique<QTemporaryDir>())->isValid()); }

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
        const QString ours = m_dir->filePath("ours.vox");
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
        const QString raw = m_dir->filePath("input.raw"), theirs = m_dir->filePath("sox.vox");
        QFile file(raw);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(littleEndian(input)) > 0);
        file.close();
        QCOMPARE(QProcess::execute("sox", {"-t", "raw", "-r", "8000", "-e", "signed", "-b", "16",
                                           "-c", "1", raw, "-t", "vox", theirs}),
                 0);
        const QVector<qint16> fromSox = VoxFile::decode(theirs);
        QCOMPARE(fromSox.size(), input.size());
        QCOMPARE(fromSox, soxDecode(theirs));
    }

    void recordsLineSound_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("chunkBytes");
        QTest::newRow("20 ms frames") << 2 << FrameBytes;
        // Odd sample counts reach the writer: no padding nibble may slip in.
        QTest::newRow("chunks split inside samples") << 2 << 77;
        QTest::newRow("call of no length") << 0 << FrameBytes;
    }

    void recordsLineSound()
    {
        QFETCH(int, seconds);
        QFETCH(int, chunkBytes);
        const QByteArray pcm = littleEndian(makeSignal(Tone, seconds * VoxFile::SampleRate));
        const QString path = m_dir->filePath("call.vox");
        OrvelMedia media;
        QVERIFY(media.MediaPrepare(1));
        QVERIFY(media.MediaRecord(1, path));
        for (qsizetype at = 0; at < pcm.size(); at += chunkBytes)
            media.writeLineAudio(pcm.mid(at, chunkBytes));
        // What a program killed mid-call leaves behind.
        QCOMPARE(VoxFile::decode(path).size(), pcm.size() / 2);

        QVERIFY(media.MediaPrepare(0));
        QVERIFY(!media.isRecording());
        bool ok = false;
        const QVector<qint16> decoded = VoxFile::decode(path, &ok);
        QVERIFY(ok && QFileInfo(path).isFile());
        QCOMPARE(decoded.size(), pcm.size() / 2);
        QVERIFY2(seconds == 0 || recordedSnrDb(decoded) > 18,
                 qPrintable(QString::number(recordedSnrDb(decoded))));
    }

    void refusals()
    {
        OrvelMedia media;
        QVERIFY(!media.MediaRecord(1, m_dir->filePath("unprepared.vox")));
        QVERIFY(media.MediaPrepare(1));
        const QString inMissingFolder = m_dir->filePath("20240101/call.vox");
        QVERIFY(!media.MediaRecord(1, inMissingFolder));
        QVERIFY(!media.lastError().isEmpty() && !media.isRecording());
        QVERIFY(!QFileInfo::exists(inMissingFolder));
    }

    // Played in real time to its end, or stopped for good.
    void playback_data()
    {
        QTest::addColumn<bool>("forceSilent");
        QTest::addColumn<QString>("stop");
        QTest::newRow("silent sink") << true << QString();
        // Falls back to the silent sink where there is no sound device.
        QTest::newRow("default output") << false << QString();
        QTest::newRow("MediaStop") << true << u"MediaStop"_s;
        QTest::newRow("MediaPrepare(0)") << true << u"MediaPrepare"_s;
    }

    void playback()
    {
        QFETCH(bool, forceSilent);
        QFETCH(QString, stop);
        const QString path = m_dir->filePath("play.vox");
        QVERIFY(VoxFile::encode(path, makeSignal(Tone, VoxFile::SampleRate * 4 / 5)));
        OrvelMedia media;
        media.setSilentOutput(forceSilent);
        QVERIFY(!media.MediaPlay(m_dir->filePath("deleted.vox")));
        QVERIFY2(media.lastError().contains("deleted.vox"), qPrintable(media.lastError()));
        QVERIFY(!media.MediaPlay(m_dir->path()));

        QSignalSpy position(&media, &OrvelMedia::PlaybackPosition);
        QSignalSpy finished(&media, &OrvelMedia::PlaybackFinished);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(media.MediaPlay(path) && media.isPlaying());
        QCOMPARE(media.playbackLengthMs(), qint64(800));
        if (!stop.isEmpty()) {
            QTest::qWait(300);
            stop == u"MediaStop" ? media.MediaStop() : void(media.MediaPrepare(0));
            QVERIFY(!media.isPlaying());
            const qsizetype reports = position.size();
            QTest::qWait(600); // past the end, had it gone on
            QCOMPARE(position.size(), reports);
            QCOMPARE(finished.size(), 0);
            QVERIFY(media.MediaPlay(path) && media.isPlaying());
            return;
        }
        QVERIFY(finished.wait(5000));
        // A device reports the end once its buffer holds the last sample.
        if (forceSilent || QMediaDevices::audioOutputs().isEmpty())
            QVERIFY2(clock.elapsed() >= 780, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!media.isPlaying());

        qint64 last = -1;
        int midway = 0;
        for (const QList<QVariant>& report : position) {
            const qint64 at = report.at(0).toLongLong();
            QVERIFY(at >= last && report.at(1).toLongLong() == 800);
            midway += at > 0 && at < 800;
            last = at;
        }
        QVERIFY(midway > 0);
        QCOMPARE(last, qint64(800));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestOrvelMedia)
#include "tst_orvelmedia.moc"
