#include "TdsControl.h"

#include <QRegularExpression>
#include <QTcpSocket>

TdsControl::TdsControl(TdsServer& server, const TdsServer::Options& options)
    : m_server(server), m_options(options), m_port(server.port())
{
    connect(&m_listener, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine()) {
                    const QString line = QString::fromUtf8(socket->readLine()).trimmed();
                    if (line.isEmpty())
                        continue;
                    socket->write(run(line).toUtf8() + '\n');
                    if (m_quitting) {
                        // The answer goes out before the process ends.
                        socket->waitForBytesWritten(1000);
                        emit quitRequested();
                    }
                }
            });
        }
    });
}

bool TdsControl::listen(quint16 port, QString* error)
{
    if (m_listener.listen(QHostAddress::LocalHost, port))
        return true;
    *error = m_listener.errorString();
    return false;
}

QString TdsControl::run(const QString& command)
{
    const qsizetype space = command.indexOf(u' ');
    const QString verb = command.left(space).toLower();
    const QString argument = space < 0 ? QString() : command.mid(space + 1).trimmed();
    bool isNumber = false;
    const int number = argument.toInt(&isNumber);
    if (verb == u"status") {
        return QStringLiteral("OK running=%1 port=%2 connections=%3")
            .arg(m_server.isRunning() ? 1 : 0)
            .arg(m_port)
            .arg(m_server.connectionCount());
    }
    if (verb == u"refuse" && (argument == u"on" || argument == u"off")) {
        m_server.setRefuseLogins(argument == u"on");
        return QStringLiteral("OK refuse %1").arg(argument);
    }
    if (verb == u"drop" && argument.isEmpty()) {
        m_server.dropConnections();
        return QStringLiteral("OK dropped");
    }
    if (verb == u"drop-after" && isNumber && number >= 0) {
        m_server.dropAfter(number);
        return QStringLiteral("OK drop after %1").arg(number);
    }
    if (verb == u"drop-on" && !argument.isEmpty()) {
        const QRegularExpression pattern(argument, QRegularExpression::CaseInsensitiveOption);
        if (!pattern.isValid())
            return QStringLiteral("ERROR bad pattern: ") + pattern.errorString();
        m_server.dropOn(pattern);
        return QStringLiteral("OK drop on ") + argument;
    }
    if (verb == u"delay" && isNumber && number >= 0) {
        m_server.setAnswerDelay(number);
        return QStringLiteral("OK delay %1").arg(number);
    }
    if (verb == u"clock") {
        if (argument == u"off") {
            m_server.resetClock();
            return QStringLiteral("OK clock off");
        }
        const bool frozen = argument.endsWith(QLatin1String(" frozen"));
        const QString when = frozen ? argument.chopped(7) : argument;
        const QDateTime at = QDateTime::fromString(when, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!at.isValid())
            return QStringLiteral("ERROR clock wants yyyy-mm-dd hh:mm:ss [frozen] or off");
        m_server.setClock(at, frozen);
        return QStringLiteral("OK clock ") + argument;
    }
    if (verb == u"stop") {
        m_server.stop();
        return QStringLiteral("OK stopped");
    }
    if (verb == u"start") {
        QString error;
        if (!m_server.isRunning() && !m_server.start(m_options, m_port, &error))
            return QStringLiteral("ERROR ") + error;
        return QStringLiteral("OK started");
    }
    if (verb == u"quit") {
        m_quitting = true;
        return QStringLiteral("OK quitting");
    }
    return QStringLiteral("ERROR unknown command; try status, refuse on|off, drop, drop-after N, "
                          "drop-on REGEX, delay MS, clock TIME [frozen]|off, stop, start, quit");
}
