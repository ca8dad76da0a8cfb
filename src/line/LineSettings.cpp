#include "line/LineSettings.h"

#include <QUrl>

#include "platform/IniFile.h"

LineSettings LineSettings::read(const QString& iniPath)
{
    // An empty value counts as a missing one.
    const auto value = [&iniPath](const char* key, const QString& fallback = QString()) {
        const QString text =
            IniFile::value(QStringLiteral("Line"), QString::fromLatin1(key), QString(), iniPath);
        return text.isEmpty() ? fallback : text;
    };
    LineSettings settings;
    const auto refuse = [](const QString& why) {
        LineSettings simulator;
        simulator.problem = why;
        return simulator;
    };
    const QString device = value("Device", QStringLiteral("simulator")).toLower();
    if (device == u"simulator")
        return settings;
    if (device != u"sip")
        return refuse(QStringLiteral("Device: neither simulator nor sip: ") + device);
    settings.device = Device::Sip;

    // host, host:port or [IPv6 address]:port, as in a URL's authority.
    const QString server = value("SipServer");
    const QUrl url(QStringLiteral("sip://") + server, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        !url.path().isEmpty() || url.port() == 0)
        return refuse(QStringLiteral("SipServer: not a host or host:port: ") + server);
    settings.serverHost = url.host();
    settings.serverPort = quint16(url.port(5060));
    bool ok = false;
    const uint port = value("SipPort", QStringLiteral("5060")).toUInt(&ok);
    if (!ok || port > 65535)
        return refuse(QStringLiteral("SipPort: not a port: ") + value("SipPort"));
    settings.localPort = quint16(port);
    settings.user = value("SipUser");
    if (settings.user.isEmpty())
        return refuse(QStringLiteral("SipUser: empty"));
    settings.password = value("SipPassword");
    settings.domain = value("SipDomain", settings.serverHost);
    settings.audioIn = value("AudioIn");
    settings.audioOut = value("AudioOut");
    return settings;
}
