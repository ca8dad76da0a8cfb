#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

// One running copy per user session and program folder. The lock and a
// local socket live in the user's runtime folder under a name made from the
// program folder, so nothing is written into the program folder, which an
// installed copy may not be allowed to write. A later copy asks the running
// one, through the socket, to bring its window forward, and then ends.
// A stale lock of a crashed copy is broken by QLockFile itself.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& programFolder, QObject* parent = nullptr);

    // False when another copy runs; that copy has been asked to come forward.
    bool isFirst() const { return m_first; }
    // Where the lock and the socket live.

signals:
    // A later start asked this copy to show its window.
    void raiseRequested();

private:
    static QString keyPath(const QString& programFolder);
    void listen(const QString& socketPath);

    QLockFile m_lock;
    QLocalServer m_server;
    bool m_first = true;
};
