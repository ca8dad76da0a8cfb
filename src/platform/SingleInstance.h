#pragma once

#include <QLockFile>
#include <QString>

// One running copy per user session: a lock file in the program folder,
// taken for the life of this object. A stale lock of a crashed copy is
// broken by QLockFile itself.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& programFolder);
    bool isFirst() const { return m_first; }

private:
    QLockFile m_lock;
    bool m_first = false;
};
