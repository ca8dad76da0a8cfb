#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// Lets a road-test script work the real program's windows from outside:
// a local socket that takes one command per line ("click cmdDial",
// "type txtCustName 김철수", "read lblCIDData", ...) and answers one line,
// "OK <text>" or "ERR <why>". Actions run after the answer has gone out, so
// the script hears back before what the click sets off. Built only
// into the road-test build of the program.
class TestDriver : public QObject
{
    Q_OBJECT
public:
    explicit TestDriver(const QString& serverName, QObject* parent = nullptr);

private:
    QString run(const QString& line);

    QLocalServer m_server;
};
