#pragma once

#include <QTimer>

#include "line/LineBackend.h"

class LineProtocol;

// The line simulator (brenvo-line) as the device: localhost TCP with
// LineProtocol. The link is up while the simulator answers; a lost
// connection is tried again every RetryMs.
class SimulatorLine : public LineBackend
{
    Q_OBJECT
public:
    // How long open() waits for the simulator's first state report.
    static constexpr int OpenTimeoutMs = 1000;
    static constexpr int RetryMs = 1000;

    explicit SimulatorLine(quint16 port, QObject* parent = nullptr);

    void open() override;
    bool isLineBusy() const override;
    void takeLine() override;
    void dial(const QString& dialString) override;
    void hangUp() override;

private:
    void connectToDevice();
    void handleText(const QString& text);
    void handleUnconnected();
    void send(const QString& command);
    // The open's outcome, once.
    void finishOpen(bool ok);

    quint16 m_port;
    bool m_opened = false;
    bool m_opening = false;
    bool m_linked = false;
    // 0 until the device first reports, so the first report after start-up
    // always reaches the program.
    int m_hook = 0;
    int m_bell = 0;
    LineProtocol* m_line = nullptr;
    QTimer m_retry;
    QTimer m_openTimeout;
};
