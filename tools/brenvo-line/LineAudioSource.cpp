#include "LineAudioSource.h"

#include "line/LineProtocol.h"
#include "line/WavFile.h"

#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Vowel
{
    double f1, f2, f3;
};

// Formants of a, i, u, e, o.
constexpr std::array<Vowel, 5> Vowels{
    {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240}, {530, 1840, 2480}, {570, 840, 2410}}};

constexpr int SyllableSamples = LineProtocol::SampleRate * 22 / 100;
constexpr int SyllablesPerWord = 4;
constexpr int PauseSamples = LineProtocol::SampleRate * 35 / 100;
constexpr int WordSamples = SyllablesPerWord * SyllableSamples + PauseSamples;

double resonance(double frequency, double formant)
{
    const double detune = (frequency - formant) / 90.0;
    return 1.0 / (1.0 + detune * detune);
}

} // namespace

bool LineAudioSource::loadWav(const QString& path, QString* error)
{
    m_wavPos = 0;
    return WavFile::read8k(path, &m_wav, error);
}

QByteArray LineAudioSource::nextFrame()
{
    QByteArray frame(LineProtocol::AudioFrameBytes, Qt::Uninitialized);
    for (int i = 0; i < frame.size(); i += 2) {
        qint16 sample;
        if (m_wav.isEmpty()) {
            sample = nextVoiceSample();
        } else {
            sample = m_wav.at(m_wavPos);
            m_wavPos = (m_wavPos + 1) % m_wav.size();
        }
        frame[i] = char(sample & 0xFF);
        frame[i + 1] = char((sample >> 8) & 0xFF);
    }
    return frame;
}

qint16 LineAudioSource::nextVoiceSample()
{
    const qint64 inWord = m_sample % WordSamples;
    const qint64 word = m_sample / WordSamples;
    ++m_sample;
    const double seconds = double(m_sample) / LineProtocol::SampleRate;
    // The pitch wanders a little, as a speaking voice does.
    const double pitch = 125 + 15 * std::sin(2 * M_PI * 0.7 * seconds);
    m_phase = std::fmod(m_phase + 2 * M_PI * pitch / LineProtocol::SampleRate, 2 * M_PI);
    if (inWord >= SyllablesPerWord * SyllableSamples)
        return 0;

    const qint64 syllable = inWord / SyllableSamples;
    const Vowel& vowel = Vowels[size_t((word * 3 + syllable * 2) % qint64(Vowels.size()))];
    const double position = double(inWord % SyllableSamples) / SyllableSamples;
    const double envelope = std::pow(std::sin(M_PI * position), 2);

    double sum = 0;
    for (int harmonic = 1; harmonic * pitch < 3400; ++harmonic) {
        const double frequency = harmonic * pitch;
        const double gain = resonance(frequency, vowel.f1) + 0.5 * resonance(frequency, vowel.f2) +
                            0.25 * resonance(frequency, vowel.f3);
        sum += gain * std::sin(harmonic * m_phase);
    }
    return qint16(std::clamp(sum * envelope * 4000, -32767.0, 32767.0));
}
