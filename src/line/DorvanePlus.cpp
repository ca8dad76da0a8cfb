#include "line/DorvanePlus.h"

#include "line/LineProtocol.h"
#include "line/SimulatorLine.h"
#include "line/SipLine.h"

DorvanePlus::DorvanePlus(QObject* parent) : QObject(parent), m_port(LineProtocol::defaultPort()) {}

DorvanePlus::~DorvanePlus() = default;

void DorvanePlus::useSettings(const LineSettings& settings)
{
    if (!settings.problem.isEmpty())
        qWarning("Brenvo line: settings [Line]: %s; the line simulator is used",
                 qPrintable(settings.problem));
    m_settings = settings;
}

void DorvanePlus::OpenDevice()
{
    if (!m_backend) {
        if (m_settings.device == LineSettings::Device::Sip)
            m_backend = std::make_unique<SipLine>(m_settings);
        else
            m_backend = std::make_unique<SimulatorLine>(m_port);
        // Queued: the program hears of a change once the call that caused it
        // has returned.
        const auto queued = Qt::QueuedConnection;
        connect(m_backend.get(), &LineBackend::opened, this, &DorvanePlus::DeviceOpened, queued);
        connect(m_backend.get(), &LineBackend::ringChanged, this, &DorvanePlus::RingChanged,
                queued);
        connect(m_backend.get(), &LineBackend::hookChanged, this, &DorvanePlus::HookChanged,
                queued);
        connect(m_backend.get(), &LineBackend::linkChanged, this, &DorvanePlus::DeviceLinkChanged,
                queued);
        connect(m_backend.get(), &LineBackend::audio, this, &DorvanePlus::LineAudio, queued);
        connect(m_backend.get(), &LineBackend::callerNumber, this, &DorvanePlus::CallerNumber,
                queued);
    }
    m_backend->open();
}

bool DorvanePlus::IsLineBusy()
{
    return m_backend && m_backend->isLineBusy();
}

void DorvanePlus::Dial(const QString& dialString)
{
    if (m_backend)
        m_backend->dial(dialString);
}

void DorvanePlus::HangUp()
{
    if (m_backend)
        m_backend->hangUp();
}

void DorvanePlus::TakeLine()
{
    if (m_backend)
        m_backend->takeLine();
}
