#include "telephony/CallRecorder.h"

#include <QDateTime>

#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "platform/ProgramFolder.h"
#include "telephony/CallState.h"
#include "telephony/CustomerPanel.h"
#include "telephony/RecordingRecords.h"

CallRecorder::CallRecorder(Session& session, CallState& call, CustomerPanel& panel,
                           OrvelMedia& media, FtpCientOCX& ftp, RecordingRecords& records,
                           ErrorLog& errors)
    : m_session(session), m_call(call), m_panel(panel), m_media(media), m_ftp(ftp),
      m_records(records), m_errors(errors)
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

void CallRecorder::StartRecording(const QString& startTime)
{
    m_call.CallDirection = m_call.InboundCall ? QStringLiteral("I") : QStringLiteral("O");
    m_call.CallStartTime = startTime;
    const QString date = startTime.left(10);
    const QString timeOfDay = startTime.mid(11, 8);
    const QString day = digits(date);
    m_call.RecFileName =
        digits(startTime) + m_session.BranchID + m_session.AgentID + QStringLiteral(".vox");
    m_call.RecFilePath = ProgramFolder::path(
        m_session.programFolder, QStringLiteral("\\RECDATA\\") + day + u'\\' + m_call.RecFileName);
    m_ftp.FtpMakeLocalDir(
        ProgramFolder::path(m_session.programFolder, QStringLiteral("\\RecData\\") + day));

    if (!m_media.MediaPrepare(1) || !m_media.MediaRecord(1, m_call.RecFilePath))
        return;

    RecRow row;
    row.BranchID = m_session.BranchID;
    row.BranchName = m_session.BranchName;
    row.TeamID = m_session.TeamID;
    row.AgentID = m_session.AgentID;
    row.Name = m_panel.value(QStringLiteral("txtCustName"));
    row.JuminNo = m_panel.value(QStringLiteral("txtCustSocialID"));
    row.DataType = m_panel.value(QStringLiteral("txtDataType"));
    row.CampaignID = m_panel.value(QStringLiteral("txtCampaignID"));
    row.RegDate = date;
    row.R_Tel =
        m_call.InboundCall ? m_panel.value(QStringLiteral("txtPhoneNo1")) : m_call.DialledNumber;
    row.RecBound = m_call.CallDirection;
    row.R_Date = day;
    row.R_StartTime = digits(timeOfDay);
    row.FolderName = day;
    row.R_Path = m_call.RecFileName;
    row.CustID = m_panel.value(QStringLiteral("txtCustID"));
    row.FileFullPath = m_call.RecFilePath;
    m_records.addToBoth(QStringLiteral("startCall"), row);
}

void CallRecorder::StopRecording(const QString& endTime)
{
    m_media.MediaPrepare(0);
    // Closed early when the device was lost: the rows keep that end.
    if (!m_call.CallEndTime.isEmpty())
        return;
    m_call.CallEndTime = endTime;
    if (m_call.CallStartTime.isEmpty())
        m_call.CallStartTime = m_call.CallEndTime;
    m_call.CallDuration = QString::number(secondsBetween(m_call.CallStartTime, m_call.CallEndTime));

    RecRow row;
    row.R_Endtime = digits(endTime.mid(11, 8));
    row.R_Time = m_call.CallDuration;
    row.R_Path = m_call.RecFileName;
    m_records.addToBoth(QStringLiteral("stopCall"), row);
}

void CallRecorder::closeOnDeviceLoss(const QString& endTime)
{
    if (m_media.isRecording())
        StopRecording(endTime);
}

void CallRecorder::recordingFailed(const QString& error)
{
    // The file keeps what was written; the rows are completed at hang-up as usual.
    m_errors.WriteErrorLog(error, QStringLiteral("Frm100000"), QStringLiteral("StartRecording"),
                           m_call.RecFilePath);
}
