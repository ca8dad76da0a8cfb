#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The far end's sound on the simulated line: 20 ms frames of 8 kHz s16le mono
// PCM, either a WAV file played in a loop or a generated voice-like signal
// (a buzzing pitch shaped by vowel formants, spoken in syllables and words).
class LineAudioSource
{
public:
    // Reads any WAV file libsndfile can decode; several channels are mixed
    // and other sample rates are resampled to 8 kHz.
    bool loadWav(const QString& path, QString* error);
    QByteArray nextFrame();

private:
    qint16 nextVoiceSample();

    QList<qint16> m_wav;
    qsizetype m_wavPos = 0;
    qint64 m_sample = 0;
    double m_phase = 0;
};
