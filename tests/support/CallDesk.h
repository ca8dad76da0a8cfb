#pragma once

#include <QSignalSpy>
#include <QTest>

#include "DeskFixture.h"
#include "LineSimulator.h"
#include "telephony/RecordingRecords.h"

// The desk's telephony at work: the real device against an in-process line
// simulator, the real caller feed, recorder, uploads and a real FTP server.
// The windows a call opens are answered by the test's script, or are the
// real windows when the test passes an opener of its own.
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

    // The call-result window answered: a status and a memo into both rows,
    // as its save writes them, and the window closes.
    void saveResult(const CallPtr& call, const QString& status,
                    const QString& memo = QStringLiteral("통화 메모 '확인'"))
    {
        call->result = ResultCode(status);
        call->resultSaved = true;
        desk.records.addToBoth(QStringLiteral("beforeFtpUpload"),
                               {.Status = status, .R_Path = call->RecFileName, .memo = memo});
        f.windows.finish(Window::CallResult);
    }
    // The caller-ID window's pick of a customer row (kind B or C).
    void pick(const CallPtr& call, const QString& custId, CustSelectKind kind)
    {
        CustomerRecord base;
        base.kind = kind;
        desk.customers.search.readCustomer(
            custId, &calls, base, [this, call, base](const CustomerRecord* read, const QString&) {
                call->customer = read ? *read : base;
                calls.customerChosen(call);
                f.windows.finish(Window::CallerId);
            });
    }
    // An outbound call recorded from start to end, the line bringing `bytes` of
    // sound; with a status, its result filed.
    CallPtr recorded(const QString& start, const QString& end, int bytes = 0,
                     const QString& status = QString())
    {
        const CallPtr call = Call::outbound();
        desk.recorder.StartRecording(*call, start);
        desk.media.writeLineAudio(QByteArray(bytes, '\x20'));
        desk.recorder.StopRecording(*call, end);
        if (!status.isEmpty())
            saveResult(call, status, QString());
        return call;
    }
    // Waits for the call to reach a stage.
    static bool reaches(const CallPtr& call, Call::Stage stage, int ms = 10000)
    {
        return QTest::qWaitFor([&] { return call->stage() == stage; }, ms);
    }

    FtpServer ftp;
    LineSimulator line;
    bool simulatorListening = false;
    quint16 feedPort = 0;
    CallController& calls = desk.calls;
    QStringList callerIdLabels;
};
