#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

QString ProgramFolder::folder()
{
    const QString home = qEnvironmentVariable("BRENVO_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(QDir(home).absolutePath());
    return QCoreApplication::applicationDirPath();
}

QString ProgramFolder::path(const QString& folder, const QString& literal)
{
    static const QRegularExpression recData(QStringLiteral("(^|/)recdata(?=/|$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString tail = literal;
    tail.replace(u'\\', u'/');
    tail.replace(recData, QStringLiteral("\\1RECDATA"));
    if (tail.isEmpty())
        return folder;
    QString base = folder;
    if (base.endsWith(u'/') && tail.startsWith(u'/'))
        base.chop(1);
    else if (!base.endsWith(u'/') && !tail.startsWith(u'/'))
        base += u'/';
    return base + tail;
}
