#pragma once

#include <memory>

#include <QTimer>

#include "line/LineBackend.h"
#include "line/LineSettings.h"
#include "line/SipUserAgent.h"

class HeadsetAudio;
class QHostAddress;

// The desk as an extension of the branch's SIP telephone system, the agent
// talking through the headset. The link is the registration: up while the
// server accepts it, down when a refresh fails or the server stops
// answering, up again as soon as it is accepted anew.
class SipLine : public LineBackend
{
    Q_OBJECT
public:
    // How long open() waits for the first registration's answer.
    static constexpr int OpenTimeoutMs = 5000;

    explicit SipLine(const LineSettings& settings, QObject* parent = nullptr);
    ~SipLine() override;

    void open() override;
    bool isLineBusy() const override;
    void takeLine() override;
    // The digits of the dial string, its pauses (commas) dropped, are the
    // number called at the SIP domain.
    void dial(const QString& dialString) override;
    void hangUp() override;

    SipUserAgent::Counts counts() const;

private:
    void resolve();
    void start(const QHostAddress& server);
    void restart();
    void handleRegistration(bool accepted, const QString& reason);
    void handleHook(int hook);
    void warn(const QString& problem);
    void finishOpen(bool ok);

    LineSettings m_settings;
    std::unique_ptr<HeadsetAudio> m_headset;
    std::unique_ptr<SipUserAgent> m_agent;
    bool m_opening = false;
    bool m_resolving = false;
    bool m_linked = false;
    bool m_reported = false;
    QString m_lastProblem;
    QTimer m_openTimeout;
};
