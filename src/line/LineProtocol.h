#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

// Framed messages between the phone device control and the line simulator on
// localhost TCP. A frame is one type byte, a 4-byte big-endian payload length
// and the payload: UTF-8 text for commands and events, or 8 kHz s16le mono PCM
// for the line's sound. Anything else on the wire drops the connection, so a
// stray client cannot make either end buffer without bound.
class LineProtocol : public QObject
{
    Q_OBJECT
public:
    enum FrameType : char
    {
        Text = 'T',
        Audio = 'A'
    };

    static constexpr quint16 DefaultPort = 8401;
    static constexpr int MaxPayload = 64 * 1024;
    static constexpr int SampleRate = 8000;
    static constexpr int FrameMs = 20;
    static constexpr int AudioFrameBytes = SampleRate * FrameMs / 1000 * 2;

    // First frame of every connection: who is talking to the simulator.
    static inline const QString DeviceHello = QStringLiteral("HELLO DEVICE");
    static inline const QString ControlHello = QStringLiteral("HELLO CONTROL");

    // BRENVO_LINE_PORT when set to a valid port, DefaultPort otherwise.
    static quint16 defaultPort();

    // Reads and writes frames on socket; the socket becomes a child of this object.
    explicit LineProtocol(QTcpSocket* socket, QObject* parent = nullptr);

    QTcpSocket* socket() const { return m_socket; }
    void sendText(const QString& text);
    void sendAudio(const QByteArray& pcm);

    static QByteArray frame(FrameType type, const QByteArray& payload);

signals:
    void textReceived(const QString& text);
    void audioReceived(const QByteArray& pcm);

private:
    void readFrames();

    QTcpSocket* m_socket;
    QByteArray m_buffer;
};
