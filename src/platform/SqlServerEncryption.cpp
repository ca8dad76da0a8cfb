#include "platform/SqlServerEncryption.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

// FreeTDS reads one configuration file per process, the one FREETDSCONF
// names: the sections written so far, in a folder of this user's own that
// goes when the process ends.
struct ConfigFile
{
    QMutex mutex;
    QTemporaryDir dir;
    QByteArray text;
    bool named = false;
};

ConfigFile& configFile()
{
    static ConfigFile file;
    return file;
}

QByteArray hashOf(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().left(24);
}

} // namespace

SqlServerEncryption SqlServerEncryption::fromSettings(const QString& encrypt, const QString& caFile,
                                                      const QString& programFolder)
{
    SqlServerEncryption e;
    const QString mode = encrypt.trimmed().toLower();
    if (mode == u"off")
        e.mode = Mode::Off;
    else if (!mode.isEmpty() && mode != u"request")
        e.mode = Mode::Require;
    if (!caFile.isEmpty())
        e.caFile = QDir(programFolder).absoluteFilePath(caFile);
    return e;
}

QString SqlServerEncryption::level() const
{
    switch (mode) {
    case Mode::Off:
        return QStringLiteral("off");
    case Mode::Request:
        return QStringLiteral("request");
    case Mode::Require:
        break;
    }
    return QStringLiteral("require");
}

QString SqlServerEncryption::freeTdsSection(const QString& host, const QString& port,
                                            QString* error) const
{
    ConfigFile& file = configFile();
    QMutexLocker lock(&file.mutex);
    const QString path = file.dir.filePath(QStringLiteral("freetds.conf"));
    if (!file.dir.isValid()) {
        *error = QStringLiteral("No folder for FreeTDS's configuration: ") + file.dir.errorString();
        return QString();
    }
    // The authorities are read at every connection, so a replaced file counts
    // at the next login. FreeTDS gets a copy named by its content: a path may
    // hold ';' or '#', which begin a comment in its file, or run past the
    // 255 characters of its lines.
    QByteArray authorities = "system";
    if (!caFile.isEmpty()) {
        QFile ca(caFile);
        if (!ca.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("CaFile %1: %2").arg(caFile, ca.errorString());
            return QString();
        }
        const QByteArray pem = ca.readAll();
        QSaveFile copy(file.dir.filePath(QString::fromLatin1(hashOf(pem) + ".pem")));
        if (!QFile::exists(copy.fileName()) &&
            (!copy.open(QIODevice::WriteOnly) || copy.write(pem) != pem.size() || !copy.commit())) {
            *error = QStringLiteral("%1: %2").arg(copy.fileName(), copy.errorString());
            return QString();
        }
        authorities = QFile::encodeName(copy.fileName());
    }
    const QByteArray body = "\thost = " + host.toUtf8() + "\n\tport = " + port.toUtf8() +
                            "\n\tca file = " + authorities +
                            "\n\tcheck certificate hostname = yes\n";
    const QByteArray name = "brenvo-" + hashOf(body);
    if (!file.text.contains('[' + name + ']')) {
        const QByteArray text = file.text + '[' + name + "]\n" + body;
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
            *error = QStringLiteral("%1: %2").arg(out.fileName(), out.errorString());
            return QString();
        }
        file.text = text;
    }
    // Named once, at the first connection that verifies its server: changing
    // the environment while another thread reads it is not safe.
    if (!file.named)
        file.named = qputenv("FREETDSCONF", QFile::encodeName(path));
    return QString::fromLatin1(name);
}

QString SqlServerEncryption::refusal(const QString& host, const QString& port, int timeoutMs) const
{
    if (!verifiesServer())
        return QString();
    // A PRELOGIN packet: VERSION, ENCRYPTION ON, end.
    static const QByteArray preLogin = QByteArray::fromHex("1201001a00000000"
                                                           "00000b0006"
                                                           "0100110001"
                                                           "ff"
                                                           "000000000000"
                                                           "01");
    QTcpSocket socket;
    socket.connectToHost(host, port.toUShort());
    QByteArray answer;
    if (socket.waitForConnected(timeoutMs) && socket.write(preLogin) == preLogin.size()) {
        while ((answer.size() < 8 || answer.size() < qFromBigEndian<quint16>(answer.data() + 2)) &&
               socket.waitForReadyRead(timeoutMs))
            answer += socket.readAll();
    }
    // The answer's options: token, big-endian offset and length, up to 0xFF.
    const QByteArray options = answer.mid(8);
    for (qsizetype at = 0; at + 5 <= options.size() && quint8(options.at(at)) != 0xFF; at += 5) {
        const quint16 offset = qFromBigEndian<quint16>(options.constData() + at + 1);
        if (options.at(at) != 0x01 || offset >= options.size())
            continue;
        if (options.at(offset) != 0x02) // anything but "not supported"
            return QStringLiteral("The server's certificate is not signed by %1, or is not made "
                                  "out to %2.")
                .arg(caFile.isEmpty() ? QStringLiteral("an authority the system trusts")
                                      : QStringLiteral("an authority of CaFile ") + caFile,
                     host);
        return mode == Mode::Require
                   ? QStringLiteral("Encrypt=require, and the server does not offer encryption.")
                   : QString();
    }
    return QString();
}
