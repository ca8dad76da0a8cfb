#include "line/WavFile.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <vector>

#include "line/LineProtocol.h"

bool WavFile::read8k(const QString& path, QList<qint16>* samples, QString* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        *error = QStringLiteral("cannot read %1 as a WAV file: %2")
                     .arg(path, QString::fromLocal8Bit(sf_strerror(nullptr)));
        return false;
    }
    std::vector<float> frames(size_t(info.frames) * size_t(info.channels));
    const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    if (read <= 0) {
        *error = QStringLiteral("%1 holds no sound").arg(path);
        return false;
    }

    // Linear interpolation is enough for a test voice; the line is 8 kHz.
    const double step = double(info.samplerate) / LineProtocol::SampleRate;
    samples->clear();
    for (double at = 0; at < double(read - 1); at += step) {
        const auto first = sf_count_t(at);
        const double weight = at - double(first);
        double mono = 0;
        for (int channel = 0; channel < info.channels; ++channel) {
            const float a = frames[size_t(first * info.channels + channel)];
            const float b = frames[size_t((first + 1) * info.channels + channel)];
            mono += a + (b - a) * weight;
        }
        mono /= info.channels;
        samples->append(qint16(std::clamp(mono, -1.0, 1.0) * 32767));
    }
    if (samples->isEmpty())
        samples->append(0);
    return true;
}
