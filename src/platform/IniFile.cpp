#include "platform/IniFile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

QString decode(const QByteArray& bytes)
{
    // Settings files are UTF-8 here; a file that is not valid UTF-8 is read
    // as Latin-1 so that no byte is lost or rejected.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString limited(QString text, int bufferSize)
{
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    if (bufferSize > 0 && text.size() > bufferSize - 1)
        text.truncate(bufferSize - 1);
    return text;
}

} // namespace

QString IniFile::value(const QString& section, const QString& key, const QString& defaultValue,
                       const QString& filePath, int bufferSize)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return limited(defaultValue, bufferSize);

    bool inSection = false;
    QString line;
    const QString text = decode(file.readAll());
    for (QStringView raw : QStringView(text).split(u'\n')) {
        const QStringView trimmed = raw.trimmed();
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            const QStringView name = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = trimmed.indexOf(u'=');
        if (eq < 0)
            continue;
        if (trimmed.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            QStringView value = trimmed.mid(eq + 1).trimmed();
            // A value between matching quotes comes back without them.
            if (value.size() >= 2 && ((value.front() == u'"' && value.back() == u'"') ||
                                      (value.front() == u'\'' && value.back() == u'\'')))
                value = value.mid(1, value.size() - 2);
            return limited(value.toString(), bufferSize);
        }
    }
    return limited(defaultValue, bufferSize);
}
