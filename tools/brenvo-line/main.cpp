#include "LineSimulator.h"
#include "LineWindow.h"

#include "line/LineProtocol.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFont>
#include <QTcpSocket>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

constexpr int ControlTimeoutMs = 2000;

// Sends one command to a running simulator and prints its reply.
// 0: done, 1: no simulator answered, 2: the simulator refused the command.
int control(quint16 port, const QString& command)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    auto* socket = new QTcpSocket;
    LineProtocol line(socket);
    QString reply;
    QObject::connect(&line, &LineProtocol::textReceived,
                     [&reply](const QString& text) { reply = text; });
    const QDeadlineTimer deadline(ControlTimeoutMs);
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (socket->waitForConnected(deadline.remainingTime())) {
        line.sendText(LineProtocol::ControlHello);
        line.sendText(command);
        while (reply.isEmpty() && socket->state() == QAbstractSocket::ConnectedState &&
               !deadline.hasExpired())
            socket->waitForReadyRead(deadline.remainingTime());
    }
    if (reply.isEmpty()) {
        err << "brenvo-line: no line simulator answers on 127.0.0.1:" << port << Qt::endl;
        return 1;
    }
    if (reply.startsWith(u"ERROR ")) {
        err << "brenvo-line: " << reply.mid(6) << Qt::endl;
        return 2;
    }
    out << reply.mid(3) << Qt::endl;
    return 0;
}

quint16 portOption(const QCommandLineParser& parser, const QString& name, quint16 fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const uint port = parser.value(name).toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated phone line for Brenvo's DorvanePlus device control. Without options it opens "
        "a window; --headless runs the line without one; the other commands drive a running "
        "simulator and exit."));
    parser.addHelpOption();
    const QList<QCommandLineOption> commandOptions{
        {QStringLiteral("ring"),
         QStringLiteral("Ring the line, sending NUMBER to the caller feed."),
         QStringLiteral("NUMBER")},
        {QStringLiteral("stop-ring"), QStringLiteral("Stop ringing (the caller gave up).")},
        {QStringLiteral("answer"), QStringLiteral("Pick up the handset.")},
        {QStringLiteral("hangup"), QStringLiteral("Hang up.")},
        {QStringLiteral("link-down"), QStringLiteral("Disconnect the device.")},
        {QStringLiteral("link-up"), QStringLiteral("Reconnect the device.")},
        {QStringLiteral("state"),
         QStringLiteral("Print the line's state and the last dial string.")},
    };
    const QStringList commandWords{QStringLiteral("RING"),     QStringLiteral("STOPRING"),
                                   QStringLiteral("ANSWER"),   QStringLiteral("HANGUP"),
                                   QStringLiteral("LINKDOWN"), QStringLiteral("LINKUP"),
                                   QStringLiteral("STATE")};
    parser.addOptions(commandOptions);
    parser.addOptions({
        {QStringLiteral("headless"), QStringLiteral("Run the simulator without a window.")},
        {QStringLiteral("port"),
         QStringLiteral("Line port (default: BRENVO_LINE_PORT or %1).")
             .arg(LineProtocol::DefaultPort),
         QStringLiteral("PORT")},
        {QStringLiteral("feed-port"),
         QStringLiteral("Caller feed port (default: BRENVO_FEED_PORT or %1).")
             .arg(LineSimulator::DefaultFeedPort),
         QStringLiteral("PORT")},
        {QStringLiteral("wav"), QStringLiteral("Play FILE as the far end's voice."),
         QStringLiteral("FILE")},
        {QStringLiteral("answer-delay"),
         QStringLiteral("Milliseconds before a dialled number answers (default %1).")
             .arg(LineSimulator::DefaultAnswerDelayMs),
         QStringLiteral("MS")},
    });
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "brenvo-line: %s\n", qPrintable(parser.errorText()));
        return 64;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    const quint16 port = portOption(parser, QStringLiteral("port"), LineProtocol::defaultPort());
    const quint16 feedPort =
        portOption(parser, QStringLiteral("feed-port"), LineSimulator::defaultFeedPort());
    if (port == 0 || feedPort == 0) {
        std::fputs("brenvo-line: a port is a number from 1 to 65535\n", stderr);
        return 64;
    }

    for (qsizetype i = 0; i < commandOptions.size(); ++i) {
        const QString name = commandOptions.at(i).names().constFirst();
        if (parser.isSet(name)) {
            QCoreApplication app(argc, argv);
            const QString argument =
                commandOptions.at(i).valueName().isEmpty() ? QString() : u' ' + parser.value(name);
            return control(port, commandWords.at(i) + argument);
        }
    }

    const bool headless = parser.isSet(QStringLiteral("headless"));
    std::unique_ptr<QCoreApplication> app = headless
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    LineSimulator line;
    line.setFeedPort(feedPort);
    if (parser.isSet(QStringLiteral("answer-delay")))
        line.setAnswerDelay(parser.value(QStringLiteral("answer-delay")).toInt());
    QString error;
    if (parser.isSet(QStringLiteral("wav"))) {
        LineAudioSource source;
        if (!source.loadWav(parser.value(QStringLiteral("wav")), &error)) {
            std::fprintf(stderr, "brenvo-line: %s\n", qPrintable(error));
            return 1;
        }
        line.setAudioSource(source);
    }
    if (!line.listen(port, &error)) {
        std::fprintf(stderr, "brenvo-line: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stdout, "brenvo-line: listening on 127.0.0.1:%u, caller feed to 127.0.0.1:%u\n",
                 port, feedPort);
    std::fflush(stdout);
    if (headless)
        return app->exec();

    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK KR"), 10));
    LineWindow window(line);
    window.show();
    return app->exec();
}
