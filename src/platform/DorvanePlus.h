#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class LineProtocol;
class QEventLoop;

// The phone recording device on the agent's line. This machine has no such
// device, so the control talks to the line simulator (brenvo-line) over
// localhost TCP with LineProtocol. Events are always delivered from the event
// loop after the call that caused them has returned, so a handler is never
// entered while the program is still in OpenDevice, TakeLine or Dial.
class DorvanePlus : public QObject
{
    Q_OBJECT
public:
    static constexpr int OpenTimeoutMs = 1000;
    static constexpr int RetryMs = 1000;

    explicit DorvanePlus(QObject* parent = nullptr);
    // The simulator's port on 127.0.0.1; LineProtocol::defaultPort() unless set.
    void setLinePort(quint16 port) { m_port = port; }

    // Connects to the device and waits up to OpenTimeoutMs for its first
    // state report, running the event loop meanwhile. Whatever the result,
    // the control keeps (re)connecting in the background from now on and
    // reports each link change.
    bool OpenDevice();
    // Off-hook as last reported by a reachable device.
    bool IsLineBusy();
    void Dial(const QString& dialString);
    void HangUp();
    void TakeLine();

    // The values the device's events carry.
    enum class BellFlag
    {
        Stopped = 0,
        Ringing = 1
    };
    enum class HookFlag
    {
        OnHook = 1, // the line released
        OffHook = 3 // the line taken
    };

signals:
    void RingChanged(int BellFlag);
    void HookChanged(int HookFlag);
    void DeviceLinkChanged(bool connected);
    // The line's sound while off-hook: 8 kHz s16le mono frames of 20 ms.
    void LineAudio(const QByteArray& pcm);

private:
    void connectToDevice();
    void handleText(const QString& text);
    void handleUnconnected();
    void send(const QString& command);

    void post(const std::function<void()>& emitSignal);

    quint16 m_port;
    bool m_opened = false;
    bool m_linked = false;
    // 0 until the device first reports, so the first report after start-up
    // always reaches the program.
    int m_hook = 0;
    int m_bell = 0;
    LineProtocol* m_line = nullptr;
    QTimer m_retry;
    QEventLoop* m_opening = nullptr;
    // Reports that arrive while OpenDevice waits, posted once it returns.
    QList<std::function<void()>> m_held;
};
