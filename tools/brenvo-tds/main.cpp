#include "TdsControl.h"
#include "TdsServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTcpSocket>

#include <cstdio>

namespace {

// Sends one control command to a running server and prints its answer.
int tell(quint16 port, const QString& command)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000)) {
        std::fprintf(stderr, "brenvo-tds: no control port answers on 127.0.0.1:%u\n", port);
        return 1;
    }
    socket.write(command.toUtf8() + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
    }
    const QByteArray reply = socket.readLine().trimmed();
    std::fprintf(reply.startsWith("OK") ? stdout : stderr, "%s\n", reply.constData());
    return reply.startsWith("OK") ? 0 : 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A SQL Server stand-in for Brenvo's tests and demo: speaks TDS 7.4 to FreeTDS, tsql and "
        "QODBC and answers from SQLite files, with the column types of the SQL Server schema. "
        "--control opens a text port for faults (see tools/brenvo-tds/README.md); with --send "
        "the program only sends one command to that port."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("TDS port (default 1433; 0 takes a free one)."),
         QStringLiteral("PORT"), QStringLiteral("1433")},
        {QStringLiteral("address"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
         QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("schema"),
         QStringLiteral("SQL Server schema script (default: Brenvo's mssql.sql)."),
         QStringLiteral("FILE")},
        {QStringLiteral("database"),
         QStringLiteral("A database: NAME=SQLITEFILE or NAME=SQLITEFILE,COLLATION. Repeatable."),
         QStringLiteral("NAME=FILE")},
        {QStringLiteral("collation"),
         QStringLiteral("Collation of databases that name none (default Korean_Wansung_CI_AS)."),
         QStringLiteral("COLLATION")},
        {QStringLiteral("user"), QStringLiteral("Login name (default brenvo)."),
         QStringLiteral("USER"), QStringLiteral("brenvo")},
        {QStringLiteral("password"), QStringLiteral("Login password (default brenvo)."),
         QStringLiteral("PASSWORD"), QStringLiteral("brenvo")},
        {QStringLiteral("control"), QStringLiteral("Control port for faults (127.0.0.1 only)."),
         QStringLiteral("PORT")},
        {QStringLiteral("send"), QStringLiteral("Send COMMAND to the control port and exit."),
         QStringLiteral("COMMAND")},
        {QStringLiteral("certificate"),
         QStringLiteral("TLS certificate with its chain, PEM (default: a self-signed one)."),
         QStringLiteral("FILE")},
        {QStringLiteral("key"), QStringLiteral("Key of --certificate, PEM."),
         QStringLiteral("FILE")},
        {QStringLiteral("require-encryption"),
         QStringLiteral("Encrypt every session whole; refuse clients that cannot.")},
        {QStringLiteral("no-encryption"),
         QStringLiteral("Serve without TLS, as a server that has none.")},
        {QStringLiteral("record"),
         QStringLiteral("Write the bytes each connection read and wrote into DIR."),
         QStringLiteral("DIR")},
        {QStringLiteral("verbose"), QStringLiteral("Print every request on stderr.")},
    });
    parser.process(app);
    const quint16 controlPort = quint16(parser.value(QStringLiteral("control")).toUInt());
    if (parser.isSet(QStringLiteral("send"))) {
        if (controlPort == 0) {
            std::fprintf(stderr, "brenvo-tds: --send needs --control PORT\n");
            return 64;
        }
        return tell(controlPort, parser.value(QStringLiteral("send")));
    }
    if (parser.isSet(QStringLiteral("verbose")))
        QLoggingCategory::setFilterRules(QStringLiteral("brenvo.tds.debug=true"));

    TdsServer::Options options;
    options.user = parser.value(QStringLiteral("user"));
    options.password = parser.value(QStringLiteral("password"));
    options.address = QHostAddress(parser.value(QStringLiteral("address")));
    if (parser.isSet(QStringLiteral("schema")))
        options.schemaFile = parser.value(QStringLiteral("schema"));
    if (parser.isSet(QStringLiteral("collation")))
        options.defaultCollation = parser.value(QStringLiteral("collation"));
    options.certificateFile = parser.value(QStringLiteral("certificate"));
    options.keyFile = parser.value(QStringLiteral("key"));
    options.recordFolder = parser.value(QStringLiteral("record"));
    if (parser.isSet(QStringLiteral("no-encryption")))
        options.encryption = TdsServer::Encryption::None;
    else if (parser.isSet(QStringLiteral("require-encryption")))
        options.encryption = TdsServer::Encryption::Required;
    if (options.certificateFile.isEmpty() != options.keyFile.isEmpty()) {
        std::fprintf(stderr, "brenvo-tds: --certificate and --key go together\n");
        return 64;
    }
    for (const QString& given : parser.values(QStringLiteral("database"))) {
        const qsizetype eq = given.indexOf(u'=');
        if (eq <= 0) {
            std::fprintf(stderr, "brenvo-tds: --database wants NAME=FILE, not %s\n",
                         qPrintable(given));
            return 64;
        }
        TdsServer::Database database;
        database.name = given.left(eq);
        database.file = given.mid(eq + 1);
        const qsizetype comma = database.file.lastIndexOf(u',');
        if (comma > 0) {
            database.collation = database.file.mid(comma + 1);
            database.file.truncate(comma);
        }
        options.databases << database;
    }
    bool portOk = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&portOk);
    if (!portOk || port > 65535 || options.address.isNull()) {
        std::fprintf(stderr, "brenvo-tds: bad --port or --address\n");
        return 64;
    }

    TdsServer server;
    QString error;
    if (!server.start(options, quint16(port), &error)) {
        std::fprintf(stderr, "brenvo-tds: %s\n", qPrintable(error));
        return 1;
    }
    TdsControl control(server, options);
    if (controlPort != 0 && !control.listen(controlPort, &error)) {
        std::fprintf(stderr, "brenvo-tds: control port: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("brenvo-tds listening on %s:%u\n", qPrintable(options.address.toString()),
                server.port());
    std::fflush(stdout);
    QObject::connect(&control, &TdsControl::quitRequested, &app, &QCoreApplication::quit);
    return app.exec();
}
