#include "telephony/CallRecorder.h"

#include <QFileInfo>

#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/ProgramFolder.h"
#include "telephony/Call.h"
#include "telephony/RecordingRecords.h"

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

CallRecorder::CallRecorder(Session& session, OrvelMedia& media, RecordingRecords& records,
                           ErrorLog& errors)
    : m_session(session), m_media(media), m_records(records), m_errors(errors),
      m_clock([] { return QDateTime::currentDateTime(); })
{
    connect(&m_media, &OrvelMedia::RecordingFailed, this, &CallRecorder::recordingFailed);
}

QString CallRecorder::digits(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            out += c;
    }
    return out;
}

qint64 CallRecorder::secondsBetween(const QString& start, const QString& end)
{
    QDateTime from = QDateTime::fromString(start, kTimeFormat);
    QDateTime to = QDateTime::fromString(end, kTimeFormat);
    if (!from.isValid() || !to.isValid())
        return 0;
    // Server times carry no zone: count them as UTC so a daylight-saving
    // change of the workstation cannot bend the length.
    from.setTimeSpec(Qt::UTC);
    to.setTimeSpec(Qt::UTC);
    return from.secsTo(to);
}

QString CallRecorder::orNow(const QString& time) const
{
    // The server's clock could not be asked (its failure is in the error
    // log): the call still needs a file of its own and times in its rows.
    return time.isEmpty() ? m_clock().toString(kTimeFormat) : time;
}

void CallRecorder::StartRecording(Call& call, const QString& startTime)
{
    call.CallDirection = call.InboundCall ? CallDirection::Inbound : CallDirection::Outbound;
    QDateTime start = QDateTime::fromString(orNow(startTime), kTimeFormat);
    const auto pathAt = [this](const QDateTime& at) {
        return ProgramFolder::path(
            m_session.programFolder,
            QStringLiteral("\\RECDATA\\") + at.toString(QStringLiteral("yyyyMMdd")) + u'\\' +
                at.toString(QStringLiteral("yyyyMMddHHmmss")) + m_session.BranchID +
                m_session.AgentID + QStringLiteral(".vox"));
    };
    // Two calls started within one second would share a name: the later one
    // takes the next free second, so no voice file is ever written over.
    while (QFileInfo::exists(pathAt(start)))
        start = start.addSecs(1);
    call.CallStartTime = start.toString(kTimeFormat);
    const QString date = call.CallStartTime.left(10);
    const QString timeOfDay = call.CallStartTime.mid(11, 8);
    const QString day = digits(date);
    call.RecFileName = digits(call.CallStartTime) + m_session.BranchID + m_session.AgentID +
                       QStringLiteral(".vox");
    call.RecFilePath = pathAt(start);
    FtpCientOCX::FtpMakeLocalDir(
        ProgramFolder::path(m_session.programFolder, QStringLiteral("\\RecData\\") + day));

    if (!m_media.MediaPrepare(1))
        return;
    if (!m_media.MediaRecord(1, call.RecFilePath)) {
        // A recording folder that cannot be written would lose every call
        // without a word: the agent hears of it at once.
        m_errors.WriteErrorLog(m_media.lastError(), QStringLiteral("Frm100000"),
                               QStringLiteral("StartRecording"), call.RecFilePath);
        return;
    }
    m_recordingPath = call.RecFilePath;

    const CustomerRecord& customer = call.customer;
    RecRow row;
    row.BranchID = m_session.BranchID;
    row.BranchName = m_session.BranchName;
    row.TeamID = m_session.TeamID;
    row.AgentID = m_session.AgentID;
    row.Name = customer[CustomerRecord::txtCustName];
    row.JuminNo = customer[CustomerRecord::txtCustSocialID];
    row.DataType = customer[CustomerRecord::txtDataType];
    row.CampaignID = customer[CustomerRecord::txtCampaignID];
    row.RegDate = date;
    row.R_Tel = call.InboundCall ? customer[CustomerRecord::txtPhoneNo1] : call.DialledNumber;
    row.RecBound = recBound(call.CallDirection);
    row.R_Date = day;
    row.R_StartTime = digits(timeOfDay);
    row.FolderName = day;
    row.R_Path = call.RecFileName;
    row.CustID = customer[CustomerRecord::txtCustID];
    row.FileFullPath = call.RecFilePath;
    m_records.AddToLocalDB(QStringLiteral("startCall"), row);
    if (m_records.AddToSQL(QStringLiteral("startCall"), row))
        m_records.setCustomerNumbers(call.RecFileName, customer[CustomerRecord::txtPhoneNo1],
                                     customer[CustomerRecord::txtPhoneNo2]);
}

void CallRecorder::stopMedia(const Call& call)
{
    if (!call.RecFilePath.isEmpty() && m_media.recordingPath() == call.RecFilePath)
        m_media.MediaPrepare(0);
}

void CallRecorder::StopRecording(Call& call, const QString& endTime)
{
    stopMedia(call);
    if (!call.CallEndTime.isEmpty())
        return;
    call.CallEndTime = orNow(endTime);
    // A start moved on to a free second may pass a short call's end.
    if (call.CallStartTime.isEmpty() || call.CallEndTime < call.CallStartTime)
        call.CallStartTime.isEmpty() ? call.CallStartTime = call.CallEndTime
                                     : call.CallEndTime = call.CallStartTime;
    call.CallDuration = QString::number(secondsBetween(call.CallStartTime, call.CallEndTime));

    RecRow row;
    row.R_Endtime = digits(call.CallEndTime.mid(11, 8));
    row.R_Time = call.CallDuration;
    row.R_Path = call.RecFileName;
    m_records.addToBoth(QStringLiteral("stopCall"), row);
}

void CallRecorder::recordingFailed(const QString& error)
{
    // The file keeps what was written; the rows are completed at hang-up as
    // usual and keep the call's length, so the login check finds the gap.
    m_errors.WriteErrorLog(
        error, QStringLiteral("Frm100000"), QStringLiteral("StartRecording"), m_recordingPath,
        QStringLiteral("녹음 파일에 더 이상 기록할 수 없어 이 통화의 녹음이 여기서 끊겼습니다.\r\n"
                       "디스크 공간과 녹음 장치를 확인해 주십시오. 통화는 계속할 수 있습니다."));
}
