#include "platform/SingleInstance.h"

#include <QDir>

SingleInstance::SingleInstance(const QString& programFolder)
    : m_lock(QDir(programFolder)
                 .filePath(QStringLiteral(".brenvo-%1.lock").arg(qEnvironmentVariable("USER"))))
{
    m_lock.setStaleLockTime(0);
    m_first = m_lock.tryLock(0);
}
