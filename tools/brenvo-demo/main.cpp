#include <cstdio>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include "DemoFolder.h"
#include "platform/Connection.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brenvo-demo"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a Brenvo demo program folder."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("The program folder to create."));
    const QCommandLineOption customers(QStringLiteral("customers"),
                                       QStringLiteral("Number of customers."), QStringLiteral("n"),
                                       QStringLiteral("300"));
    const QCommandLineOption ftpPort(QStringLiteral("ftp-port"),
                                     QStringLiteral("Port of the branch FTP server."),
                                     QStringLiteral("port"), QStringLiteral("2121"));
    const QCommandLineOption leftovers(QStringLiteral("leftovers"),
                                       QStringLiteral("Recordings of yesterday not yet uploaded."),
                                       QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption sqlServer(
        QStringLiteral("sql-server"),
        QStringLiteral("Point the folder at a SQL Server (e.g. brenvo-tds serving its files)."),
        QStringLiteral("host,port"));
    const QCommandLineOption copyTo(
        QStringLiteral("copy-to-sql-server"),
        QStringLiteral("Copy the demo's data into the SQL Server database an ADO connection "
                       "string names (its rows are deleted first) and point the folder at it."),
        QStringLiteral("ado"));
    const QCommandLineOption encrypt(
        QStringLiteral("encrypt"),
        QStringLiteral("The settings' Encrypt for the SQL Server: off, request or require."),
        QStringLiteral("mode"));
    const QCommandLineOption caFile(
        QStringLiteral("ca-file"),
        QStringLiteral("The settings' CaFile: the authorities to trust (PEM), relative to the "
                       "folder or absolute."),
        QStringLiteral("file"));
    const QCommandLineOption ftpTls(
        QStringLiteral("ftp-tls"),
        QStringLiteral("The settings' FtpTls for the FTP server: off, try or require."),
        QStringLiteral("mode"));
    const QCommandLineOption ftpCaFile(
        QStringLiteral("ftp-ca-file"),
        QStringLiteral("The settings' FtpCaFile: the authorities to trust (PEM), relative to the "
                       "folder or absolute."),
        QStringLiteral("file"));
    parser.addOptions(
        {customers, ftpPort, leftovers, sqlServer, copyTo, encrypt, caFile, ftpTls, ftpCaFile});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        parser.showHelp(2);
    DemoOptions options;
    bool ok = false;
    options.customers = parser.value(customers).toInt(&ok);
    if (!ok || options.customers < 0) {
        std::fprintf(stderr, "brenvo-demo: --customers needs a whole number\n");
        return 2;
    }
    options.ftpPort = parser.value(ftpPort).toInt(&ok);
    if (!ok || options.ftpPort <= 0 || options.ftpPort > 65535) {
        std::fprintf(stderr, "brenvo-demo: --ftp-port needs a port number\n");
        return 2;
    }
    options.leftoverRecordings = parser.value(leftovers).toInt(&ok);
    if (!ok || options.leftoverRecordings < 0) {
        std::fprintf(stderr, "brenvo-demo: --leftovers needs a whole number\n");
        return 2;
    }
    if (parser.isSet(sqlServer) && parser.isSet(copyTo)) {
        std::fprintf(stderr, "brenvo-demo: give --sql-server or --copy-to-sql-server, not both\n");
        return 2;
    }
    SqlServerAddress server;
    if (parser.isSet(copyTo)) {
        server = SqlServerAddress::fromAdo(parser.value(copyTo));
    } else if (parser.isSet(sqlServer)) {
        const QStringList address = parser.value(sqlServer).split(u',');
        server.host = address.value(0).trimmed();
        server.port = address.value(1).toInt(&ok);
        if (server.host.isEmpty() || !ok || server.port <= 0 || server.port > 65535) {
            std::fprintf(stderr, "brenvo-demo: --sql-server needs host,port\n");
            return 2;
        }
    }
    options.ftpTls = parser.value(ftpTls);
    options.ftpCaFile = parser.value(ftpCaFile);
    server.encrypt = parser.value(encrypt);
    server.caFile = parser.value(caFile);
    const QString folder = args.first();
    QString error;
    bool done = DemoFolder::create(folder, options, &error);
    if (done && (parser.isSet(sqlServer) || parser.isSet(copyTo)))
        done = DemoFolder::useSqlServer(folder, server, &error);
    Connection target;
    if (done && parser.isSet(copyTo))
        done = target.open(parser.value(copyTo), folder, &error) &&
               DemoFolder::copyToSqlServer(folder, target, &error);
    if (!done) {
        std::fprintf(stderr, "brenvo-demo: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Demo program folder written to %s\n", qPrintable(QDir(folder).absolutePath()));
    return 0;
}
