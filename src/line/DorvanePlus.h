#pragma once

#include <memory>
#include <QObject>
#include <QString>

#include "line/LineSettings.h"

class LineBackend;

// The phone device on the agent's line, with the operations and events the
// call logic knows. Behind it runs a line back end chosen by the settings:
// the line simulator's client (the default) or a SIP extension. Events are
// always delivered from the event loop after the call that caused them has
// returned, so a handler is never entered while the program is still in
// OpenDevice, TakeLine or Dial.
class DorvanePlus : public QObject
{
    Q_OBJECT
public:
    explicit DorvanePlus(QObject* parent = nullptr);
    ~DorvanePlus() override;

    // The simulator's port on 127.0.0.1; LineProtocol::defaultPort() unless set.
    void setLinePort(quint16 port) { m_port = port; }
    // Which line OpenDevice opens: the settings file's section "Line".
    // Settings that cannot be used leave the simulator, with a warning.
    void useSettings(const LineSettings& settings);

    // Starts reaching the device and returns at once; DeviceOpened tells
    // whether it answered. Whatever the outcome, the control keeps
    // (re)connecting in the background from now on and reports each link
    // change.
    void OpenDevice();
    // A call exists or the line is taken, as last reported by a reachable device.
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
    void DeviceOpened(bool ok);
    void RingChanged(int BellFlag);
    void HookChanged(int HookFlag);
    void DeviceLinkChanged(bool connected);
    // The line's sound while off-hook: 8 kHz s16le mono frames of 20 ms.
    void LineAudio(const QByteArray& pcm);
    // The caller's number from the line itself, where the line knows it.
    void CallerNumber(const QString& number);

private:
    quint16 m_port;
    LineSettings m_settings;
    std::unique_ptr<LineBackend> m_backend;
};
