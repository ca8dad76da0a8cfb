#include "platform/VoxFile.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include "platform/PrivateFiles.h"

namespace {

SNDFILE* openVox(const QString& path, int mode)
{
    SF_INFO info{};
    info.format = SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM;
    info.samplerate = VoxFile::SampleRate;
    info.channels = 1;
#ifdef _WIN32
    return sf_wchar_open(reinterpret_cast<const wchar_t*>(path.utf16()), mode, &info);
#else
    return sf_open(QFile::encodeName(path).constData(), mode, &info);
#endif
}

QString openError(const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(sf_strerror(nullptr)));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

namespace VoxFile {

QVector<qint16> decode(const QString& path, bool* ok, QString* error)
{
    if (ok)
        *ok = false;
    const QFileInfo info(path);
    if (!info.isFile()) {
        setError(error, QStringLiteral("%1: not found").arg(path));
        return {};
    }
    SNDFILE* file = openVox(path, SFM_READ);
    if (!file) {
        setError(error, openError(path));
        return {};
    }
    QVector<qint16> samples(info.size() * 2);
    samples.resize(sf_read_short(file, samples.data(), samples.size()));
    sf_close(file);
    if (ok)
        *ok = true;
    return samples;
}

bool encode(const QString& path, const QVector<qint16>& samples, QString* error)
{
    VoxWriter writer;
    if (!writer.open(path, error))
        return false;
    const bool written = writer.write(samples.constData(), samples.size(), error);
    writer.close();
    return written;
}

qint64 durationMs(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return -1;
    return info.size() * 2 * 1000 / SampleRate;
}

} // namespace VoxFile

VoxWriter::~VoxWriter()
{
    close();
}

bool VoxWriter::open(const QString& path, QString* error)
{
    close();
    // A voice file is only ever new: one that exists already is another
    // recording, never written over.
    QFile created(path);
    if (!PrivateFiles::open(created, QIODevice::WriteOnly | QIODevice::NewOnly)) {
        setError(error, QStringLiteral("%1: %2").arg(path, created.errorString()));
        return false;
    }
    created.close();
    m_file = openVox(path, SFM_WRITE);
    if (!m_file) {
        setError(error, openError(path));
        return false;
    }
    return true;
}

bool VoxWriter::write(const qint16* samples, qsizetype count, QString* error)
{
    if (!m_file) {
        setError(error, QStringLiteral("voice file is not open"));
        return false;
    }
    if (count <= 0)
        return true;
    if (m_hasPending) {
        const qint16 pair[2] = {m_pending, samples[0]};
        m_hasPending = false;
        if (!encodeBlock(pair, 2, error))
            return false;
        ++samples;
        --count;
    }
    if (count % 2 != 0) {
        m_pending = samples[count - 1];
        m_hasPending = true;
        --count;
    }
    return count == 0 || encodeBlock(samples, count, error);
}

bool VoxWriter::encodeBlock(const qint16* samples, qsizetype count, QString* error)
{
    // The codec logs a failed write() and carries on, so the error state,
    // which each call resets, is the only sign of a full disk.
    sf_write_short(m_file, samples, count);
    if (sf_error(m_file) == SF_ERR_NO_ERROR)
        return true;
    setError(error, QString::fromLocal8Bit(sf_strerror(m_file)));
    return false;
}

void VoxWriter::sync()
{
    if (m_file)
        sf_write_sync(m_file);
}

void VoxWriter::close()
{
    if (!m_file)
        return;
    if (m_hasPending) {
        m_hasPending = false;
        encodeBlock(&m_pending, 1, nullptr);
    }
    sf_close(m_file);
    m_file = nullptr;
}
