#pragma once

#include <QSignalSpy>
#include <QTest>

#include "desk/Desk.h"
#include "FtpServer.h"
#include "LineSimulator.h"
#include "ProgramFolderFixture.h"

// One agent's desk on a demo program folder: the real device against an
// in-process line simulator, the real caller feed, recorder, uploads and a
// real FTP server. Modal windows are answered by the test's script, or by
// the real windows when the test passes an opener of its own.
struct CallDesk
{
    explicit CallDesk(const QString& agent = QStringLiteral("kim"), WindowOpener* opener = nullptr)
        : desk({f.session, f.db, f.errors, f.messages, opener ? *opener : f.windows})
    {
        f.loginAs(agent);
        f.session.FtpIP = ftp.host();
        f.session.FtpUser = ftp.user();
        f.session.FtpPwd = ftp.password();
        f.session.FtpPortNo = QString::number(ftp.port());
        QString error;
        line.setAnswerDelay(100);
        simulatorListening = line.listen(0, &error);
        desk.device.setLinePort(line.port());
        desk.media.setSilentOutput(true);
        QObject::connect(
            &calls, &CallController::callerIdLabel,
            [this](const CallPtr&, const QString& number) { callerIdLabels << number; });
    }

    // Opens the device and the feed on a free port, and lets the first hook
    // report (which the call logic swallows) arrive.
    void open()
    {
        calls.openDevices(0);
        feedPort = desk.socket.serverPort();
        line.setFeedPort(feedPort);
        QTest::qWait(200);
    }

    QStringList local(const QString& sql) { return f.rows(QStringLiteral("Brenvo.mdb"), sql); }
    QStringList central(const QString& sql) { return f.rows(QStringLiteral("branch0001.db"), sql); }

    ProgramFolderFixture f;
    FtpServer ftp;
    LineSimulator line;
    bool simulatorListening = false;
    quint16 feedPort = 0;
    Desk desk;
    CallController& calls = desk.calls;
    CustomerPanel& panel = desk.panel;
    DeskControls& controls = desk.controls;
    QStringList callerIdLabels;
};
