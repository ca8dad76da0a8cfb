#include "line/LineProtocol.h"

#include <QTcpSocket>
#include <QtEndian>

namespace {
constexpr int HeaderBytes = 5;
}

quint16 LineProtocol::defaultPort()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("BRENVO_LINE_PORT").toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : DefaultPort;
}

LineProtocol::LineProtocol(QTcpSocket* socket, QObject* parent) : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    // Qt stops reading from the kernel once this much is waiting, so a fast
    // sender is slowed by TCP instead of filling our memory.
    m_socket->setReadBufferSize(4 * MaxPayload);
    connect(m_socket, &QTcpSocket::readyRead, this, &LineProtocol::readFrames);
}

QByteArray LineProtocol::frame(FrameType type, const QByteArray& payload)
{
    QByteArray bytes(HeaderBytes, Qt::Uninitialized);
    bytes[0] = type;
    qToBigEndian<quint32>(quint32(payload.size()), bytes.data() + 1);
    return bytes + payload;
}

void LineProtocol::sendText(const QString& text)
{
    m_socket->write(frame(Text, text.toUtf8()));
}

void LineProtocol::sendAudio(const QByteArray& pcm)
{
    m_socket->write(frame(Audio, pcm));
}

void LineProtocol::readFrames()
{
    m_buffer += m_socket->readAll();
    qsizetype used = 0;
    while (m_buffer.size() - used >= HeaderBytes) {
        const char type = m_buffer.at(used);
        const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + used + 1);
        if ((type != Text && type != Audio) || length > quint32(MaxPayload)) {
            m_buffer.clear();
            m_socket->abort();
            return;
        }
        if (m_buffer.size() - used - HeaderBytes < qsizetype(length))
            break;
        const QByteArray payload = m_buffer.mid(used + HeaderBytes, length);
        used += HeaderBytes + length;
        if (type == Text)
            emit textReceived(QString::fromUtf8(payload));
        else
            emit audioReceived(payload);
        // A slot may have closed the connection; stop reading what is left.
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            m_buffer.clear();
            return;
        }
    }
    m_buffer.remove(0, used);
}
