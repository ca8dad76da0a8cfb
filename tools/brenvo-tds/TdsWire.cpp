#include "TdsWire.h"

#include <QtEndian>

QByteArray Tds::utf16le(QStringView text)
{
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian(text.at(i).unicode(), out.data() + 2 * i);
    return out;
}

QString Tds::fromUtf16le(const QByteArray& raw)
{
    QString out(raw.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = QChar(qFromLittleEndian<quint16>(raw.constData() + 2 * i));
    return out;
}

template <typename T> void TdsWriter::append(T ordered)
{
    m_data.append(reinterpret_cast<const char*>(&ordered), sizeof(T));
}

void TdsWriter::u16(quint16 v)
{
    append(qToLittleEndian(v));
}

void TdsWriter::u16be(quint16 v)
{
    append(qToBigEndian(v));
}

void TdsWriter::u32(quint32 v)
{
    append(qToLittleEndian(v));
}

void TdsWriter::u64(quint64 v)
{
    append(qToLittleEndian(v));
}

void TdsWriter::utf16(QStringView text)
{
    m_data.append(Tds::utf16le(text));
}

void TdsWriter::bVarchar(QStringView text)
{
    const QStringView cut = text.left(255);
    u8(quint8(cut.size()));
    utf16(cut);
}

void TdsWriter::usVarchar(QStringView text)
{
    const QStringView cut = text.left(65535);
    u16(quint16(cut.size()));
    utf16(cut);
}

void TdsWriter::bVarbyte(const QByteArray& b)
{
    u8(quint8(b.size()));
    bytes(b);
}

qsizetype TdsWriter::beginLength16()
{
    const qsizetype at = m_data.size();
    u16(0);
    return at;
}

void TdsWriter::finishLength16(qsizetype at)
{
    const quint16 le = qToLittleEndian(quint16(m_data.size() - at - 2));
    memcpy(m_data.data() + at, &le, 2);
}

QByteArray TdsWriter::take()
{
    QByteArray out;
    out.swap(m_data);
    return out;
}

bool TdsReader::take(qsizetype n)
{
    if (!m_ok || n < 0 || m_pos + n > m_data.size()) {
        m_ok = false;
        return false;
    }
    return true;
}

quint8 TdsReader::u8()
{
    if (!take(1))
        return 0;
    return quint8(m_data.at(m_pos++));
}

template <typename T> T TdsReader::littleEndian()
{
    if (!take(sizeof(T)))
        return 0;
    const T v = qFromLittleEndian<T>(m_data.constData() + m_pos);
    m_pos += sizeof(T);
    return v;
}

quint16 TdsReader::u16()
{
    return littleEndian<quint16>();
}

quint32 TdsReader::u32()
{
    return littleEndian<quint32>();
}

quint64 TdsReader::u64()
{
    return littleEndian<quint64>();
}

QByteArray TdsReader::bytes(qsizetype n)
{
    if (!take(n))
        return {};
    const QByteArray out = m_data.mid(m_pos, n);
    m_pos += n;
    return out;
}

QString TdsReader::utf16(qsizetype chars)
{
    return Tds::fromUtf16le(bytes(chars * 2));
}

QString TdsReader::bVarchar()
{
    return utf16(u8());
}

QString TdsReader::usVarchar()
{
    return utf16(u16());
}
