#pragma once

#include "TdsServer.h"

#include <QObject>
#include <QTcpServer>

// The executable's control port: one text command a line, one answer a
// line ("OK ..." or "ERROR ..."), so a script or a person (nc) can drive
// the faults of a running stand-in.
class TdsControl : public QObject
{
    Q_OBJECT
public:
    TdsControl(TdsServer& server, const TdsServer::Options& options);

    bool listen(quint16 port, QString* error);
    // Runs one command; the answer line without its newline.
    QString run(const QString& command);

signals:
    // After the answer to "quit" went out.
    void quitRequested();

private:
    TdsServer& m_server;
    const TdsServer::Options m_options;
    const quint16 m_port;
    QTcpServer m_listener;
    bool m_quitting = false;
};
