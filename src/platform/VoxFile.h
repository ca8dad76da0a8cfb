#pragma once

#include <QString>
#include <QVector>

struct sf_private_tag;

// Voice files are headerless Dialogic/OKI 4-bit ADPCM, 8 kHz mono: two
// samples per byte, so the length follows from the file size alone.
namespace VoxFile {

constexpr int SampleRate = 8000;

// Every sample of the file; ok is false (and the result empty) when the
// file cannot be opened. An empty file is a valid recording of no length.
QVector<qint16> decode(const QString& path, bool* ok = nullptr, QString* error = nullptr);
bool encode(const QString& path, const QVector<qint16>& samples, QString* error = nullptr);
// -1 when the file does not exist.
qint64 durationMs(const QString& path);

} // namespace VoxFile

// Streams samples into a new voice file. Bytes reach the operating system
// as they are encoded, so whatever was written before a failure or a crash
// stays decodable.
class VoxWriter
{
public:
    VoxWriter() = default;
    ~VoxWriter();
    VoxWriter(const VoxWriter&) = delete;
    VoxWriter& operator=(const VoxWriter&) = delete;

    // Creates the file; false when it exists already or cannot be made.
    bool open(const QString& path, QString* error = nullptr);
    // False when the file could not take everything, e.g. a full disk; error
    // then carries the operating system's reason.
    bool write(const qint16* samples, qsizetype count, QString* error = nullptr);
    // Asks the operating system to put what was written on the disk.
    void sync();
    void close();

    bool isOpen() const { return m_file != nullptr; }

private:
    bool encodeBlock(const qint16* samples, qsizetype count, QString* error);

    sf_private_tag* m_file = nullptr;
    // The codec packs two samples per byte and pads an odd-sized block
    // with a zero, so an odd trailing sample waits for the next write.
    qint16 m_pending = 0;
    bool m_hasPending = false;
};
