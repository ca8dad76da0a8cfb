#include "foundation/HostUtils.h"

#include <cmath>
#include <QDir>
#include <QTemporaryFile>

#include "foundation/Seams.h"
#include "platform/HostInfo.h"
#include "platform/PrivateFiles.h"

QString HostUtils::GetLocalIP(MessageSink& messages)
{
    const HostInfo::Result host = HostInfo::firstIPv4();
    switch (host.failure) {
    case HostInfo::Result::Failure::NoHostName:
        // The sign position of the error number: a blank before a positive one.
        messages.showMessage(
            QStringLiteral("Windows Sockets error ") +
                (host.errorNumber < 0 ? QStringLiteral("-") : QStringLiteral(" ")) +
                QString::number(std::abs(host.errorNumber)) +
                QStringLiteral(" has occurred. Unable to successfully get Host Name."),
            QString(), MessageIcon::None);
        return QString();
    case HostInfo::Result::Failure::NotResolved:
        messages.showMessage(
            QStringLiteral(
                "Windows Sockets are not responding. Unable to successfully get Host Name."),
            QString(), MessageIcon::None);
        return QString();
    case HostInfo::Result::Failure::None:
        break;
    }
    return host.address;
}

bool HostUtils::CheckProgramFolder(const QString& folder, MessageSink& messages)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".brenvo-write-XXXXXX")));
    if (probe.open())
        return true;
    messages.showMessage(
        QStringLiteral("프로그램 폴더에 쓸 수 없습니다: %1\n\n"
                       "녹음파일(RECDATA), 녹음기록(Brenvo.mdb)과 오류기록(ERRORLOG)이 "
                       "이 폴더에 저장됩니다. 관리자에게 이 폴더의 쓰기 권한을 요청하거나 "
                       "(예: sudo chown -R 상담원계정 %1), 환경변수 BRENVO_HOME으로 쓸 수 있는 "
                       "폴더를 지정해 주십시오.")
            .arg(QDir::toNativeSeparators(folder)),
        QStringLiteral("프로그램 폴더 오류"), MessageIcon::Critical);
    return false;
}

bool HostUtils::MakeDirPath(const QString& path)
{
    QString normal = path;
    normal.replace(u'\\', u'/');
    const int last = normal.lastIndexOf(u'/');
    if (last < 0)
        return true;
    const QString folder = normal.left(last);
    if (folder.isEmpty())
        return true;
    return PrivateFiles::makePath(folder);
}

QString HostUtils::PhoneDigits(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if ((c >= u'0' && c <= u'9') || c == u'*' || c == u'#')
            digits += c;
    }
    return digits;
}

QString HostUtils::FormatDuration(double seconds)
{
    const auto twoDigits = [](const QString& part) {
        return part.size() == 1 ? u'0' + part : part;
    };
    const QString hours = seconds >= 3600 ? QString::number(static_cast<qint64>(seconds / 3600))
                                          : QStringLiteral("00");
    const qint64 rest = static_cast<qint64>(std::llround(seconds)) % 3600;
    const QString minutes = rest >= 60 ? QString::number(rest / 60) : QStringLiteral("00");
    return twoDigits(hours) + u':' + twoDigits(minutes) + u':' +
           twoDigits(QString::number(rest % 60));
}

QString HostUtils::GetFileName(const QString& path)
{
    const int last = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return last < 0 ? path : path.mid(last + 1);
}

QString HostUtils::GetTermName(const QList<ComboItem>& items, const QString& code)
{
    bool isNumber = false;
    const int value = code.trimmed().toInt(&isNumber);
    if (!isNumber)
        return QString();
    for (const ComboItem& item : items) {
        if (item.itemData == value)
            return item.text;
    }
    return QString();
}

int HostUtils::FindComboIndex(const QList<ComboItem>& items, const QString& value)
{
    for (int i = 0; i < items.size(); ++i) {
        if (QString::number(items.at(i).itemData) == value)
            return i;
    }
    return 0;
}
