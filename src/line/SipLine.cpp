#include "line/SipLine.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QUrl>

#include <algorithm>

#include "line/HeadsetAudio.h"

SipLine::SipLine(const LineSettings& settings, QObject* parent)
    : LineBackend(parent), m_settings(settings),
      m_headset(std::make_unique<HeadsetAudio>(settings.audioIn, settings.audioOut))
{
    m_openTimeout.setSingleShot(true);
    m_openTimeout.setInterval(OpenTimeoutMs);
    connect(&m_openTimeout, &QTimer::timeout, this, [this] { finishOpen(false); });
    connect(m_headset.get(), &HeadsetAudio::voice, this, [this](const QByteArray& pcm) {
        if (m_agent)
            m_agent->sendVoice(pcm);
    });
}

SipLine::~SipLine() = default;

void SipLine::open()
{
    if (m_linked) {
        emit opened(true);
        return;
    }
    m_opening = true;
    m_openTimeout.start();
    if (!m_agent && !m_resolving)
        resolve();
}

void SipLine::resolve()
{
    const QHostAddress literal(m_settings.serverHost);
    if (!literal.isNull()) {
        start(literal);
        return;
    }
    m_resolving = true;
    QHostInfo::lookupHost(m_settings.serverHost, this, [this](const QHostInfo& info) {
        m_resolving = false;
        const QList<QHostAddress> addresses = info.addresses();
        if (!addresses.isEmpty()) {
            const auto ipv4 = std::find_if(addresses.begin(), addresses.end(), [](const auto& a) {
                return a.protocol() == QAbstractSocket::IPv4Protocol;
            });
            start(ipv4 != addresses.end() ? *ipv4 : addresses.first());
            return;
        }
        warn(QStringLiteral("cannot find the SIP server %1: %2")
                 .arg(m_settings.serverHost, info.errorString()));
        finishOpen(false);
        QTimer::singleShot(SipUserAgent::RetryMs, this, &SipLine::resolve);
    });
}

void SipLine::start(const QHostAddress& server)
{
    SipUserAgent::Account account;
    account.user = m_settings.user;
    account.password = m_settings.password;
    account.domain = m_settings.domain;
    account.server = server;
    account.serverPort = m_settings.serverPort;
    account.localPort = m_settings.localPort;
    m_agent = std::make_unique<SipUserAgent>(account);
    SipUserAgent* agent = m_agent.get();
    connect(agent, &SipUserAgent::registered, this, &SipLine::handleRegistration);
    connect(agent, &SipUserAgent::ringChanged, this, &LineBackend::ringChanged);
    connect(agent, &SipUserAgent::hookChanged, this, &SipLine::handleHook);
    connect(agent, &SipUserAgent::callerNumberReceived, this, &LineBackend::callerNumber);
    connect(agent, &SipUserAgent::frame, this,
            [this](const QByteArray& mixed, const QByteArray& far) {
                emit audio(mixed);
                m_headset->play(far);
            });
    connect(agent, &SipUserAgent::failed, this, [this](const QString& why) {
        warn(why);
        finishOpen(false);
        // The thread has ended; a new agent tries again.
        QTimer::singleShot(SipUserAgent::RetryMs, this, &SipLine::restart);
    });
    agent->start();
}

void SipLine::restart()
{
    m_agent.reset();
    resolve();
}

void SipLine::handleRegistration(bool accepted, const QString& reason)
{
    if (accepted) {
        m_lastProblem.clear();
        if (!m_linked) {
            m_linked = true;
            emit linkChanged(true);
            // The line's state once, as a device reports it when first
            // reached: the program takes its first hook report as that.
            if (!m_reported) {
                m_reported = true;
                emit hookChanged(1);
            }
        }
        finishOpen(true);
        return;
    }
    warn(QStringLiteral("registration of %1 at %2 refused: %3")
             .arg(m_settings.user, m_settings.domain, reason));
    if (m_linked) {
        m_linked = false;
        emit linkChanged(false);
    }
    finishOpen(false);
}

void SipLine::handleHook(int hook)
{
    if (hook == 3)
        m_headset->start();
    else
        m_headset->stop();
    emit hookChanged(hook);
}

void SipLine::warn(const QString& problem)
{
    // Said once while it lasts; the password is never part of it.
    if (problem == m_lastProblem)
        return;
    m_lastProblem = problem;
    qWarning("Brenvo line: %s", qPrintable(problem));
}

void SipLine::finishOpen(bool ok)
{
    if (!m_opening)
        return;
    m_opening = false;
    m_openTimeout.stop();
    emit opened(ok);
}

bool SipLine::isLineBusy() const
{
    return m_agent && m_agent->isLineBusy();
}

void SipLine::takeLine()
{
    if (m_agent)
        m_agent->takeLine();
}

void SipLine::dial(const QString& dialString)
{
    QString digits = dialString;
    digits.remove(u',').remove(u' ');
    if (m_agent && !digits.isEmpty())
        m_agent->dial(QString::fromLatin1(QUrl::toPercentEncoding(digits, "*+")));
}

void SipLine::hangUp()
{
    if (m_agent)
        m_agent->hangUp();
}

SipUserAgent::Counts SipLine::counts() const
{
    return m_agent ? m_agent->counts() : SipUserAgent::Counts();
}
