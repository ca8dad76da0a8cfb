#pragma once

#include <QSignalSpy>
#include <QTest>

#include "FtpServer.h"
#include "LineSimulator.h"
#include "login/AgentStatus.h"
#include "platform/DorvanePlus.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/OrvelServerSocket.h"
#include "ProgramFolderFixture.h"
#include "telephony/CallController.h"
#include "telephony/CallRecorder.h"
#include "telephony/CallState.h"
#include "telephony/CustomerDesk.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "telephony/RecordingRecords.h"
#include "telephony/RecordingUpload.h"

// Records what the call logic asks of the customer side.
class CustomerDeskRecorder : public CustomerDesk
{
public:
    void SetRegisterInboundCutomer(const QString& campaign, const QString& dataType) override
    {
        registrations << campaign + u'/' + dataType;
    }
    bool saveCallCustomer(const QString& recFile, const QString& telNo) override
    {
        saves << recFile + u'|' + telNo;
        return true;
    }
    void searchCustomers() override { ++searches; }

    QStringList registrations;
    QStringList saves;
    int searches = 0;
};

// One agent's desk on a demo program folder: the real device against an
// in-process line simulator, the real caller feed, recorder, uploads and a
// real FTP server; modal windows are answered by the test's script.
struct CallDesk
{
    explicit CallDesk(const QString& agent = QStringLiteral("kim"))
    {
        f.loginAs(agent);
        f.session.FtpIP = ftp.host();
        f.session.FtpUser = ftp.user();
        f.session.FtpPwd = ftp.password();
        f.session.FtpPortNo = QString::number(ftp.port());
        QString error;
        line.setAnswerDelay(100);
        simulatorListening = line.listen(0, &error);
        device.setLinePort(line.port());
        media.setSilentOutput(true);
        QObject::connect(&device, &DorvanePlus::LineAudio, &media, &OrvelMedia::writeLineAudio);
        QObject::connect(&calls, &CallController::callerIdLabel,
                         [this](const QString& number) { callerIdLabels << number; });
    }

    // Opens the device and the feed on a free port, and lets the first hook
    // report (which the call logic swallows) arrive.
    void open()
    {
        feedPort = 0;
        calls.openDevices(0);
        feedPort = socket.serverPort();
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
    CallState call;
    CustomerPanel panel;
    DeskControls desk;
    DorvanePlus device;
    OrvelServerSocket socket{QHostAddress::LocalHost};
    FtpCientOCX ftpControl;
    OrvelMedia media;
    AgentStatus status{f.db, f.messages};
    RecordingRecords records{f.db};
    CallRecorder recorder{f.session, call, panel, media, ftpControl, records, f.errors};
    RecordingUpload upload{f.session, f.db, records};
    CustomerDeskRecorder customers;
    CallController calls{{f.session, call, f.db, device, socket, ftpControl, recorder, records,
                          upload, status, panel, desk, customers, f.windows, f.messages}};
    QStringList callerIdLabels;
};
