#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

// One running copy per user session and program folder. The lock and a
// local socket live in the user's runtime folder under a name made from the
// program folder, so nothing is written into the program folder, which an
// installed copy may not be allowed to write. A runtime folder that is not
// the user's alone (another owner, or writable by others; Qt's stand-in in
// the temporary folder is taken on the same terms) is passed over for
// ~/.cache/brenvo, made 0700: never a shared folder such as /tmp, where
// another user could plant a lock that ends every start. A later copy asks
// the running one, through the socket, to bring its window forward, and then
// ends. A stale lock of a crashed copy is broken by QLockFile itself, and a
// lock file of another owner is never obeyed.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& programFolder, QObject* parent = nullptr);

    // False when another copy runs; that copy has been asked to come forward.
    bool isFirst() const { return m_first; }
    // The lock (+ ".lock") and the socket (+ ".sock") of a program folder;
    // '' when no folder of the user's own is to be had.
    static QString keyPath(const QString& programFolder);

signals:
    // A later start asked this copy to show its window.
    void raiseRequested();

private:
    void listen(const QString& socketPath);

    QString m_key; // keyPath()
    QLockFile m_lock;
    QLocalServer m_server;
    bool m_first = true;
};
