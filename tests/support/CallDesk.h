#pragma once

#include <QSignalSpy>
#include <QTest>

#include "DeskFixture.h"
#include "LineSimulator.h"

// The desk's telephony at work: the real device against an in-process line
// simulator, the real caller feed, recorder, uploads and a real FTP server.
// Modal windows are answered by the test's script, or by the real windows
// when the test passes an opener of its own.
struct CallDesk : DeskFixture
{
    explicit CallDesk(const QString& agent = QStringLiteral("kim"), WindowOpener* opener = nullptr)
        : DeskFixture(agent, opener)
    {
        useFtp(ftp);
        QString error;
        line.setAnswerDelay(100);
        simulatorListening = line.listen(0, &error);
        desk.device.setLinePort(line.port());
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

    FtpServer ftp;
    LineSimulator line;
    bool simulatorListening = false;
    quint16 feedPort = 0;
    CallController& calls = desk.calls;
    QStringList callerIdLabels;
};
