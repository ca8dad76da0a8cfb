#include "telephony/CallRecorder.h"

#include <QDateTime>

#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/ProgramFolder.h"
#include "telephony/Call.h"
#include "telephony/CustomerPanel.h"
#include "telephony/RecordingRecords.h"

CallRecorder::CallRecorder(Session& session, CustomerPanel& panel, OrvelMedia& media,
                           FtpCientOCX& ftp, RecordingRecords& records, ErrorLog& errors)
    : m_session(session), m_panel(panel), m_media(media), m_ftp(ftp), m_records(records),
      m_errors(errors)
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
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    QDateTime from = QDateTime::fromString(start, format);
    QDateTime to = QDateTime::fromString(end, format);
    if (!from.isValid() || !to.isValid())
        return 0;
    // Server times carry no zone: count them as UTC so a daylight-saving
    // change of the workstation cannot bend the length.
    from.setTimeSpec(Qt::UTC);
    to.setTimeSpec(Qt::UTC);
    return from.secsTo(to);
}

void CallRecorder::StartRecording(Call& call, const QString& startTime)
{
    call.CallDirection = call.InboundCall ? CallDirection::Inbound : CallDirection::Outbound;
    call.CallStartTime = startTime;
    const QString date = startTime.left(10);
    const QString timeOfDay = startTime.mid(11, 8);
    const QString day = digits(date);
    call.RecFileName =
        digits(startTime) + m_session.BranchID + m_session.AgentID + QStringLiteral(".vox");
    call.RecFilePath = ProgramFolder::path(
        m_session.programFolder, QStringLiteral("\\RECDATA\\") + day + u'\\' + call.RecFileName);
    m_ftp.FtpMakeLocalDir(
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

    RecRow row;
    row.BranchID = m_session.BranchID;
    row.BranchName = m_session.BranchName;
    row.TeamID = m_session.TeamID;
    row.AgentID = m_session.AgentID;
    row.Name = m_panel.value(CustomerPanel::txtCustName);
    row.JuminNo = m_panel.value(CustomerPanel::txtCustSocialID);
    row.DataType = m_panel.value(CustomerPanel::txtDataType);
    row.CampaignID = m_panel.value(CustomerPanel::txtCampaignID);
    row.RegDate = date;
    row.R_Tel = call.InboundCall ? m_panel.value(CustomerPanel::txtPhoneNo1) : call.DialledNumber;
    row.RecBound = recBound(call.CallDirection);
    row.R_Date = day;
    row.R_StartTime = digits(timeOfDay);
    row.FolderName = day;
    row.R_Path = call.RecFileName;
    row.CustID = m_panel.value(CustomerPanel::txtCustID);
    row.FileFullPath = call.RecFilePath;
    m_records.AddToLocalDB(QStringLiteral("startCall"), row);
    if (m_records.AddToSQL(QStringLiteral("startCall"), row))
        m_records.setCustomerNumbers(call.RecFileName, m_panel.value(CustomerPanel::txtPhoneNo1),
                                     m_panel.value(CustomerPanel::txtPhoneNo2));
}

void CallRecorder::stopMedia(const Call& call)
{
    if (!call.RecFilePath.isEmpty() && m_media.recordingPath() == call.RecFilePath)
        m_media.MediaPrepare(0);
}

void CallRecorder::StopRecording(Call& call, const QString& endTime)
{
    stopMedia(call);
    // Closed early when the device was lost: the rows keep that end.
    if (!call.CallEndTime.isEmpty())
        return;
    call.CallEndTime = endTime;
    if (call.CallStartTime.isEmpty())
        call.CallStartTime = call.CallEndTime;
    call.CallDuration = QString::number(secondsBetween(call.CallStartTime, call.CallEndTime));

    RecRow row;
    row.R_Endtime = digits(endTime.mid(11, 8));
    row.R_Time = call.CallDuration;
    row.R_Path = call.RecFileName;
    m_records.addToBoth(QStringLiteral("stopCall"), row);
}

void CallRecorder::closeOnDeviceLoss(Call& call, const QString& endTime)
{
    if (!call.RecFileName.isEmpty())
        StopRecording(call, endTime);
}

void CallRecorder::recordingFailed(const QString& error)
{
    // The file keeps what was written; the rows are completed at hang-up as usual.
    m_errors.WriteErrorLog(error, QStringLiteral("Frm100000"), QStringLiteral("StartRecording"),
                           m_recordingPath);
}
