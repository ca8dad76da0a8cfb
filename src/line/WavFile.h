#pragma once

#include <QList>
#include <QString>

// Sound files played on the line (a far end's voice in the simulator, the
// agent's voice from AudioIn=file:PATH): any file libsndfile can decode,
// brought to the line's 8 kHz mono 16-bit samples.
namespace WavFile {

// Several channels are mixed and other sample rates are resampled; false
// with a reason for a file that cannot be read or holds no sound.
bool read8k(const QString& path, QList<qint16>* samples, QString* error);

} // namespace WavFile
